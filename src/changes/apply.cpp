#include "changes/apply.h"

#include <algorithm>

#include "catalog/resolver.h"
#include "changes/journal.h"
#include "platform/registry.h"

namespace tarrow {

bool HasEnvironmentReference(std::wstring_view text) {
  std::size_t open = text.find(L'%');
  while (open != std::wstring_view::npos) {
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring_view::npos) return false;
    if (close > open + 1) return true;
    // "%%" names nothing; its second "%" may open a reference.
    open = close;
  }
  return false;
}

std::uint32_t IconLocationValueType(std::wstring_view location) {
  return HasEnvironmentReference(location) ? kRegExpandSz : kRegSz;
}

ClassLayer TargetLayer(Registry& registry, TypeResolver& resolver, const std::wstring& progId) {
  const std::wstring path = DefaultIconPath(progId);
  const auto winning = resolver.ReadMerged(progId + L"\\DefaultIcon");
  // Without a value in either layer, the key that would hold it decides.
  const bool machineWins =
      winning ? winning->layer == ClassLayer::Machine
              : !RegKeyExists(registry, kCurrentUser, path) && RegKeyExists(registry, kLocalMachine, path);
  if (machineWins) {
    RegKey key = 0;
    if (registry.OpenKey(kLocalMachine, path, RegAccess::SetValue, key) == kSuccess) {
      registry.CloseKey(key);
      return ClassLayer::Machine;
    }
  }
  // A per-user value wins over the machine's for this user, and the user's
  // layer is theirs to write: the change shows without administrator rights.
  return ClassLayer::User;
}

Status WriteIconValue(Registry& registry, ClassLayer layer, const std::wstring& progId,
                      const std::wstring& location) {
  RegKey key = 0;
  Status status = kSuccess;
  if (layer == ClassLayer::User) {
    bool created = false;
    status = registry.CreateKey(kCurrentUser, DefaultIconPath(progId), key, created);
  } else {
    status = registry.OpenKey(kLocalMachine, DefaultIconPath(progId), RegAccess::SetValue, key);
  }
  if (status != kSuccess) return status;
  status = RegWriteOpenValue(registry, key, L"", IconLocationValueType(location), location);
  registry.CloseKey(key);
  return status;
}

std::wstring NameList(const std::vector<std::wstring>& names, std::size_t namedAtMost) {
  const std::size_t named = std::min(names.size(), std::max<std::size_t>(namedAtMost, 1));
  std::wstring text;
  for (std::size_t i = 0; i < named; ++i) {
    if (i > 0) text += i + 1 == named && named == names.size() ? L" and " : L", ";
    text += names[i];
  }
  if (named < names.size()) text += L" and " + std::to_wstring(names.size() - named) + L" more";
  return text;
}

std::wstring FailureMessage(const std::vector<WriteFailure>& failures, ChangeKind kind,
                            std::size_t namedAtMost) {
  // Two extensions of one type fail on the same key: name the type once.
  std::vector<const WriteFailure*> types;
  for (const auto& failure : failures) {
    const bool seen = std::any_of(types.begin(), types.end(),
                                  [&](const WriteFailure* known) { return known->progId == failure.progId; });
    if (!seen) types.push_back(&failure);
  }
  if (types.empty()) return {};

  const std::size_t count = types.size();
  std::wstring text = std::to_wstring(count) +
                      (count == 1 ? L" file type was not " : L" file types were not ") +
                      (kind == ChangeKind::Apply ? L"changed: " : L"restored: ");
  std::vector<std::wstring> names;
  for (const WriteFailure* type : types) names.push_back(type->name.empty() ? type->progId : type->name);
  text += NameList(names, namedAtMost) + L".";

  bool denied = false;
  bool missing = false;
  std::vector<Status> others;
  for (const auto* failure : types) {
    if (failure->status == kErrorAccessDenied) {
      denied = true;
    } else if (failure->status == kErrorFileNotFound) {
      missing = true;
    } else if (std::find(others.begin(), others.end(), failure->status) == others.end()) {
      others.push_back(failure->status);
    }
  }
  if (denied) text += L"\r\n\r\nWindows refused access to the registry.";
  if (missing) {
    text += L"\r\n\r\nA type's registration changed while Tarrow was working; press Refresh and try again.";
  }
  for (const Status status : others) {
    text += L"\r\n\r\nWindows reported error " + std::to_wstring(status) + L".";
  }
  if (kind == ChangeKind::Apply)
    text += L"\r\n\r\nThe types that failed stay marked, so Apply can try again.";
  return text;
}

std::wstring JournalFailedMessage(Shell& shell) {
  return L"No icon was changed: Tarrow could not record the original icons first, in " + JournalPath(shell) +
         L".\r\n\r\nIf that file is damaged, move it elsewhere to go on; the originals it records can then "
         L"no longer be put back by Restore Defaults.";
}

ApplyOutcome WriteChanges(Os& os, const TypeList& types) {
  ApplyOutcome outcome;
  TypeResolver resolver(os.registry, os.shell);
  struct Planned {
    const TypeItem* item;
    ClassLayer layer;
  };
  std::vector<Planned> plan;
  for (const TypeItem& item : types) {
    if (IsChanged(item)) plan.push_back({&item, TargetLayer(os.registry, resolver, item.progId)});
  }
  if (plan.empty()) {
    os.shell.NotifyAssociationsChanged();
    return outcome;
  }

  // The original of every value comes first, so that a value is never
  // written without a way back, whatever stops the program afterwards.
  JournalLoad journal = LoadJournal(os);
  bool recorded = journal.state == JournalState::Intact || journal.state == JournalState::Missing;
  std::vector<bool> writable(plan.size(), true);
  std::vector<JournalEntry> originals;
  for (std::size_t i = 0; recorded && i < plan.size(); ++i) {
    const auto original = ReadOriginal(os.registry, plan[i].layer, plan[i].item->progId);
    if (original) {
      originals.push_back(*original);
    } else {
      // A value of another kind than text, or one that cannot be read: it
      // could not be put back exactly, so it is not written.
      writable[i] = false;
      outcome.failures.push_back({plan[i].item->progId, TypeName(*plan[i].item), kErrorInvalidParameter});
    }
  }
  const std::size_t known = journal.entries.size();
  if (recorded) RecordOriginals(os.shell, journal.entries, originals);
  if (recorded && journal.entries.size() != known) recorded = SaveJournal(os, journal.entries);
  if (!recorded) {
    outcome.journalFailed = true;
    outcome.failures.clear();
    return outcome;
  }

  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (!writable[i]) continue;
    const TypeItem& item = *plan[i].item;
    const Status status = WriteIconValue(os.registry, plan[i].layer, item.progId, *item.pending);
    if (status == kSuccess) {
      ++outcome.written;
      ++(plan[i].layer == ClassLayer::User ? outcome.forUser : outcome.forAll);
    } else {
      outcome.failures.push_back({item.progId, TypeName(item), status});
    }
  }
  os.shell.NotifyAssociationsChanged();
  return outcome;
}

std::wstring ApplyMessage(Shell& shell, const ApplyOutcome& outcome) {
  return outcome.journalFailed ? JournalFailedMessage(shell)
                               : FailureMessage(outcome.failures, ChangeKind::Apply);
}

ApplyOutcome ApplyChanges(Os& os, const TypeList& types) {
  const ApplyOutcome outcome = WriteChanges(os, types);
  const std::wstring message = ApplyMessage(os.shell, outcome);
  if (!message.empty()) {
    os.shell.MessageBox(message, kMbOk | (outcome.journalFailed ? kMbIconError : kMbIconWarning));
  }
  return outcome;
}

std::wstring ApplySummary(const ApplyOutcome& outcome) {
  if (outcome.journalFailed) return L"Nothing was applied: the original icons could not be recorded.";
  auto types = [](std::size_t n) { return std::to_wstring(n) + (n == 1 ? L" type" : L" types"); };
  std::wstring text;
  if (outcome.forUser > 0) text += types(outcome.forUser) + L" changed for you only";
  if (outcome.forAll > 0) text += (text.empty() ? L"" : L", ") + types(outcome.forAll) + L" for all users";
  if (text.empty()) text = L"Nothing was changed";
  if (!outcome.failures.empty()) text += L"; " + types(outcome.failures.size()) + L" failed";
  return text + L".";
}

}  // namespace tarrow
