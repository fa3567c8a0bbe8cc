#include "catalog/icon_loader.h"

#include <iterator>
#include <unordered_set>

#include "catalog/icon_location.h"
#include "catalog/picture_pixels.h"

namespace tarrow {

int ShellIconSource::Count(const std::wstring& file) {
  const std::wstring resolved = IconFileForExtraction(shell_, file);
  if (files_ && IsPictureFile(resolved)) {
    // One icon, when its header says it is a picture Tarrow takes.
    const auto bytes = ReadPictureFile(*files_, resolved);
    const DecodedPicture header = bytes ? shell_.DecodePicture(*bytes, 0) : DecodedPicture{};
    return header.width > 0 && header.height > 0 && header.width <= kMaxPictureSide &&
                   header.height <= kMaxPictureSide
               ? 1
               : 0;
  }
  return resolved.empty() ? 0 : std::max(shell_.CountIcons(resolved), 0);
}

std::vector<IconHandle> ShellIconSource::Extract(const IconRequest& request) {
  const auto wanted = static_cast<std::size_t>(std::max(request.count, 0));
  const std::wstring resolved = IconFileForExtraction(shell_, request.file);
  std::vector<IconHandle> icons;
  if (files_ && IsPictureFile(resolved)) {
    // Its one icon; a picture too large to take is no icon either.
    const auto bytes = request.first == 0 && wanted > 0 ? ReadPictureFile(*files_, resolved) : std::nullopt;
    if (bytes) icons.push_back(PictureIconOfSize(shell_, *bytes, request.sizePx));
  } else if (!resolved.empty()) {
    icons = shell_.ExtractIcons(resolved, request.first, request.count, request.sizePx);
  }
  // One entry per icon asked for, whatever the system handed back.
  for (std::size_t k = wanted; k < icons.size(); ++k) {
    if (IsIcon(icons[k])) shell_.DestroyIcon(icons[k]);
  }
  icons.resize(wanted, 0);
  for (IconHandle& icon : icons) {
    if (!IsIcon(icon)) icon = 0;
  }
  return icons;
}

// ---- IconSchedule

std::pair<IconJobId, bool> IconSchedule::Add(const IconRequest& request) {
  const auto [known, added] = known_.try_emplace(request, next_);
  if (!added) return {known->second, false};
  const IconJobId id = next_++;
  queue_.emplace(back_, id);
  place_.emplace(id, back_++);
  queued_.emplace(id, request);
  return {id, true};
}

void IconSchedule::Prioritise(const std::vector<IconJobId>& ids) {
  // Placed before the front in reverse, so the first named ends up first.
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    const auto place = place_.find(*id);
    if (place == place_.end()) continue;
    queue_.erase(place->second);
    place->second = --front_;
    queue_.emplace(front_, *id);
  }
}

void IconSchedule::Forget(const std::vector<IconJobId>& ids) {
  const std::unordered_set<IconJobId> forgotten(ids.begin(), ids.end());
  std::erase_if(known_, [&](const auto& request) { return forgotten.contains(request.second); });
  for (const IconJobId id : forgotten) {
    const auto place = place_.find(id);
    if (place == place_.end()) continue;
    queue_.erase(place->second);
    place_.erase(place);
    queued_.erase(id);
  }
}

std::optional<std::pair<IconJobId, IconRequest>> IconSchedule::Take() {
  if (queue_.empty()) return std::nullopt;
  const IconJobId id = queue_.begin()->second;
  queue_.erase(queue_.begin());
  place_.erase(id);
  auto request = queued_.extract(id);
  return std::pair{id, std::move(request.mapped())};
}

void IconSchedule::Clear() {
  known_.clear();
  queue_.clear();
  place_.clear();
  queued_.clear();
}

// ---- IconLoader

IconLoader::IconLoader(IconSource& source, std::function<void()> wake, int workers)
    : source_(source), wake_(std::move(wake)) {
  for (int k = 0; k < std::max(workers, 1); ++k) workers_.emplace_back([this] { Work(); });
}

IconLoader::~IconLoader() {
  Stop();
}

IconJobId IconLoader::Request(const IconRequest& request) {
  std::lock_guard lock(mutex_);
  const auto [id, added] = schedule_.Add(request);
  if (added) changed_.notify_all();
  return id;
}

void IconLoader::Prioritise(const std::vector<IconJobId>& ids) {
  std::lock_guard lock(mutex_);
  schedule_.Prioritise(ids);
}

void IconLoader::Withdraw(const std::vector<IconJobId>& ids) {
  std::lock_guard lock(mutex_);
  schedule_.Forget(ids);
}

void IconLoader::Cancel() {
  std::vector<IconResult> dropped;
  {
    std::lock_guard lock(mutex_);
    ++round_;
    schedule_.Clear();
    dropped.swap(results_);
    untakenIcons_ = 0;
    inHand_ = 0;
    woken_ = false;
    changed_.notify_all();
  }
  ReleaseAll(dropped);
}

std::vector<IconResult> IconLoader::TakeResults(std::size_t mostIcons) {
  std::vector<IconResult> taken;
  std::lock_guard lock(mutex_);
  std::size_t icons = 0, count = 0;
  for (; count < results_.size(); ++count) {
    const std::size_t more = results_[count].icons.size();
    if (count > 0 && icons + more > mostIcons) break;
    icons += more;
  }
  taken.assign(std::make_move_iterator(results_.begin()), std::make_move_iterator(results_.begin() + count));
  results_.erase(results_.begin(), results_.begin() + count);
  untakenIcons_ -= icons;
  // While results are left, the taker is still awake: no new wake-up.
  woken_ = !results_.empty();
  changed_.notify_all();
  return taken;
}

bool IconLoader::hasResults() const {
  std::lock_guard lock(mutex_);
  return !results_.empty();
}

bool IconLoader::idle() const {
  std::lock_guard lock(mutex_);
  return schedule_.empty() && inHand_ == 0 && results_.empty();
}

void IconLoader::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Cancel();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

void IconLoader::ReleaseAll(std::vector<IconResult>& results) {
  for (IconResult& result : results) {
    for (IconHandle icon : result.icons) {
      if (IsIcon(icon)) source_.Release(icon);
    }
  }
  results.clear();
}

void IconLoader::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock,
                  [this] { return stopping_ || (!schedule_.empty() && untakenIcons_ < kMostUntakenIcons); });
    if (stopping_) return;
    auto [id, request] = *schedule_.Take();
    const std::uint64_t round = round_;
    ++inHand_;
    lock.unlock();

    IconResult result{id, std::move(request), {}, {}, 0};
    if (result.counted()) result.total = source_.Count(result.request.file);
    if (result.request.count > 0) {
      result.icons = source_.Extract(result.request);
      source_.Draw(result);
    }

    lock.lock();
    if (round != round_) {
      // Cancelled while in hand: nobody wants it.
      lock.unlock();
      std::vector<IconResult> dropped{std::move(result)};
      ReleaseAll(dropped);
      lock.lock();
      continue;
    }
    --inHand_;
    untakenIcons_ += result.icons.size();
    results_.push_back(std::move(result));
    if (!std::exchange(woken_, true)) {
      lock.unlock();
      wake_();
      lock.lock();
    }
  }
}

}  // namespace tarrow
