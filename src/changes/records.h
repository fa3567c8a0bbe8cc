// Both change records as one change sees them: loaded once, changed in
// memory, and saved together before anything they describe is written.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "changes/journal.h"
#include "platform/os.h"

namespace tarrow {

class ChangeRecords {
 public:
  explicit ChangeRecords(Os& os);

  const JournalLoad& Load(RecordScope scope) const { return scope == RecordScope::User ? user_ : machine_; }
  // Whether changes of that scope can be recorded: its record is intact or
  // not there yet.
  bool Usable(RecordScope scope) const { return Load(scope).usable(); }
  std::vector<JournalEntry>& Entries(RecordScope scope) {
    return scope == RecordScope::User ? user_.entries : machine_.entries;
  }
  // Marks a record as changed, to be saved.
  void Touch(RecordScope scope) { (scope == RecordScope::User ? userTouched_ : machineTouched_) = true; }
  // Saves every changed record; the first that could not be saved, if any.
  std::optional<RecordScope> SaveTouched();

  // The entries a restore may act on, each once: the machine record's, the
  // user's record's of its own layer, and, for a process without
  // administrator rights, the machine entries older versions kept in the
  // user's record. `refused` counts the entries left out for being there.
  struct Held {
    JournalEntry* entry;
    RecordScope scope;
  };
  std::vector<Held> Restorable(std::size_t& refused);

  // Whether either record holds the class in any layer, in any state.
  bool Holds(const std::wstring& progId);
  // The entry of a value in a record; null when it holds none.
  JournalEntry* Find(RecordScope scope, ClassLayer layer, const std::wstring& progId);
  // RecordWrite into the record of the scope, its entry found by an index.
  void RecordWrite(RecordScope scope, const JournalEntry& now, const StoredValue& written);
  // Adds an entry the record does not hold yet.
  void Add(RecordScope scope, JournalEntry entry);

 private:
  Os& os_;
  JournalLoad user_;
  JournalLoad machine_;
  bool userTouched_ = false;
  bool machineTouched_ = false;
  // Positions by layer and ProgID in lower case, made on first use: a change
  // of thousands of types looks each one up once.
  std::wstring KeyOf(ClassLayer layer, const std::wstring& progId);
  void Index();
  bool indexed_ = false;
  std::unordered_map<std::wstring, std::size_t> positions_[2];
  std::unordered_set<std::wstring> classes_;  // lower case, of both records
};

}  // namespace tarrow
