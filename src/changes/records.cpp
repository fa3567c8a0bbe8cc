#include "changes/records.h"

namespace tarrow {

ChangeRecords::ChangeRecords(Os& os)
    : os_(os), user_(LoadRecord(os, RecordScope::User)), machine_(LoadRecord(os, RecordScope::Machine)) {}

std::optional<RecordScope> ChangeRecords::SaveTouched() {
  // The machine record first: a machine value is written only once its
  // original is on record there.
  if (machineTouched_) {
    if (!SaveRecord(os_, RecordScope::Machine, machine_.entries)) return RecordScope::Machine;
    machineTouched_ = false;
    if (machine_.state == JournalState::Missing) machine_.state = JournalState::Intact;
  }
  if (userTouched_) {
    if (!SaveRecord(os_, RecordScope::User, user_.entries)) return RecordScope::User;
    userTouched_ = false;
    if (user_.state == JournalState::Missing) user_.state = JournalState::Intact;
  }
  return std::nullopt;
}

std::vector<ChangeRecords::Held> ChangeRecords::Restorable(std::size_t& refused) {
  std::vector<Held> usable;
  for (JournalEntry& entry : machine_.entries) usable.push_back({&entry, RecordScope::Machine});
  // A file any program of the user can write never steers an administrator's
  // write to the machine layer.
  const bool elevated = os_.shell.IsElevated();
  for (JournalEntry& entry : user_.entries) {
    if (entry.layer == ClassLayer::User) {
      usable.push_back({&entry, RecordScope::User});
    } else if (elevated) {
      if (!entry.settled) ++refused;
    } else if (!FindEntry(os_.shell, machine_.entries, ClassLayer::Machine, entry.progId)) {
      usable.push_back({&entry, RecordScope::User});
    }
  }
  return usable;
}

bool ChangeRecords::Holds(const std::wstring& progId) const {
  const std::wstring wanted = os_.shell.LowerCase(progId);
  for (const JournalLoad* load : {&user_, &machine_}) {
    for (const JournalEntry& entry : load->entries) {
      if (os_.shell.LowerCase(entry.progId) == wanted) return true;
    }
  }
  return false;
}

}  // namespace tarrow
