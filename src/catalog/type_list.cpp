#include "catalog/type_list.h"

#include <string_view>
#include <utility>

#include "platform/text.h"

namespace tarrow {

std::wstring ItemText(const TypeItem& item) {
  return item.description + L"  [" + item.extension + L"]";
}

std::wstring TypeName(const TypeItem& item) {
  constexpr std::size_t kLongest = 60;
  // Registry text: no line break of its own may start another line.
  std::wstring description = EscapedField(item.description);
  if (description.size() > kLongest) description = description.substr(0, kLongest - 1) + L"\u2026";
  std::wstring extension = EscapedField(item.extension);
  if (extension.size() > kLongest) extension = extension.substr(0, kLongest - 1) + L"\u2026";
  return description + L" (" + extension + L")";
}

bool IsStoreAppType(const TypeItem& item) {
  constexpr std::wstring_view kAppPrefix = L"AppX";
  const bool appClass = item.progId.size() > kAppPrefix.size() && StartsWithClassName(item.progId, kAppPrefix);
  return appClass || IsPackagedIcon(item.location);
}

bool ImageStore::Add(const std::wstring& key, IconHandle icon, const IconLocation& source) {
  if (indexOf_.contains(key)) return false;
  const int index = sink_.AddPicture(icon);
  if (index < 0) return false;
  keys_.push_back(key);
  sources_.push_back(source);
  indexOf_[key] = index;
  ++pictures_;
  return true;
}

bool ImageStore::AddWaiting(const std::wstring& key, const IconLocation& source) {
  if (!indexOf_.try_emplace(key, -1).second) return false;
  keys_.push_back(key);
  sources_.push_back(source);
  return true;
}

std::vector<int> ImageStore::Give(const std::vector<std::vector<std::wstring>>& keysOfIcon,
                                  const std::vector<IconHandle>& icons) {
  std::vector<int> where = sink_.AddPictures(icons);
  where.resize(icons.size(), -1);
  for (std::size_t i = 0; i < icons.size() && i < keysOfIcon.size(); ++i) {
    if (where[i] < 0) continue;
    ++pictures_;
    Show(keysOfIcon[i], where[i]);
  }
  return where;
}

void ImageStore::Show(const std::vector<std::wstring>& keys, int index) {
  for (const std::wstring& key : keys) {
    if (const auto it = indexOf_.find(key); it != indexOf_.end()) it->second = index;
  }
}

void ImageStore::Clear() {
  sink_.RemoveAllPictures();
  keys_.clear();
  sources_.clear();
  indexOf_.clear();
  pictures_ = 0;
}

void ImageStore::Forget() {
  sink_.RemoveAllPictures();
  for (auto& [key, index] : indexOf_) index = -1;
  pictures_ = 0;
}

int ImageStore::IndexOf(const std::wstring& key) const {
  const auto it = indexOf_.find(key);
  return it == indexOf_.end() ? -1 : it->second;
}

}  // namespace tarrow
