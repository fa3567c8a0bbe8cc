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

inline constexpr unsigned kRestoreQuestionStyle = kMbYesNo | kMbIconQuestion | kMbSystemModal;

struct RestoreOutcome {
  JournalState userRecord = JournalState::Missing;
  JournalState machineRecord = JournalState::Missing;
  // Machine entries that older versions kept in the user's record, which a
  // process with administrator rights does not use.
  std::size_t refusedEntries = 0;
  bool journalSaveFailed = false;   // restored, but the record still lists what was put back
  bool recordsHeldChanges = false;  // either record held an entry: Defaults.dat is not all there is
  SnapshotState snapshot = SnapshotState::Missing;
  bool snapshotDamaged = false;
  std::vector<std::size_t> unusableLines;  // of Defaults.dat, numbered from 1
  std::size_t written = 0;                 // values put back
  std::set<std::wstring> writtenProgIds;   // of those, lower case
  std::vector<WriteFailure> failures;      // in the order they were tried
  // Types whose value another program changed since Tarrow's change: left.
  std::vector<std::wstring> changedSince;
  bool busy = false;  // another process was changing icons all the while: nothing was done
};

// Puts back, for all types or, given `only` (ProgIDs), for those alone: the
// original of every value a record holds that still is what Tarrow wrote
// (one another program changed since is left and named), and the
// Defaults.dat line of every type no record ever held. Every write is
// recorded first; restoring again changes nothing more. `listed` names types
// in messages. Tells the shell when anything was written. Shows nothing.
RestoreOutcome RestoreOriginals(Os& os, const TypeList& listed,
                                const std::optional<std::set<std::wstring>>& only = std::nullopt);

// Puts one entry's original back exactly: the value with its type and bytes,
// or its removal, then the keys the program created, once they are empty.
Status PutBack(Registry& registry, const JournalEntry& entry);

// What the user must know after a restore; empty when all went well.
std::wstring RestoreMessage(Os& os, const RestoreOutcome& outcome);

// One line on what the last restore did, for the status line.
std::wstring RestoreSummary(const RestoreOutcome& outcome);

// The same for the window, counting the listed types given their original
// back, as Apply counts the types it changed.
std::wstring RestoredTypesSummary(Shell& shell, const RestoreOutcome& outcome, const TypeList& listed);

// Whether something could not be put back, or a record could not be used.
bool RestoreFell(const RestoreOutcome& outcome);

}  // namespace tarrow
