#include "catalog/type_list.h"

namespace tarrow {

bool IsChanged(const TypeItem& item) {
  return item.SmallIcon.compare(0, 6, L"Change") == 0;
}

std::wstring ProgIdOf(const TypeItem& item) {
  const auto comma = item.Key.rfind(L',');
  return comma == std::wstring::npos ? item.Key : item.Key.substr(0, comma);
}

bool ImageStore::Add(const std::wstring& key, IconHandle icon, const IconLocation& source) {
  if (IndexOf(key) >= 0) return false;
  const int index = sink_.AddPicture(icon);
  if (index < 0) return false;
  keys_.push_back(key);
  sources_.push_back(source);
  indexOf_[key] = index;
  return true;
}

void ImageStore::Clear() {
  sink_.RemoveAllPictures();
  keys_.clear();
  sources_.clear();
  indexOf_.clear();
}

void ImageStore::Rerender(Shell& shell, int sizePx) {
  sink_.RemoveAllPictures();
  indexOf_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    // A picture whose file went away meanwhile is left out; its item shows
    // no picture rather than another one's.
    const IconHandle icon = ExtractOneIcon(shell, sources_[i].file, sources_[i].index, sizePx);
    if (icon == 0) continue;
    if (const int index = sink_.AddPicture(icon); index >= 0) indexOf_[keys_[i]] = index;
    shell.DestroyIcon(icon);
  }
}

int ImageStore::IndexOf(const std::wstring& key) const {
  const auto it = indexOf_.find(key);
  return it == indexOf_.end() ? -1 : it->second;
}

}  // namespace tarrow
