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
    } else if (!Find(RecordScope::Machine, ClassLayer::Machine, entry.progId)) {
      usable.push_back({&entry, RecordScope::User});
    }
  }
  return usable;
}

std::wstring ChangeRecords::KeyOf(ClassLayer layer, const std::wstring& progId) {
  return (layer == ClassLayer::User ? L"u" : L"m") + os_.shell.LowerCase(progId);
}

void ChangeRecords::Index() {
  if (indexed_) return;
  indexed_ = true;
  for (const RecordScope scope : {RecordScope::User, RecordScope::Machine}) {
    const auto& entries = Entries(scope);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      positions_[static_cast<int>(scope)].try_emplace(KeyOf(entries[i].layer, entries[i].progId), i);
      classes_.insert(os_.shell.LowerCase(entries[i].progId));
    }
  }
}

bool ChangeRecords::Holds(const std::wstring& progId) {
  Index();
  return classes_.count(os_.shell.LowerCase(progId)) > 0;
}

JournalEntry* ChangeRecords::Find(RecordScope scope, ClassLayer layer, const std::wstring& progId) {
  Index();
  const auto& positions = positions_[static_cast<int>(scope)];
  const auto found = positions.find(KeyOf(layer, progId));
  return found == positions.end() ? nullptr : &Entries(scope)[found->second];
}

void ChangeRecords::Add(RecordScope scope, JournalEntry entry) {
  Index();
  positions_[static_cast<int>(scope)].try_emplace(KeyOf(entry.layer, entry.progId), Entries(scope).size());
  classes_.insert(os_.shell.LowerCase(entry.progId));
  Entries(scope).push_back(std::move(entry));
  Touch(scope);
}

void ChangeRecords::RecordWrite(RecordScope scope, const JournalEntry& now, const StoredValue& written) {
  if (JournalEntry* entry = Find(scope, now.layer, now.progId)) {
    RecordWriteAt(Entries(scope), entry, now, written);
    Touch(scope);
    return;
  }
  JournalEntry added = now;
  added.written = written;
  Add(scope, std::move(added));
}

}  // namespace tarrow
