#include "changes/restore.h"

#include <algorithm>
#include <map>

#include "catalog/resolver.h"
#include "changes/picture_store.h"
#include "changes/records.h"
#include "platform/registry.h"

namespace tarrow {
namespace {

// A key the program created goes again once nothing is left in it.
Status DeleteIfEmpty(Registry& registry, RegKey root, const std::wstring& path) {
  std::uint32_t subkeys = 0;
  std::uint32_t values = 0;
  {
    ScopedKey key(registry, root, path, RegAccess::Read);
    if (key.status() == kErrorFileNotFound) return kSuccess;
    if (!key) return key.status();
    if (const Status status = registry.CountEntries(key.get(), subkeys, values); status != kSuccess)
      return status;
  }
  // Another program's values or subkeys keep the key.
  if (subkeys > 0 || values > 0) return kSuccess;
  const Status status = registry.DeleteKey(root, path);
  return status == kErrorFileNotFound ? kSuccess : status;
}

// ProgID (as the shell compares it) -> the listed type's name.
class TypeNames {
 public:
  TypeNames(Shell& shell, const TypeList& listed) : shell_(shell) {
    for (const TypeItem& item : listed) names_.try_emplace(shell.LowerCase(item.progId), TypeName(item));
  }
  std::wstring Of(const std::wstring& progId) const {
    const auto it = names_.find(shell_.LowerCase(progId));
    return it == names_.end() ? progId : it->second;
  }

 private:
  Shell& shell_;
  std::map<std::wstring, std::wstring> names_;
};

std::wstring Plural(std::size_t n, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

std::wstring LineList(const std::vector<std::size_t>& lines) {
  std::vector<std::wstring> numbers;
  for (const std::size_t line : lines) numbers.push_back(std::to_wstring(line));
  return NameList(numbers);
}

}  // namespace

Status PutBack(Registry& registry, const JournalEntry& entry) {
  const RegKey root = LayerRoot(entry.layer);
  const std::wstring iconPath = DefaultIconPath(entry.progId);
  if (entry.valueExisted) {
    ScopedKey key(registry);
    // The keys existed when the original was read; a machine key is never
    // made anew.
    if (entry.layer == ClassLayer::User) {
      key.Create(root, iconPath);
    } else {
      key.Open(root, iconPath, RegAccess::SetValue);
    }
    if (!key) return key.status();
    return registry.SetValue(key.get(), L"", entry.type, entry.bytes.data(),
                             static_cast<std::uint32_t>(entry.bytes.size()));
  }
  ScopedKey key(registry, root, iconPath, RegAccess::SetValue);
  if (key) {
    const Status status = registry.DeleteValue(key.get(), L"");
    if (status != kSuccess && status != kErrorFileNotFound) return status;
  } else if (key.status() != kErrorFileNotFound) {
    return key.status();
  }
  key.Close();
  if (!entry.iconKeyExisted) {
    const Status status = DeleteIfEmpty(registry, root, iconPath);
    if (status != kSuccess) return status;
  }
  if (!entry.classKeyExisted) return DeleteIfEmpty(registry, root, ClassPath(entry.progId));
  return kSuccess;
}

RestoreOutcome RestoreOriginals(Os& os, const TypeList& listed,
                                const std::optional<std::set<std::wstring>>& only) {
  RestoreOutcome outcome;
  const auto lock = os.shell.LockChanges(kLockWaitMs);
  if (!lock) {
    outcome.busy = true;
    return outcome;
  }
  const TypeNames names(os.shell, listed);
  std::set<std::wstring> wanted;
  if (only) {
    for (const auto& progId : *only) wanted.insert(os.shell.LowerCase(progId));
  }
  const auto included = [&](const std::wstring& progId) {
    return !only || wanted.count(os.shell.LowerCase(progId)) > 0;
  };
  ChangeRecords records(os);
  outcome.userRecord = records.Load(RecordScope::User).state;
  outcome.machineRecord = records.Load(RecordScope::Machine).state;

  // The records first: they hold the exact originals.
  bool restoredUser = false;
  bool restoredMachine = false;
  // The icon files Tarrow made for the values put back, each of its
  // record's own folder: the user's record never names a machine file.
  std::set<std::wstring> iconFiles;
  const std::wstring iconsFolders[] = {IconsFolder(os.shell, RecordScope::User),
                                       IconsFolder(os.shell, RecordScope::Machine)};
  const auto restorable = records.Restorable(outcome.refusedEntries);
  outcome.recordsHeldChanges = !restorable.empty() || outcome.refusedEntries > 0;
  for (const auto& [entry, scope] : restorable) {
    if (entry->settled || !included(entry->progId)) continue;
    const auto now = ReadOriginal(os.registry, entry->layer, entry->progId);
    if (!now) {
      outcome.failures.push_back({entry->progId, names.Of(entry->progId), kUnrecordable});
      continue;
    }
    // An entry of an older version does not know what was written: its
    // original goes back as it always did.
    const bool ours = !entry->written || HoldsWritten(*entry, *now) || HoldsOriginal(*entry, *now);
    if (!ours) {
      outcome.changedSince.push_back(names.Of(entry->progId));
    } else if (const Status status = PutBack(os.registry, *entry); status != kSuccess) {
      outcome.failures.push_back({entry->progId, names.Of(entry->progId), status});
      continue;
    } else {
      if (!HoldsOriginal(*entry, *now)) {
        ++outcome.written;
        outcome.writtenProgIds.insert(os.shell.LowerCase(entry->progId));
      }
      (entry->layer == ClassLayer::User ? restoredUser : restoredMachine) = true;
    }
    for (const auto& written : {entry->written, entry->earlier}) {
      if (const auto file = OwnIconFile(os.shell, iconsFolders[static_cast<int>(scope)], written)) iconFiles.insert(*file);
    }
    entry->settled = true;
    records.Touch(scope);
  }
  // What was put back reaches the disk before the record stops promising it.
  if (restoredUser) os.registry.FlushKey(kCurrentUser);
  if (restoredMachine) os.registry.FlushKey(kLocalMachine);
  // Before the record stops naming them: a process stopped in between
  // leaves the entries to the next restore, which finds the files again.
  RemoveUnusedIcons(os, records, iconFiles);
  outcome.journalSaveFailed = records.SaveTouched().has_value();

  // Then the record of the first run, for the types no record ever held:
  // those changed before there were records. A type a record held is never
  // written from it again, so a second restore writes nothing.
  const SnapshotReading snapshot = ReadSnapshot(os);
  outcome.snapshot = snapshot.state;
  outcome.snapshotDamaged = snapshot.damaged();
  outcome.unusableLines = snapshot.contents.unusable;
  TypeResolver resolver(os.registry, os.shell);
  struct Planned {
    const SnapshotLine* line;
    ClassLayer layer;
    StoredValue value;
  };
  std::vector<Planned> plan;
  // Two extensions of one type give two lines: the later one speaks for it.
  std::map<std::wstring, const SnapshotLine*> lastLine;
  for (const SnapshotLine& line : snapshot.contents.lines) lastLine[os.shell.LowerCase(line.progId)] = &line;
  for (const SnapshotLine& line : snapshot.contents.lines) {
    if (!IsWritableClass(line.progId)) {
      outcome.unusableLines.push_back(line.number);
      continue;
    }
    if (lastLine[os.shell.LowerCase(line.progId)] != &line) continue;
    if (!included(line.progId) || records.Holds(line.progId)) continue;
    const auto now = resolver.ReadMerged(line.progId + L"\\DefaultIcon");
    if (now && now->text == line.location) continue;
    // The layer that holds the value Explorer shows, or else its key; no key
    // is made anew, so no restore leaves a per-user value over the machine's.
    ClassLayer layer = ClassLayer::User;
    if (now) {
      layer = now->layer;
    } else if (RegKeyExists(os.registry, kCurrentUser, DefaultIconPath(line.progId))) {
      layer = ClassLayer::User;
    } else if (RegKeyExists(os.registry, kLocalMachine, DefaultIconPath(line.progId))) {
      layer = ClassLayer::Machine;
    } else {
      continue;  // no longer registered
    }
    // Defaults.dat is a file any program of the user can write: it never
    // steers an administrator's write to the machine layer's record.
    const RecordScope scope = ScopeOf(layer);
    const auto original = ReadOriginal(os.registry, layer, line.progId);
    if (!original || !records.Usable(scope) || (scope == RecordScope::Machine && !os.shell.IsElevated())) {
      outcome.failures.push_back(
          {line.progId, names.Of(line.progId), original ? kErrorAccessDenied : kUnrecordable});
      continue;
    }
    // On record first, as a change whose original is the line: should the
    // process stop before the write, the next restore still makes it, and
    // once written, it is settled, so no later restore undoes it.
    const StoredValue value = LocationValue(line.location);
    JournalEntry entry = *original;
    entry.written.reset();
    if (original->valueExisted) entry.written = StoredValue{original->type, original->bytes};
    entry.valueExisted = true;
    entry.type = value.type;
    entry.bytes = value.bytes;
    records.Add(scope, entry);
    plan.push_back({&line, layer, value});
  }
  if (!plan.empty() && records.SaveTouched()) {
    outcome.journalSaveFailed = true;
    for (const Planned& p : plan) {
      outcome.failures.push_back({p.line->progId, names.Of(p.line->progId), kUnrecordable});
    }
    plan.clear();
  }
  for (const Planned& p : plan) {
    const Status status = SetIconValue(os.registry, p.layer, p.line->progId, p.value, false);
    if (status == kSuccess) {
      ++outcome.written;
      outcome.writtenProgIds.insert(os.shell.LowerCase(p.line->progId));
      records.Find(ScopeOf(p.layer), p.layer, p.line->progId)->settled = true;
      records.Touch(ScopeOf(p.layer));
    } else {
      outcome.failures.push_back({p.line->progId, names.Of(p.line->progId), status});
    }
  }
  if (!plan.empty()) {
    os.registry.FlushKey(kCurrentUser);
    os.registry.FlushKey(kLocalMachine);
    if (records.SaveTouched()) outcome.journalSaveFailed = true;
  }
  // Without this Explorer keeps showing the icons it has cached.
  if (outcome.written > 0) os.shell.NotifyAssociationsChanged();
  return outcome;
}

std::wstring RestoreMessage(Os& os, const RestoreOutcome& outcome) {
  if (outcome.busy) return BusyMessage();
  std::vector<std::wstring> parts;
  for (const RecordScope scope : {RecordScope::User, RecordScope::Machine}) {
    const JournalState state = scope == RecordScope::User ? outcome.userRecord : outcome.machineRecord;
    if (state == JournalState::Damaged || state == JournalState::Unreadable) {
      parts.push_back(L"The record of the icons Tarrow changed, " + RecordPlace(os.shell, scope) +
                      L", is damaged or cannot be read, so none of it was used.");
    } else if (state == JournalState::Untrusted) {
      parts.push_back(L"The record of the icons Tarrow changed for all users, " +
                      RecordPlace(os.shell, scope) +
                      L", can be changed by others than administrators, so none of it was used.");
    }
  }
  if (outcome.refusedEntries > 0) {
    parts.push_back(Plural(outcome.refusedEntries, L"icon", L"icons") +
                    L" of all users recorded in your own record by an older Tarrow " +
                    (outcome.refusedEntries == 1 ? L"was" : L"were") +
                    L" not put back, because Tarrow runs as administrator; run it without administrator "
                    L"rights to put " +
                    (outcome.refusedEntries == 1 ? L"it" : L"them") + L" back.");
  }
  if (outcome.snapshot == SnapshotState::Unreadable ||
      (outcome.snapshot == SnapshotState::Missing && !outcome.recordsHeldChanges)) {
    parts.push_back(L"Defaults.dat, the record of the original icons, could not be found or read.");
  } else if (outcome.snapshotDamaged || !outcome.unusableLines.empty()) {
    std::vector<std::size_t> lines = outcome.unusableLines;
    std::sort(lines.begin(), lines.end());
    std::wstring text = L"Defaults.dat, the record of the original icons, is damaged";
    text += lines.empty() ? L": it holds no types."
                          : L": " + std::wstring(lines.size() == 1 ? L"line " : L"lines ") + LineList(lines) +
                                L" could not be used.";
    parts.push_back(text);
  }
  if (!outcome.failures.empty()) parts.push_back(FailureMessage(outcome.failures, ChangeKind::Restore));
  if (!outcome.changedSince.empty()) parts.push_back(ChangedSinceMessage(outcome.changedSince));
  if (outcome.journalSaveFailed) {
    parts.push_back(
        L"The record of changed icons could not be updated; the next restore looks at the same types "
        L"again.");
  }
  std::wstring text;
  for (const auto& part : parts) text += (text.empty() ? L"" : L"\r\n\r\n") + part;
  return text;
}

std::wstring RestoreSummary(const RestoreOutcome& outcome) {
  if (outcome.busy) return L"Nothing was restored: another Tarrow is changing icons.";
  std::wstring text = Plural(outcome.written, L"icon", L"icons") + L" restored";
  if (!outcome.failures.empty()) text += L"; " + Plural(outcome.failures.size(), L"failed", L"failed");
  return text + L".";
}

std::wstring RestoredTypesSummary(Shell& shell, const RestoreOutcome& outcome, const TypeList& listed) {
  if (outcome.busy) return RestoreSummary(outcome);
  const auto types = std::count_if(listed.begin(), listed.end(), [&](const TypeItem& item) {
    return outcome.writtenProgIds.count(shell.LowerCase(item.progId)) > 0;
  });
  std::wstring text = Plural(static_cast<std::size_t>(types), L"type", L"types") + L" given the original icon back";
  if (!outcome.failures.empty()) text += L"; " + Plural(outcome.failures.size(), L"failed", L"failed");
  return text + L".";
}

bool RestoreFell(const RestoreOutcome& outcome) {
  const auto bad = [](JournalState state) {
    return state == JournalState::Damaged || state == JournalState::Unreadable ||
           state == JournalState::Untrusted;
  };
  return outcome.busy || !outcome.failures.empty() || outcome.refusedEntries > 0 ||
         outcome.journalSaveFailed || bad(outcome.userRecord) || bad(outcome.machineRecord) ||
         outcome.snapshotDamaged || outcome.snapshot == SnapshotState::Unreadable ||
         !outcome.unusableLines.empty();
}

}  // namespace tarrow
