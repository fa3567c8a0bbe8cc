// The one model of a change. For each listed type it knows what is pending
// (a new icon, or the original back), and, through the change records, what
// Tarrow wrote and what the record holds. The window and the command line
// change icons only through it: an assignment or a "restore original icon"
// waits in the list, marked, until Apply writes it, or until it is dropped
// with the list.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/type_list.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "changes/restore.h"
#include "platform/os.h"

namespace tarrow {

// What an Apply writes, taken out of the list, so that another thread can
// write it while the list stays as it is.
struct PendingChanges {
  std::vector<IconWrite> writes;     // new icons, one per ProgID
  std::set<std::wstring> originals;  // ProgIDs whose original goes back
  TypeList named;                    // the types of those, for the messages
};

// Writes the changes; touches no list. Any thread.
ApplyOutcome WritePending(Os& os, const PendingChanges& pending);

// What the user must know after an Apply, in a message box; nothing when all
// went well.
void TellApplied(Shell& shell, const ApplyOutcome& outcome);

class ChangeStatus;

class ChangeModel {
 public:
  // `images`, when given, receives a picture for every pending icon, and the
  // list's items show it until Apply settles them.
  ChangeModel(Os& os, TypeList& types, ImageStore* images = nullptr);

  // Gives the type at `index`, and every type sharing its ProgID, the icon
  // `location`, to be written at Apply. False, changing nothing, when the
  // type shows that icon already (the same file as Windows compares paths,
  // the same index), or when a picture is wanted and the icon cannot be
  // drawn.
  bool Assign(std::size_t index, const std::wstring& location, int pictureSizePx = 0);
  // Asks for the original icon of the type at `index` (and of every type
  // sharing its ProgID) back at Apply; a new icon still waiting for Apply is
  // withdrawn instead. False when there is nothing to put back: no pick
  // waits and no record holds a change of Tarrow's to it.
  bool AskOriginal(std::size_t index, int pictureSizePx = 0);

  // The same over several types at once (the window's selection). The
  // answer says which of `indices` took the change.
  struct SetChange {
    std::size_t changed = 0;
    std::vector<std::size_t> unchanged;  // in the order given
    std::size_t withdrawn = 0;           // of `changed`, picks taken back before Apply
  };
  // One picture of `location` serves every type; a type that shows the icon
  // already is left as it is.
  SetChange Assign(const std::vector<std::size_t>& indices, const std::wstring& location,
                   int pictureSizePx = 0);
  // The same, written at Apply to the user's own layer for every type of
  // those ProgIDs, also where a change would otherwise be for all users.
  SetChange AssignForUser(const std::vector<std::size_t>& indices, const std::wstring& location,
                          int pictureSizePx = 0);
  // A type with nothing to put back is left out (named in `unchanged`); the
  // records are read once for the whole set.
  SetChange AskOriginal(const std::vector<std::size_t>& indices, int pictureSizePx = 0);
  // Types with a change waiting (two extensions of one ProgID are two).
  std::size_t pendingTypes() const;

  // Writes every pending change, new icons first, then originals. A type
  // done shows what is stored now and is no longer pending; one that failed
  // stays pending, showing the stored icon again. Shows nothing.
  ApplyOutcome Write();
  // Write in two halves, for a writer on another thread: the changes as
  // they are now, and, once WritePending wrote them, the list settled as
  // Write leaves it. Nothing may change the list between the two.
  PendingChanges Pending() const;
  void Settle(ApplyOutcome& outcome);
  // The window's Apply: Write, then what the user must know in a message box.
  ApplyOutcome Apply();
  // The list was rebuilt: the pictures of pending changes are gone with it.
  void Forget() {
    swaps_.clear();
    userOnly_.clear();
  }

 private:
  // The pictures of a type with a change waiting: the stored icon's, shown
  // again when Apply fails, and the pending one's. By extension.
  struct PictureSwap {
    std::wstring stored, pending;
  };
  bool SameIcon(const std::wstring& a, const std::wstring& b);
  // A new picture of the icon at `location`; empty when it cannot be drawn.
  std::optional<std::wstring> Picture(const std::wstring& location, int sizePx);
  // A key no picture of the store has had.
  std::wstring NewPictureKey();
  // Gives the types at `indices`, and every type sharing a ProgID with one
  // of them, the pending location.
  void Share(const std::vector<std::size_t>& indices, const std::wstring& location, bool original,
             const std::optional<std::wstring>& picture);
  bool AskOriginal(ChangeStatus& status, std::size_t index, int pictureSizePx,
                   std::unordered_map<std::wstring, std::wstring>& pictures);
  // The type at `index`, and every type sharing its ProgID, drop their
  // pending change and show the stored icon again.
  void Withdraw(std::size_t index);

  Os& os_;
  TypeList& types_;
  ImageStore* images_;
  std::unordered_map<std::wstring, PictureSwap> swaps_;
  std::set<std::wstring> userOnly_;  // ProgIDs (lower case) whose pick is the user's alone
  std::size_t pictures_ = 0;   // pictures made, so that each key is new
  std::size_t withdrawn_ = 0;  // picks taken back by the AskOriginal running
};

// The status line when the types at `indices` have no original to put back.
std::wstring NoOriginalText(const TypeList& types, const std::vector<std::size_t>& indices);

// The names of the types at `indices` whose icon Apply would write for all
// users (as TargetLayer decides, with administrator rights or not).
std::vector<std::wstring> TypesChangedForAllUsers(Os& os, const TypeList& types,
                                                  const std::vector<std::size_t>& indices);

// Asked at the pick of a picture for such types when the folder for all
// users' icons cannot be made safe here: store it for this user only?
std::wstring PictureForUserQuestion(Shell& shell, const std::vector<std::wstring>& names);

// Restore Defaults asks first, saying how many listed types show an icon
// Tarrow gave them (each gets its original back).
std::wstring RestoreDefaultsQuestion(Os& os, const TypeList& types);

// The status line when `count` picks were withdrawn before Apply.
std::wstring WithdrawnText(std::size_t count);

// What the records say of the listed types: whether Tarrow's change is in
// place (its write is on record and the value still equals it), and which
// icon a restore would give back.
class ChangeStatus {
 public:
  explicit ChangeStatus(Os& os);
  bool Changed(const TypeItem& item);
  // The location the type shows once its original is back; nullopt when no
  // record holds a change of Tarrow's that is still in place.
  std::optional<std::wstring> OriginalLocation(const TypeItem& item);

 private:
  std::vector<const JournalEntry*> ActiveEntries(const std::wstring& progId);
  Os& os_;
  std::vector<JournalEntry> entries_;
  std::unordered_map<std::wstring, std::vector<std::size_t>> byProgId_;  // lower case
};

}  // namespace tarrow
