#include "catalog/type_list.h"

#include <map>
#include <utility>

namespace tarrow {

std::wstring ItemText(const TypeItem& item) {
  return item.description + L"  [" + item.extension + L"]";
}

std::wstring TypeName(const TypeItem& item) {
  constexpr std::size_t kLongest = 60;
  std::wstring description = item.description;
  if (description.size() > kLongest) description = description.substr(0, kLongest - 1) + L"\u2026";
  std::wstring extension = item.extension;
  if (extension.size() > kLongest) extension = extension.substr(0, kLongest - 1) + L"\u2026";
  return description + L" (" + extension + L")";
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

bool ImageStore::AddShared(const std::wstring& key, const std::wstring& owner, const IconLocation& source) {
  if (indexOf_.contains(key)) return false;
  keys_.push_back(key);
  sources_.push_back(source);
  indexOf_[key] = IndexOf(owner);
  return true;
}

void ImageStore::Clear() {
  sink_.RemoveAllPictures();
  keys_.clear();
  sources_.clear();
  indexOf_.clear();
  pictures_ = 0;
}

void ImageStore::Rerender(Shell& shell, int sizePx) {
  sink_.RemoveAllPictures();
  indexOf_.clear();
  pictures_ = 0;
  std::map<std::pair<std::wstring, int>, int> drawn;  // source -> its new picture, -1 for none
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const auto [known, added] = drawn.try_emplace({sources_[i].file, sources_[i].index}, -1);
    if (added) {
      // A picture whose file went away meanwhile is left out; its items show
      // no picture rather than another one's.
      const IconHandle icon = ExtractOneIcon(shell, sources_[i].file, sources_[i].index, sizePx);
      if (icon != 0) {
        known->second = sink_.AddPicture(icon);
        shell.DestroyIcon(icon);
        if (known->second >= 0) ++pictures_;
      }
    }
    indexOf_[keys_[i]] = known->second;
  }
}

int ImageStore::IndexOf(const std::wstring& key) const {
  const auto it = indexOf_.find(key);
  return it == indexOf_.end() ? -1 : it->second;
}

}  // namespace tarrow
