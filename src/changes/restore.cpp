#include "changes/restore.h"

#include <algorithm>
#include <map>

#include "catalog/resolver.h"
#include "platform/registry.h"

namespace tarrow {
namespace {

// A key the program created goes again once nothing is left in it.
Status DeleteIfEmpty(Registry& registry, RegKey root, const std::wstring& path) {
  RegKey key = 0;
  Status status = registry.OpenKey(root, path, RegAccess::Read, key);
  if (status == kErrorFileNotFound) return kSuccess;
  if (status != kSuccess) return status;
  std::uint32_t subkeys = 0;
  std::uint32_t values = 0;
  status = registry.CountEntries(key, subkeys, values);
  registry.CloseKey(key);
  if (status != kSuccess) return status;
  if (subkeys > 0 || values > 0) return kSuccess;
  status = registry.DeleteKey(root, path);
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
    RegKey key = 0;
    bool created = false;
    Status status = registry.CreateKey(root, iconPath, key, created);
    if (status != kSuccess) return status;
    status = registry.SetValue(key, L"", entry.type, entry.bytes.data(),
                               static_cast<std::uint32_t>(entry.bytes.size()));
    registry.CloseKey(key);
    return status;
  }
  RegKey key = 0;
  Status status = registry.OpenKey(root, iconPath, RegAccess::SetValue, key);
  if (status == kSuccess) {
    status = registry.DeleteValue(key, L"");
    registry.CloseKey(key);
    if (status != kSuccess && status != kErrorFileNotFound) return status;
  } else if (status != kErrorFileNotFound) {
    return status;
  }
  if (!entry.iconKeyExisted) {
    status = DeleteIfEmpty(registry, root, iconPath);
    if (status != kSuccess) return status;
  }
  if (!entry.classKeyExisted) return DeleteIfEmpty(registry, root, ClassPath(entry.progId));
  return kSuccess;
}

RestoreOutcome RestoreOriginals(Os& os, const TypeList& listed,
                                const std::optional<std::set<std::wstring>>& only) {
  RestoreOutcome outcome;
  const TypeNames names(os.shell, listed);
  std::set<std::wstring> wanted;
  if (only) {
    for (const auto& progId : *only) wanted.insert(os.shell.LowerCase(progId));
  }
  const auto included = [&](const std::wstring& progId) {
    return !only || wanted.count(os.shell.LowerCase(progId)) > 0;
  };
  // The journal first: it holds the exact originals.
  JournalLoad journal = LoadJournal(os);
  outcome.journal = journal.state;
  // The journal's originals are exact: Defaults.dat never overrides them,
  // not even where putting one back failed.
  std::set<std::wstring> journaled;
  if (journal.state == JournalState::Intact) {
    std::vector<JournalEntry> kept;
    for (const JournalEntry& entry : journal.entries) {
      const std::wstring key = os.shell.LowerCase(entry.progId);
      if (!IsRestorableEntry(entry)) {
        // Planted or garbled: it could name any place in the registry.
        ++outcome.refusedEntries;
        continue;
      }
      journaled.insert(key);
      if (!included(entry.progId)) {
        kept.push_back(entry);
        continue;
      }
      const Status status = PutBack(os.registry, entry);
      if (status == kSuccess) {
        ++outcome.written;
      } else {
        outcome.failures.push_back({entry.progId, names.Of(entry.progId), status});
        kept.push_back(entry);
      }
    }
    if (kept.size() != journal.entries.size()) outcome.journalSaveFailed = !SaveJournal(os, kept);
  }

  // Then the record of the first run, for the types the journal does not
  // hold: those written before there was a journal.
  const SnapshotReading snapshot = ReadSnapshot(os);
  outcome.snapshot = snapshot.state;
  outcome.snapshotDamaged = snapshot.damaged();
  outcome.unusableLines = snapshot.contents.unusable;
  TypeResolver resolver(os.registry, os.shell);
  std::set<std::wstring> recorded = journaled;  // ProgIDs either record holds
  for (const SnapshotLine& line : snapshot.contents.lines) {
    const std::wstring key = os.shell.LowerCase(line.progId);
    recorded.insert(key);
    if (!included(line.progId) || journaled.count(key)) continue;
    // Only what differs is written: the record holds no value types, and an
    // unchanged REG_EXPAND_SZ must stay one.
    const auto now = resolver.ReadMerged(line.progId + L"\\DefaultIcon");
    if (now && now->text == line.location) continue;
    // No icon key left in either layer: the type is no longer registered.
    if (!resolver.ClassExists(line.progId + L"\\DefaultIcon")) continue;
    const ClassLayer layer = TargetLayer(os.registry, resolver, line.progId);
    const Status status = WriteIconValue(os.registry, layer, line.progId, line.location);
    if (status == kSuccess) {
      ++outcome.written;
    } else {
      outcome.failures.push_back({line.progId, names.Of(line.progId), status});
    }
  }

  for (const TypeItem& item : listed) {
    if (!included(item.progId) || recorded.count(os.shell.LowerCase(item.progId))) continue;
    const std::wstring name = TypeName(item);
    if (std::find(outcome.unrecorded.begin(), outcome.unrecorded.end(), name) == outcome.unrecorded.end())
      outcome.unrecorded.push_back(name);
  }
  // Without this Explorer keeps showing the icons it has cached.
  if (outcome.written > 0) os.shell.NotifyAssociationsChanged();
  return outcome;
}

std::wstring RestoreMessage(Os& os, const RestoreOutcome& outcome) {
  std::vector<std::wstring> parts;
  if (outcome.journal == JournalState::Damaged || outcome.journal == JournalState::Unreadable) {
    parts.push_back(L"The record of the icons Tarrow changed, " + JournalPath(os.shell) +
                    L", is damaged or cannot be read, so none of it was used.");
  }
  if (outcome.refusedEntries > 0) {
    parts.push_back(Plural(outcome.refusedEntries, L"entry", L"entries") +
                    L" of the record of changed icons named registry places Tarrow never writes, and "
                    L"were refused.");
  }
  if (outcome.snapshot == SnapshotState::Missing || outcome.snapshot == SnapshotState::Unreadable) {
    parts.push_back(L"Defaults.dat, the record of the original icons, could not be found or read.");
  } else if (outcome.snapshotDamaged) {
    std::wstring text = L"Defaults.dat, the record of the original icons, is damaged";
    text += outcome.unusableLines.empty()
                ? L": it holds no types."
                : L": " + std::wstring(outcome.unusableLines.size() == 1 ? L"line " : L"lines ") +
                      LineList(outcome.unusableLines) + L" could not be used.";
    parts.push_back(text);
  }
  if (!outcome.failures.empty()) parts.push_back(FailureMessage(outcome.failures, ChangeKind::Restore));
  if (!outcome.unrecorded.empty()) {
    parts.push_back(Plural(outcome.unrecorded.size(), L"file type has", L"file types have") +
                    L" no recorded original icon and " + (outcome.unrecorded.size() == 1 ? L"was" : L"were") +
                    L" left as " + (outcome.unrecorded.size() == 1 ? L"it is: " : L"they are: ") +
                    NameList(outcome.unrecorded) + L".");
  }
  if (outcome.journalSaveFailed) {
    parts.push_back(
        L"The record of changed icons could not be updated; the next restore puts the same "
        L"originals back again.");
  }
  std::wstring text;
  for (const auto& part : parts) text += (text.empty() ? L"" : L"\r\n\r\n") + part;
  return text;
}

std::wstring RestoreSummary(const RestoreOutcome& outcome) {
  std::wstring text = Plural(outcome.written, L"icon", L"icons") + L" restored";
  if (!outcome.failures.empty()) text += L"; " + Plural(outcome.failures.size(), L"failed", L"failed");
  return text + L".";
}

std::optional<RestoreOutcome> RestoreDefaults(Os& os, RestoreHost& host, const TypeList& listed) {
  if (os.shell.MessageBox(kRestoreQuestion, kRestoreQuestionStyle) != kIdYes) return std::nullopt;
  host.HideMainWindow();
  const RestoreOutcome outcome = RestoreOriginals(os, listed);
  host.Rescan();
  host.ShowMainWindow();
  // Told only now, over the rebuilt list: the rescan is what takes a new
  // snapshot when there was none.
  std::wstring message = RestoreMessage(os, outcome);
  if (outcome.snapshot == SnapshotState::Missing && ReadSnapshot(os).state == SnapshotState::Read) {
    message +=
        L"\r\n\r\nThe icons as they are now have been saved as the new defaults; Restore Defaults will "
        L"put them back.";
  }
  if (!message.empty()) os.shell.MessageBox(message, kMbOk | kMbIconWarning);
  return outcome;
}

}  // namespace tarrow
