#include "catalog/type_list.h"

#include <algorithm>

namespace tarrow {

bool IsChanged(const TypeItem& item) { return item.SmallIcon.compare(0, 6, L"Change") == 0; }

std::wstring ProgIdOf(const TypeItem& item) {
  const auto comma = item.Key.rfind(L',');
  return comma == std::wstring::npos ? item.Key : item.Key.substr(0, comma);
}

bool ImageStore::Add(const std::wstring& key, IconHandle icon) {
  if (IndexOf(key) >= 0) return false;
  const int index = sink_.AddPicture(icon);
  if (index < 0) return false;
  // The sink numbers its pictures in the order they arrive.
  keys_.resize(std::max<std::size_t>(keys_.size(), static_cast<std::size_t>(index) + 1));
  keys_[static_cast<std::size_t>(index)] = key;
  indexOf_[key] = index;
  return true;
}

void ImageStore::Clear() {
  sink_.RemoveAllPictures();
  keys_.clear();
  indexOf_.clear();
}

int ImageStore::IndexOf(const std::wstring& key) const {
  const auto it = indexOf_.find(key);
  return it == indexOf_.end() ? -1 : it->second;
}

}  // namespace tarrow
