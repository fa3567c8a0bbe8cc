// "&Restore Defaults": puts back every original icon. The change journal
// holds the exact original of every value the program wrote; Defaults.dat,
// the record of the first run, covers the types the journal does not.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/snapshot.h"
#include "catalog/type_list.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "platform/os.h"

namespace tarrow {

inline constexpr wchar_t kRestoreQuestion[] =
    L"Restore all icons to original state?\r(Before Tarrow was installed)";
inline constexpr unsigned kRestoreQuestionStyle = kMbYesNo | kMbIconQuestion | kMbSystemModal;

struct RestoreOutcome {
  JournalState journal = JournalState::Missing;
  std::size_t refusedEntries = 0;  // journal entries outside the shape a restore may write
  bool journalSaveFailed = false;  // restored, but the journal still lists what was put back
  SnapshotState snapshot = SnapshotState::Missing;
  bool snapshotDamaged = false;
  std::vector<std::size_t> unusableLines;  // of Defaults.dat, numbered from 1
  std::size_t written = 0;                 // values put back
  std::vector<WriteFailure> failures;      // in the order they were tried
  std::vector<std::wstring> unrecorded;    // listed types neither record holds, by name
};

// Puts back the original of every value the journal holds and every
// Defaults.dat line the journal does not cover, for all types or, given
// `only` (ProgIDs), for those alone. `listed` names types in messages and
// tells which listed types neither record holds. Tells the shell when
// anything was written. Shows nothing.
RestoreOutcome RestoreOriginals(Os& os, const TypeList& listed,
                                const std::optional<std::set<std::wstring>>& only = std::nullopt);

// "Restore original icon" of the list: those types' originals alone.
inline RestoreOutcome RestoreTypeIcons(Os& os, const std::vector<std::wstring>& progIds,
                                       const TypeList& listed = TypeList{}) {
  return RestoreOriginals(os, listed, std::set<std::wstring>(progIds.begin(), progIds.end()));
}

// Puts one journal entry back exactly: the value with its type and bytes, or
// its removal, then the keys the program created, once they are empty.
Status PutBack(Registry& registry, const JournalEntry& entry);

// What the user must know after a restore; empty when all went well.
std::wstring RestoreMessage(Os& os, const RestoreOutcome& outcome);

// One line on what the last restore did, for the status line.
std::wstring RestoreSummary(const RestoreOutcome& outcome);

// The main window's part in a restore.
class RestoreHost {
 public:
  virtual ~RestoreHost() = default;
  virtual void HideMainWindow() = 0;
  // Rebuilds the type list from the registry (which drops unapplied changes).
  virtual void Rescan() = 0;
  virtual void ShowMainWindow() = 0;
};

// Asks first; on Yes hides the window, restores, rescans and shows it again,
// then says what went wrong, if anything, over the rebuilt list. Nothing
// when the user said No.
std::optional<RestoreOutcome> RestoreDefaults(Os& os, RestoreHost& host, const TypeList& listed);

}  // namespace tarrow
