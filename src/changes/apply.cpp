#include "changes/apply.h"

#include <algorithm>
#include <set>

#include "catalog/resolver.h"
#include "changes/journal.h"
#include "changes/picture_icon.h"
#include "changes/picture_store.h"
#include "changes/records.h"
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

namespace {

// A class registered for all users alone that has no DefaultIcon key in
// either layer: its new key goes beside the class, for every user, where the
// class key lets an administrator add one.
bool MachineOnlyClassWithoutIconKey(Registry& registry, const std::wstring& progId) {
  const std::wstring path = DefaultIconPath(progId);
  return !RegKeyExists(registry, kCurrentUser, ClassPath(progId)) &&
         !RegKeyExists(registry, kLocalMachine, path) &&
         ScopedKey(registry, kLocalMachine, ClassPath(progId), RegAccess::SetValue);
}

}  // namespace

ClassLayer TargetLayer(Registry& registry, TypeResolver& resolver, const std::wstring& progId,
                       bool machineRecorded) {
  if (!machineRecorded || IsApplicationClass(progId)) return ClassLayer::User;
  const std::wstring path = DefaultIconPath(progId);
  const auto winning = resolver.ReadMerged(progId + L"\\DefaultIcon");
  // Without a value in either layer, the key that would hold it decides.
  const bool machineWins =
      winning ? winning->layer == ClassLayer::Machine
              : !RegKeyExists(registry, kCurrentUser, path) && RegKeyExists(registry, kLocalMachine, path);
  if (machineWins && ScopedKey(registry, kLocalMachine, path, RegAccess::SetValue))
    return ClassLayer::Machine;
  if (!winning && MachineOnlyClassWithoutIconKey(registry, progId)) return ClassLayer::Machine;
  // A per-user value wins over the machine's for this user, and the user's
  // layer is theirs to write: the change shows without administrator rights.
  return ClassLayer::User;
}

Status SetIconValue(Registry& registry, ClassLayer layer, const std::wstring& progId,
                    const StoredValue& value, bool createMissingKeys) {
  ScopedKey key(registry);
  if (layer == ClassLayer::User && createMissingKeys) {
    key.Create(kCurrentUser, DefaultIconPath(progId));
  } else if (layer == ClassLayer::Machine && createMissingKeys &&
             RegKeyExists(registry, kLocalMachine, ClassPath(progId))) {
    // Only the DefaultIcon key: a machine class is never made anew.
    key.Create(kLocalMachine, DefaultIconPath(progId));
  } else {
    key.Open(LayerRoot(layer), DefaultIconPath(progId), RegAccess::SetValue);
  }
  if (!key) return key.status();
  return registry.SetValue(key.get(), L"", value.type, value.bytes.data(),
                           static_cast<std::uint32_t>(value.bytes.size()));
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
                      (kind == ChangeKind::Restore ? L"restored: " : L"changed: ");
  std::vector<std::wstring> names;
  for (const WriteFailure* type : types) names.push_back(type->name.empty() ? type->progId : type->name);
  text += NameList(names, namedAtMost) + L".";

  bool denied = false;
  bool missing = false;
  bool gone = false;
  bool unrecordable = false;
  bool notStored = false;
  std::vector<Status> others;
  for (const auto* failure : types) {
    if (failure->status == kErrorAccessDenied) {
      denied = true;
    } else if (failure->status == kErrorFileNotFound) {
      missing = true;
    } else if (failure->status == kClassGone) {
      gone = true;
    } else if (failure->status == kUnrecordable) {
      unrecordable = true;
    } else if (failure->status == kIconNotStored) {
      notStored = true;
    } else if (std::find(others.begin(), others.end(), failure->status) == others.end()) {
      others.push_back(failure->status);
    }
  }
  if (denied) {
    text +=
        L"\r\n\r\nWindows refused access to the registry. Icons of types registered for all users "
        L"need Tarrow to run as administrator.";
  }
  if (missing) {
    text += L"\r\n\r\nA type's registration changed while Tarrow was working; press Refresh and try again.";
  }
  if (gone) text += L"\r\n\r\nA type is no longer registered on this computer; press Refresh.";
  if (unrecordable) {
    text +=
        L"\r\n\r\nA type's icon value is not text or could not be read, so its original could not "
        L"be recorded; Tarrow leaves such a value as it is.";
  }
  if (notStored) {
    text +=
        L"\r\n\r\nThe icon made of a picture could not be stored in Tarrow's Icons folder. For types "
        L"registered for all users it is kept in a folder that administrators alone can change, and that "
        L"folder cannot be made so here.";
    if (kind == ChangeKind::Command)
      text += L" Give such types an icon of a .dll, .exe or .ico file instead.";
  }
  for (const Status status : others) {
    text += L"\r\n\r\nWindows reported error " + std::to_wstring(status) + L".";
  }
  // Only the window keeps changes waiting for another try.
  if (kind == ChangeKind::Apply && (denied || missing || notStored || !others.empty()))
    text += L"\r\n\r\nThe types that failed stay marked, so Apply can try again.";
  return text;
}

std::wstring JournalFailedMessage(Shell& shell, RecordScope scope) {
  return L"No icon was changed: Tarrow could not record the original icons first, in " +
         RecordPlace(shell, scope) +
         L".\r\n\r\nThe originals recorded there are kept. Make sure Tarrow may write there (for icons of "
         L"all users, run it as administrator), then apply again.";
}

namespace {

// The icons of the pictures the writes name, by picture file (lower case);
// the first refusal instead, when a picture makes none.
struct PictureIcons {
  std::map<std::wstring, PictureIcon> icons;
  std::wstring problem;
};

// The file whose icon a write stores in an Icons folder: a picture, or an
// icon file Tarrow made that lies outside this computer's Icons folders
// (carried beside an exported set); nullopt for a location written as it is.
std::optional<std::wstring> FileToStore(Shell& shell, const std::wstring& location,
                                        const std::wstring (&iconsFolders)[2]) {
  if (auto picture = PictureFileOf(location)) return picture;
  const auto made = MadeIconFileOf(shell, location);
  if (!made) return std::nullopt;
  for (const std::wstring& folder : iconsFolders) {
    if (OwnIconFile(shell, folder, LocationValue(location))) return std::nullopt;
  }
  return made;
}

PictureIcons MakeIcons(Os& os, const std::vector<IconWrite>& writes, const std::wstring (&iconsFolders)[2]) {
  PictureIcons made;
  for (const IconWrite& write : writes) {
    const auto source = FileToStore(os.shell, write.location, iconsFolders);
    if (!source) continue;
    const std::wstring key = os.shell.LowerCase(*source);
    if (made.icons.count(key)) continue;
    const std::wstring path = os.shell.ExpandEnvironment(*source);
    PictureIcon icon = IsPictureFile(path) ? MakePictureIconFromFile(os, path) : CarriedIcon(os, path);
    if (!icon.ok()) {
      made.problem = icon.problem;
      return made;
    }
    made.icons.emplace(key, std::move(icon));
  }
  return made;
}

}  // namespace

ApplyOutcome WriteIcons(Os& os, const std::vector<IconWrite>& writes) {
  ApplyOutcome outcome;
  if (writes.empty()) return outcome;
  // Pictures are made icons before anything is recorded, and outside the
  // lock: one that makes none stops the change before it starts.
  const std::wstring iconsFolders[] = {IconsFolder(os.shell, RecordScope::User),
                                       IconsFolder(os.shell, RecordScope::Machine)};
  PictureIcons pictures = MakeIcons(os, writes, iconsFolders);
  if (!pictures.problem.empty()) {
    outcome.pictureProblem = pictures.problem;
    return outcome;
  }
  const auto lock = os.shell.LockChanges(kLockWaitMs);
  if (!lock) {
    outcome.busy = true;
    return outcome;
  }
  ChangeRecords records(os);
  TypeResolver resolver(os.registry, os.shell);
  // Only an administrator can write the machine record, and a machine value
  // is written only with its original there: an administrator whose machine
  // record cannot be used changes nothing rather than only his own icons.
  const bool machineRecorded = os.shell.IsElevated();
  struct Planned {
    const IconWrite* write;
    ClassLayer layer;
    StoredValue value;
    const PictureIcon* picture;  // the icon to store first, for a picture
    std::wstring iconFile;       // where
  };
  std::vector<Planned> plan;
  // Icon files of Tarrow's that may no longer be used once the writes are
  // done: those the changed values named, and those stored now.
  std::set<std::wstring> iconFiles;
  std::optional<bool> foldersReady[2];
  for (const IconWrite& write : writes) {
    Status problem = kSuccess;
    std::optional<JournalEntry> now;
    ClassLayer layer = ClassLayer::User;
    if (!IsWritableClass(write.progId)) {
      problem = kUnrecordable;
    } else if (!resolver.ClassExists(write.progId)) {
      // Creating per-user keys for it would register a class nobody has.
      problem = kClassGone;
    } else {
      layer = TargetLayer(os.registry, resolver, write.progId, machineRecorded && !write.userOnly);
      now = ReadOriginal(os.registry, layer, write.progId);
      // A value that could not be put back exactly is never written.
      if (!now) problem = kUnrecordable;
    }
    if (problem != kSuccess) {
      outcome.failures.push_back({write.progId, write.name, problem});
      continue;
    }
    const RecordScope scope = ScopeOf(layer);
    if (!records.Usable(scope)) {
      outcome.journalFailed = true;
      outcome.failedRecord = scope;
      break;
    }
    std::wstring location = write.location;
    const PictureIcon* picture = nullptr;
    std::wstring iconFile;
    if (const auto pictureFile = FileToStore(os.shell, write.location, iconsFolders)) {
      auto& ready = foldersReady[static_cast<int>(scope)];
      if (!ready) ready = PrepareIconsFolder(os, scope);
      if (!*ready) {
        outcome.failures.push_back({write.progId, write.name, kIconNotStored});
        continue;
      }
      picture = &pictures.icons.at(os.shell.LowerCase(*pictureFile));
      const std::wstring& folder = iconsFolders[static_cast<int>(scope)];
      iconFile = folder + L"\\" + picture->fileName;
      location = StoredIconLocation(folder, picture->fileName);
      outcome.pictureLocations[os.shell.LowerCase(write.progId)] = location;
    }
    const StoredValue value = LocationValue(location);
    if (now->valueExisted && now->type == value.type && now->bytes == value.bytes) {
      // Already there: nothing to record; its icon file is put back should
      // it have gone.
      if (picture && !StoreIconFile(os.files, iconFile, picture->bytes)) {
        outcome.failures.push_back({write.progId, write.name, kIconNotStored});
        continue;
      }
      outcome.layers[os.shell.LowerCase(write.progId)] = layer;
      ++outcome.written;
      ++(layer == ClassLayer::User ? outcome.forUser : outcome.forAll);
      continue;
    }
    if (const JournalEntry* entry = records.Find(scope, layer, write.progId)) {
      for (const auto& before : {entry->written, entry->earlier}) {
        if (const auto file = OwnIconFile(os.shell, iconsFolders[static_cast<int>(scope)], before))
          iconFiles.insert(*file);
      }
    }
    if (picture) iconFiles.insert(iconFile);
    records.RecordWrite(scope, *now, value);
    plan.push_back({&write, layer, value, picture, iconFile});
  }
  // The originals and what is written go on record first, so that a value
  // is never written without a way back, whatever stops the program.
  if (!outcome.journalFailed) {
    if (const auto failed = records.SaveTouched()) {
      outcome.journalFailed = true;
      outcome.failedRecord = *failed;
    }
  }
  if (outcome.journalFailed) {
    outcome.failures.clear();
    outcome.written = outcome.forUser = outcome.forAll = 0;
    return outcome;
  }
  for (const Planned& planned : plan) {
    // The icon is in place before any value names it.
    const Status status =
        planned.picture && !StoreIconFile(os.files, planned.iconFile, planned.picture->bytes)
            ? kIconNotStored
            : SetIconValue(os.registry, planned.layer, planned.write->progId, planned.value, true);
    if (status == kSuccess) {
      outcome.layers[os.shell.LowerCase(planned.write->progId)] = planned.layer;
      ++outcome.written;
      ++(planned.layer == ClassLayer::User ? outcome.forUser : outcome.forAll);
    } else {
      outcome.failures.push_back({planned.write->progId, planned.write->name, status});
    }
  }
  RemoveUnusedIcons(os, records, iconFiles);
  if (!plan.empty()) os.shell.NotifyAssociationsChanged();
  return outcome;
}

std::wstring BusyMessage() {
  return L"Another Tarrow is changing icons right now, so nothing was changed. Try again once it has "
         L"finished.";
}

std::wstring ChangedSinceMessage(const std::vector<std::wstring>& names) {
  if (names.empty()) return {};
  const bool one = names.size() == 1;
  return std::to_wstring(names.size()) + (one ? L" file type was" : L" file types were") +
         L" changed by another program since Tarrow's change; left as " + (one ? L"it is: " : L"they are: ") +
         NameList(names) + L".";
}

std::wstring ApplyMessage(Shell& shell, const ApplyOutcome& outcome, ChangeKind kind) {
  if (outcome.busy) return BusyMessage();
  if (!outcome.pictureProblem.empty()) return L"No icon was changed: " + outcome.pictureProblem;
  if (outcome.journalFailed) return JournalFailedMessage(shell, outcome.failedRecord);
  std::wstring text = FailureMessage(outcome.failures, kind);
  const std::wstring changed = ChangedSinceMessage(outcome.changedSince);
  if (!changed.empty()) text += (text.empty() ? L"" : L"\r\n\r\n") + changed;
  return text;
}

std::wstring ApplySummary(const ApplyOutcome& outcome) {
  if (outcome.busy) return L"Nothing was applied: another Tarrow is changing icons.";
  if (!outcome.pictureProblem.empty()) return L"Nothing was applied: a picture could not be made an icon.";
  if (outcome.journalFailed) return L"Nothing was applied: the original icons could not be recorded.";
  auto types = [](std::size_t n) { return std::to_wstring(n) + (n == 1 ? L" type" : L" types"); };
  std::wstring text;
  if (outcome.forUser > 0) text += types(outcome.forUser) + L" changed for you only";
  if (outcome.forAll > 0)
    text += (text.empty() ? L"" : L", ") + types(outcome.forAll) + L" changed for all users";
  if (outcome.restored > 0)
    text += (text.empty() ? L"" : L", ") + types(outcome.restored) + L" given the original icon back";
  if (text.empty()) text = L"Nothing was changed";
  if (!outcome.failures.empty()) text += L"; " + types(outcome.failures.size()) + L" failed";
  return text + L".";
}

}  // namespace tarrow
