#include "catalog/list_pictures.h"

#include <utility>

namespace tarrow {

void ListPictures::Wait(const IconRequest& request, std::vector<std::wstring> keys) {
  if (const auto drawn = drawn_.find(request); drawn != drawn_.end()) {
    if (drawn->second >= 0) {
      images_.Show(keys, drawn->second);
    } else if (request != fallback_ && !fallback_.file.empty()) {
      Wait(fallback_, std::move(keys));
    }
    return;
  }
  const IconJobId id = loader_.Request(request);
  std::vector<std::wstring>& waiting = waiting_[id];
  for (std::wstring& key : keys) {
    requestOf_[key] = id;
    waiting.push_back(std::move(key));
  }
}

void ListPictures::RequestMissing(int sizePx, const IconLocation& fallback) {
  fallback_ = {fallback.file, fallback.index, 1, sizePx};
  const std::vector<std::wstring>& keys = images_.keys();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (images_.IndexOf(keys[k]) >= 0 || requestOf_.contains(keys[k])) continue;
    const IconLocation& source = images_.sources()[k];
    Wait({source.file, source.index, 1, sizePx}, {keys[k]});
  }
}

void ListPictures::Prioritise(const std::vector<std::wstring>& keys) {
  std::vector<IconJobId> ids;
  for (const std::wstring& key : keys) {
    if (const auto it = requestOf_.find(key); it != requestOf_.end()) ids.push_back(it->second);
  }
  loader_.Prioritise(ids);
}

bool ListPictures::TakeDone() {
  std::vector<std::vector<std::wstring>> keysOfIcon;
  std::vector<IconRequest> requests;
  std::vector<IconHandle> icons;
  std::vector<std::vector<std::wstring>> standIns;
  for (IconResult& result : loader_.TakeResults()) {
    auto waiting = waiting_.extract(result.id);
    if (waiting.empty()) {
      for (const IconHandle icon : result.icons) loader_.Release(icon);
      continue;
    }
    for (const std::wstring& key : waiting.mapped()) requestOf_.erase(key);
    const IconHandle icon = result.icons.empty() ? 0 : result.icons.front();
    if (icon != 0) {
      keysOfIcon.push_back(std::move(waiting.mapped()));
      requests.push_back(std::move(result.request));
      icons.push_back(icon);
      continue;
    }
    drawn_[result.request] = -1;
    // The file or the icon is gone: the system's stand-in for a type without
    // one. Without that either, the placeholder stays.
    if (result.request != fallback_ && !fallback_.file.empty())
      standIns.push_back(std::move(waiting.mapped()));
  }
  if (!icons.empty()) {
    // The store keeps its own copies, so the icons can go at once.
    const std::vector<int> where = images_.Give(keysOfIcon, icons);
    for (std::size_t i = 0; i < icons.size(); ++i) {
      drawn_[requests[i]] = where[i];
      loader_.Release(icons[i]);
    }
  }
  // Only now: the stand-in may have come in this same batch, and asked for
  // before it is recorded, its keys would wait on a job already done.
  for (std::vector<std::wstring>& keys : standIns) Wait(fallback_, std::move(keys));
  return !icons.empty() || !standIns.empty();
}

void ListPictures::Cancel() {
  loader_.Cancel();
  waiting_.clear();
  requestOf_.clear();
  drawn_.clear();
}

}  // namespace tarrow
