// After Apply or a restore: does the shell itself now give each changed type
// the icon that was written? Asked of the shell, type by type, and compared
// as Windows compares paths; where it does not, the likely reason.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalog/type_list.h"
#include "changes/apply.h"
#include "platform/os.h"

namespace tarrow {

// A type whose icon location was just written or put back.
struct WrittenIcon {
  std::wstring extension;
  std::wstring name;  // as messages name it
  std::wstring progId;
  std::wstring location;       // what the type's icon is now meant to be
  std::wstring previous = {};  // what it was before
  ProgIdSource source = ProgIdSource::Default;
  bool iconHandler = false;
};

// Why Explorer will not show a type's icon as it was written.
enum class ShellDoubt {
  IconHandler,        // a handler draws each file's own icon
  UserValueWins,      // the shell reads a per-user value over the machine one written
  MachineValueShown,  // the shell reads the machine's value, not the one written for this user
  UserChoice,         // the shell follows another class than the chosen program's
  Unreadable,         // the shell reads no icon for the type at all
  Other,              // the shell reads another location for no reason known here
};

struct ShellMismatch {
  std::wstring name;
  ShellDoubt doubt = ShellDoubt::Other;
  std::wstring reported;  // the shell's answer; empty when it gave none
};

struct ShellCheck {
  std::size_t checked = 0;                // types the shell was asked about
  bool shellAnswers = true;               // false when the shell cannot say for any type
  std::size_t unanswered = 0;             // types the shell could not say anything of
  std::vector<ShellMismatch> mismatches;  // in the order the types came
};

// Whether two icon locations name the same icon as Windows finds it: the
// file with its environment references expanded and compared without case,
// and the same index.
bool SameIconLocation(Shell& shell, const std::wstring& a, const std::wstring& b);

// Asked before a type whose icons a handler decides is given an icon.
std::wstring IconHandlerQuestion(const TypeItem& item);
// The one question before types at `chosen` take an icon, naming how many
// of them have a handler; empty when none has.
std::wstring IconHandlerQuestion(const TypeList& types, const std::vector<std::size_t>& chosen);

// The changed items' pending icons, as they are about to be applied.
std::vector<WrittenIcon> PendingIcons(const TypeList& types);

// The listed types of these ProgIDs (lower case) with the icons they have now.
std::vector<WrittenIcon> IconsOfProgIds(Shell& shell, const TypeList& types,
                                        const std::set<std::wstring>& lowerProgIds);

// The ProgIDs (lower case) whose originals the journal holds, of all or, given
// `only`, of those: what a restore puts back.
std::set<std::wstring> JournaledProgIds(Os& os,
                                        const std::optional<std::set<std::wstring>>& only = std::nullopt);

// Tells the shell to read again the image of each icon written at the
// location it had already (an icon file changed in place): the notice of
// changed associations redraws only the types whose location changed.
void RedrawUnmovedIcons(Shell& shell, const std::vector<WrittenIcon>& icons);

// Asks the shell about every icon and compares.
ShellCheck CheckWithShell(Os& os, const std::vector<WrittenIcon>& icons);

// Of the icons about to be applied, those Apply wrote: none when the
// originals could not be recorded, and never the failures.
std::vector<WrittenIcon> AppliedIcons(std::vector<WrittenIcon> pending, const ApplyOutcome& outcome);

// A short sentence for the status line; empty when nothing was checked.
std::wstring ShellCheckSummary(const ShellCheck& check);
// The outcome of an Apply or restore with the check's sentence after it.
std::wstring WithShellCheck(const std::wstring& outcome, const ShellCheck& check);

// The message naming each type Explorer will not show as changed and why;
// empty when all is well.
std::wstring ShellCheckMessage(const ShellCheck& check, std::size_t namedAtMost = 8);

}  // namespace tarrow
