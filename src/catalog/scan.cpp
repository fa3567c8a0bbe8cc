#include "catalog/scan.h"

#include <string>
#include <utility>

#include "catalog/icon_location.h"
#include "catalog/snapshot.h"
#include "platform/system.h"

namespace tarrow {

std::optional<TypeItem> ListedItem(const ResolvedType& type, TypesListed which) {
  if (type.progId.empty() || type.description.empty()) return std::nullopt;
  const std::wstring location = type.defaultIcon ? type.defaultIcon->text : std::wstring();
  // "%1": the file is its own icon, so the type has none of its own to show.
  if (IsPerFileIcon(location)) return std::nullopt;
  if (location.empty() && which != TypesListed::All) return std::nullopt;
  return TypeItem{.extension = type.extension,
                  .progId = type.progId,
                  .description = type.description,
                  .location = location,
                  .pending = std::nullopt,
                  .picture = {},
                  .layer = location.empty() ? type.classLayer : type.defaultIcon->layer,
                  .source = type.source,
                  .iconHandler = type.iconHandler};
}

TypeList ListTypes(Os& os, TypesListed which) {
  TypeList types;
  TypeResolver resolver(os.registry, os.shell);
  for (const std::wstring& name : resolver.ClassNames()) {
    if (name.empty() || name[0] != L'.') continue;
    if (auto item = ListedItem(resolver.Resolve(name), which)) types.Add(std::move(*item));
  }
  return types;
}

bool TakeSnapshotIfNone(Os& os, const TypeList& types) {
  SnapshotWriter snapshot(os);
  snapshot.Begin();
  for (const TypeItem& item : types) snapshot.Record(item.progId, item.location);
  return snapshot.End();
}

TypeWalk::TypeWalk(Registry& registry, Shell& shell, std::function<void()> wake)
    : registry_(registry), shell_(shell), wake_(std::move(wake)), worker_([this] { Work(); }) {}

TypeWalk::~TypeWalk() {
  Stop();
}

void TypeWalk::Start(TypesListed which) {
  std::lock_guard lock(mutex_);
  ++round_;
  listed_ = which;
  found_.clear();
  ended_ = false;
  walking_ = true;
  woken_ = false;
  changed_.notify_all();
}

void TypeWalk::Cancel() {
  std::lock_guard lock(mutex_);
  // A round nobody walks: the worker drops the one in hand at its next key.
  ++round_;
  walked_ = round_;
  found_.clear();
  ended_ = false;
  walking_ = false;
}

void TypeWalk::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    walking_ = false;
    found_.clear();
    changed_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
}

WalkBatch TypeWalk::Take(std::size_t most) {
  std::lock_guard lock(mutex_);
  WalkBatch batch;
  if (found_.size() <= most) {
    batch.types = std::exchange(found_, {});
  } else {
    const auto cut = found_.begin() + static_cast<std::ptrdiff_t>(most);
    batch.types.assign(std::make_move_iterator(found_.begin()), std::make_move_iterator(cut));
    found_.erase(found_.begin(), cut);
  }
  if (found_.empty() && ended_) {
    batch.done = true;
    ended_ = false;
    walking_ = false;
  }
  woken_ = !found_.empty() || ended_;
  return batch;
}

bool TypeWalk::hasResults() const {
  std::lock_guard lock(mutex_);
  return !found_.empty() || ended_;
}

bool TypeWalk::over() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

bool TypeWalk::walking() const {
  std::lock_guard lock(mutex_);
  return walking_;
}

bool TypeWalk::Wanted(std::uint64_t round) const {
  std::lock_guard lock(mutex_);
  return round == round_ && !stopping_;
}

void TypeWalk::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || walked_ != round_; });
    if (stopping_) return;
    walked_ = round_;
    const std::uint64_t round = walked_;
    const TypesListed which = listed_;
    lock.unlock();
    Walk(round, which);
    lock.lock();
  }
}

void TypeWalk::Walk(std::uint64_t round, TypesListed which) {
  // A resolver of the worker's own: it caches what it read of the per-user
  // layer, and the window's thread has its own for what it writes.
  TypeResolver resolver(registry_, shell_);
  const std::vector<std::wstring> names = resolver.ClassNames([&] { return Wanted(round); });
  std::vector<TypeItem> found;
  for (std::size_t p = 0; p < names.size(); ++p) {
    if (!Wanted(round)) return;
    const std::wstring& extension = names[p];
    if (extension.empty() || extension[0] != L'.') continue;
    // The type as the shell shows it: the ProgID the user's choice or the
    // extension names, and the values of whichever layer wins.
    auto item = ListedItem(resolver.Resolve(extension), which);
    if (!item) continue;
    item->picture = L"Index" + std::to_wstring(p);
    // Handed over at once: a type takes far longer to read than the lock,
    // and the window shows each as soon as it can.
    found.push_back(std::move(*item));
    Hand(round, found, false);
  }
  Hand(round, found, true);
}

void TypeWalk::Hand(std::uint64_t round, std::vector<TypeItem>& found, bool done) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (round != round_ || stopping_) return;
    found_.insert(found_.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    ended_ = ended_ || done;
    wake = !woken_ && (!found_.empty() || ended_);
    woken_ = woken_ || wake;
  }
  found.clear();
  if (wake && wake_) wake_();
}

void AddWalked(std::vector<TypeItem> found, TypeList& types, ImageStore& images) {
  for (TypeItem& item : found) {
    // The picture is drawn later, off the walk: the list needs none to show.
    images.AddWaiting(item.picture, SplitIconLocation(item.location));
    types.Add(std::move(item));
  }
}

IconLocation SystemStandInIcon(Shell& shell) {
  const std::wstring folder = GetSystemFolder(shell);
  if (folder.empty()) return {};
  return {folder + L"\\shell32.dll", 0};
}

}  // namespace tarrow
