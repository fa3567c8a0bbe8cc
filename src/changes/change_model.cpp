#include "changes/change_model.h"

#include <algorithm>
#include <set>
#include <utility>

#include "catalog/icon_location.h"
#include "catalog/picture_pixels.h"
#include "catalog/resolver.h"
#include "catalog/snapshot.h"
#include "changes/picture_store.h"
#include "changes/records.h"
#include "platform/system.h"

namespace tarrow {

ChangeModel::ChangeModel(Os& os, TypeList& types, ImageStore* images)
    : os_(os), types_(types), images_(images) {}

bool ChangeModel::SameIcon(const std::wstring& a, const std::wstring& b) {
  const IconLocation first = SplitIconLocation(a);
  const IconLocation second = SplitIconLocation(b);
  return first.index == second.index && os_.shell.LowerCase(os_.shell.ExpandEnvironment(first.file)) ==
                                            os_.shell.LowerCase(os_.shell.ExpandEnvironment(second.file));
}

std::wstring ChangeModel::NewPictureKey() {
  return L"pending" + std::to_wstring(++pictures_);
}

std::optional<std::wstring> ChangeModel::Picture(const std::wstring& location, int sizePx) {
  const IconLocation source = SplitIconLocation(location);
  IconHandle icon = 0;
  if (const auto picture = PictureFileOf(location)) {
    // Shown as its icon will be, before Apply makes it.
    if (const auto bytes = ReadPictureFile(os_.files, os_.shell.ExpandEnvironment(*picture)))
      icon = PictureIconOfSize(os_.shell, *bytes, sizePx);
  } else {
    icon = ExtractOneIcon(os_.shell, source.file, source.index, sizePx);
  }
  if (icon == 0) return std::nullopt;
  const std::wstring key = NewPictureKey();
  // The store keeps its own copy; should it fail to, the change still stands.
  images_->Add(key, icon, source);
  os_.shell.DestroyIcon(icon);
  return key;
}

void ChangeModel::Share(const std::vector<std::size_t>& indices, const std::wstring& location, bool original,
                        const std::optional<std::wstring>& picture) {
  // One pass over the list however many types are given: Ctrl+A gives them all.
  std::vector<bool> given(types_.size(), false);
  std::set<std::wstring> progIds;
  for (const std::size_t index : indices) {
    given[index] = true;
    if (!types_[index].progId.empty()) progIds.insert(os_.shell.LowerCase(types_[index].progId));
  }
  for (std::size_t i = 0; i < types_.size(); ++i) {
    TypeItem& item = types_[i];
    if (!given[i] && (item.progId.empty() || !progIds.count(os_.shell.LowerCase(item.progId)))) continue;
    // The picture from before the first change is the stored icon's.
    auto& swap = swaps_.try_emplace(item.extension, PictureSwap{item.picture, {}}).first->second;
    if (picture) {
      swap.pending = *picture;
      item.picture = *picture;
    } else {
      swap.pending = item.picture;
    }
    item.pending = location;
    item.pendingOriginal = original;
    userOnly_.erase(os_.shell.LowerCase(item.progId));
  }
}

bool ChangeModel::Assign(std::size_t index, const std::wstring& location, int pictureSizePx) {
  return Assign(std::vector<std::size_t>{index}, location, pictureSizePx).changed == 1;
}

ChangeModel::SetChange ChangeModel::Assign(const std::vector<std::size_t>& indices,
                                           const std::wstring& location, int pictureSizePx) {
  SetChange result;
  std::vector<std::size_t> taking;
  for (const std::size_t index : indices) {
    if (index < types_.size() && !SameIcon(ShownLocation(types_[index]), location)) {
      taking.push_back(index);
    } else {
      result.unchanged.push_back(index);
    }
  }
  if (taking.empty()) return result;
  std::optional<std::wstring> picture;
  if (images_) {
    picture = Picture(location, pictureSizePx);
    if (!picture) {
      result.unchanged = indices;
      return result;
    }
  }
  Share(taking, location, false, picture);
  result.changed = taking.size();
  return result;
}

ChangeModel::SetChange ChangeModel::AssignForUser(const std::vector<std::size_t>& indices,
                                                  const std::wstring& location, int pictureSizePx) {
  const SetChange result = Assign(indices, location, pictureSizePx);
  for (const std::size_t index : indices) {
    if (index < types_.size() && types_[index].pending == location)
      userOnly_.insert(os_.shell.LowerCase(types_[index].progId));
  }
  return result;
}

void ChangeModel::Withdraw(std::size_t index) {
  const std::wstring progId = os_.shell.LowerCase(types_[index].progId);
  for (std::size_t i = 0; i < types_.size(); ++i) {
    TypeItem& item = types_[i];
    if (i != index && (progId.empty() || os_.shell.LowerCase(item.progId) != progId)) continue;
    if (const auto swap = swaps_.find(item.extension); swap != swaps_.end()) {
      item.picture = swap->second.stored;
      swaps_.erase(swap);
    }
    item.pending.reset();
    item.pendingOriginal = false;
    userOnly_.erase(progId);
  }
}

bool ChangeModel::AskOriginal(ChangeStatus& status, std::size_t index, int pictureSizePx,
                              std::unordered_map<std::wstring, std::wstring>& pictures) {
  if (index >= types_.size()) return false;
  // A new icon not applied yet is what the user takes back first: the type
  // shows its stored icon again, and nothing waits for Apply.
  if (types_[index].pending && !types_[index].pendingOriginal) {
    Withdraw(index);
    ++withdrawn_;
    return true;
  }
  const auto original = status.OriginalLocation(types_[index]);
  if (!original) return false;
  // Types whose originals are one icon share one picture of it. One that
  // cannot be drawn here (none at all, say) is left to the list's feed,
  // which draws what the system shows: the row must not keep the icon that
  // is being taken back.
  std::optional<std::wstring> picture;
  if (images_) {
    auto [drawn, isNew] = pictures.try_emplace(*original);
    if (isNew) {
      if (auto made = Picture(*original, pictureSizePx)) {
        drawn->second = std::move(*made);
      } else {
        drawn->second = NewPictureKey();
        images_->AddWaiting(drawn->second, SplitIconLocation(*original));
      }
    }
    picture = drawn->second;
  }
  Share({index}, *original, true, picture);
  return true;
}

bool ChangeModel::AskOriginal(std::size_t index, int pictureSizePx) {
  return AskOriginal(std::vector<std::size_t>{index}, pictureSizePx).changed == 1;
}

ChangeModel::SetChange ChangeModel::AskOriginal(const std::vector<std::size_t>& indices, int pictureSizePx) {
  SetChange result;
  ChangeStatus status(os_);
  std::unordered_map<std::wstring, std::wstring> pictures;
  withdrawn_ = 0;
  for (const std::size_t index : indices) {
    if (AskOriginal(status, index, pictureSizePx, pictures)) {
      ++result.changed;
    } else {
      result.unchanged.push_back(index);
    }
  }
  result.withdrawn = std::exchange(withdrawn_, 0);
  return result;
}

std::size_t ChangeModel::pendingTypes() const {
  return static_cast<std::size_t>(std::count_if(types_.begin(), types_.end(), IsChanged));
}

PendingChanges ChangeModel::Pending() const {
  PendingChanges pending;
  std::set<std::wstring> seen;
  for (const TypeItem& item : types_) {
    if (!IsChanged(item) || !seen.insert(os_.shell.LowerCase(item.progId)).second) continue;
    if (item.pendingOriginal) {
      pending.originals.insert(item.progId);
      pending.named.Add(item);
    } else {
      pending.writes.push_back({item.progId, TypeName(item), *item.pending,
                                userOnly_.count(os_.shell.LowerCase(item.progId)) > 0});
    }
  }
  return pending;
}

ApplyOutcome WritePending(Os& os, const PendingChanges& pending) {
  ApplyOutcome outcome = WriteIcons(os, pending.writes);
  if (!pending.originals.empty() && !outcome.busy && !outcome.journalFailed &&
      outcome.pictureProblem.empty()) {
    const RestoreOutcome restored = RestoreOriginals(os, pending.named, pending.originals);
    outcome.busy = restored.busy;
    outcome.restored = restored.written;
    outcome.failures.insert(outcome.failures.end(), restored.failures.begin(), restored.failures.end());
    outcome.changedSince = restored.changedSince;
  }
  return outcome;
}

ApplyOutcome ChangeModel::Write() {
  ApplyOutcome outcome = WritePending(os_, Pending());
  Settle(outcome);
  return outcome;
}

void ChangeModel::Settle(ApplyOutcome& outcome) {
  std::set<std::wstring> failed;
  for (const WriteFailure& failure : outcome.failures) failed.insert(os_.shell.LowerCase(failure.progId));
  const bool nothingDone = outcome.busy || outcome.journalFailed || !outcome.pictureProblem.empty();
  // Counted as the list shows them: two extensions of one ProgID are two.
  if (!nothingDone) outcome.written = outcome.forUser = outcome.forAll = outcome.restored = 0;
  TypeResolver resolver(os_.registry, os_.shell);
  for (TypeItem& item : types_) {
    if (!IsChanged(item)) continue;
    const auto swap = swaps_.find(item.extension);
    if (nothingDone || failed.count(os_.shell.LowerCase(item.progId))) {
      // Still waiting, but the system shows the old icon: so does the list.
      if (swap != swaps_.end()) item.picture = swap->second.stored;
      continue;
    }
    // A new icon is what was written, where it was written; an original is
    // whatever the merged view shows once it is back.
    const auto written = outcome.layers.find(os_.shell.LowerCase(item.progId));
    if (!item.pendingOriginal && written != outcome.layers.end()) {
      // A picture is shown by the icon made of it.
      const auto picture = outcome.pictureLocations.find(written->first);
      item.location = picture != outcome.pictureLocations.end() ? picture->second : *item.pending;
      item.layer = written->second;
    } else {
      const auto stored = resolver.ReadMerged(item.progId + L"\\DefaultIcon");
      item.location = stored ? stored->text : std::wstring();
      if (stored) item.layer = stored->layer;
    }
    if (item.pendingOriginal) {
      ++outcome.restored;
    } else {
      ++outcome.written;
      ++(item.layer == ClassLayer::User ? outcome.forUser : outcome.forAll);
    }
    item.pending.reset();
    item.pendingOriginal = false;
    userOnly_.erase(os_.shell.LowerCase(item.progId));
    if (swap != swaps_.end()) {
      item.picture = swap->second.pending;
      swaps_.erase(swap);
    }
  }
}

void TellApplied(Shell& shell, const ApplyOutcome& outcome) {
  if (const std::wstring message = ApplyMessage(shell, outcome); !message.empty())
    shell.MessageBox(message, kMbOk | (outcome.journalFailed ? kMbIconError : kMbIconWarning));
}

ApplyOutcome ChangeModel::Apply() {
  const ApplyOutcome outcome = Write();
  TellApplied(os_.shell, outcome);
  return outcome;
}

std::wstring NoOriginalText(const TypeList& types, const std::vector<std::size_t>& indices) {
  std::vector<std::wstring> names;
  for (const std::size_t index : indices) {
    if (index < types.size()) names.push_back(TypeName(types[index]));
  }
  return L"Tarrow never changed the icon of " + NameList(names) +
         (names.size() == 1 ? L"; it has" : L"; they have") + L" no other original to put back.";
}

std::vector<std::wstring> TypesChangedForAllUsers(Os& os, const TypeList& types,
                                                  const std::vector<std::size_t>& indices) {
  TypeResolver resolver(os.registry, os.shell);
  std::vector<std::wstring> names;
  for (const std::size_t index : indices) {
    if (index < types.size() &&
        TargetLayer(os.registry, resolver, types[index].progId, os.shell.IsElevated()) == ClassLayer::Machine)
      names.push_back(TypeName(types[index]));
  }
  return names;
}

std::wstring PictureForUserQuestion(Shell& shell, const std::vector<std::wstring>& names) {
  const bool one = names.size() == 1;
  return std::wstring(one ? L"This type is" : L"These types are") + L" registered for all users: " +
         NameList(names) + L".\r\n\r\nAn icon made of a picture for all users is kept in " +
         IconsFolder(shell, RecordScope::Machine) +
         L", which Tarrow uses only while administrators alone can change it, and that folder cannot be "
         L"made so here.\r\n\r\nStore the icon for you only? Yes gives " +
         (one ? L"the type" : L"the types") + L" the picture for your user account alone; No changes nothing.";
}

std::wstring RestoreDefaultsQuestion(Os& os, const TypeList& types) {
  ChangeStatus status(os);
  const auto changed =
      static_cast<std::size_t>(std::count_if(types.begin(), types.end(), [&](const TypeItem& item) {
        return status.Changed(item);
      }));
  const std::wstring intro = L"Restore all icons to their original state?\r\n\r\n";
  if (changed == 0)
    return intro +
           L"No listed type shows an icon Tarrow gave it. Types changed before Tarrow kept records get the icon "
           L"Defaults.dat holds for them.";
  return intro + (changed == 1 ? std::wstring(L"1 type gets back the icon it had")
                               : std::to_wstring(changed) + L" types get back the icon they had") +
         L" before Tarrow changed it.";
}

std::wstring WithdrawnText(std::size_t count) {
  return count == 1 ? L"1 new icon was taken back before Apply; nothing was written."
                    : std::to_wstring(count) + L" new icons were taken back before Apply; nothing was written.";
}

ChangeStatus::ChangeStatus(Os& os) : os_(os) {
  for (const RecordScope scope : {RecordScope::Machine, RecordScope::User}) {
    for (JournalEntry& entry : LoadRecord(os, scope).entries) entries_.push_back(std::move(entry));
  }
  for (std::size_t i = 0; i < entries_.size(); ++i)
    byProgId_[os.shell.LowerCase(entries_[i].progId)].push_back(i);
}

std::vector<const JournalEntry*> ChangeStatus::ActiveEntries(const std::wstring& progId) {
  std::vector<const JournalEntry*> active;
  const auto found = byProgId_.find(os_.shell.LowerCase(progId));
  if (found == byProgId_.end()) return active;
  for (const std::size_t i : found->second) {
    const JournalEntry& entry = entries_[i];
    if (entry.settled) continue;
    const auto now = ReadOriginal(os_.registry, entry.layer, entry.progId);
    if (now && (!entry.written || HoldsWritten(entry, *now))) active.push_back(&entry);
  }
  return active;
}

bool ChangeStatus::Changed(const TypeItem& item) {
  return !ActiveEntries(item.progId).empty();
}

std::optional<std::wstring> ChangeStatus::OriginalLocation(const TypeItem& item) {
  const auto active = ActiveEntries(item.progId);
  if (active.empty()) {
    // A change from before there were records: Defaults.dat speaks for it.
    if (byProgId_.count(os_.shell.LowerCase(item.progId))) return std::nullopt;
    for (const SnapshotLine& line : ReadSnapshot(os_).contents.lines) {
      if (os_.shell.LowerCase(line.progId) != os_.shell.LowerCase(item.progId)) continue;
      if (line.location == item.location) return std::nullopt;
      return line.location;
    }
    return std::nullopt;
  }
  // The value of each layer once the originals are back; the user's wins.
  std::optional<std::wstring> layers[2];
  for (const ClassLayer layer : {ClassLayer::User, ClassLayer::Machine}) {
    const auto now = ReadOriginal(os_.registry, layer, item.progId);
    if (now && now->valueExisted) layers[static_cast<int>(layer)] = StoredText(now->bytes);
  }
  for (const JournalEntry* entry : active) {
    auto& value = layers[static_cast<int>(entry->layer)];
    value.reset();
    if (entry->valueExisted) value = StoredText(entry->bytes);
  }
  const auto& shown = layers[static_cast<int>(ClassLayer::User)]
                          ? layers[static_cast<int>(ClassLayer::User)]
                          : layers[static_cast<int>(ClassLayer::Machine)];
  return shown.value_or(std::wstring());
}

}  // namespace tarrow
