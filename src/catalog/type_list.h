// The program's picture of the registered file types: the type list items and
// the keyed store of their small pictures. The main window shows both.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/class_layer.h"
#include "catalog/icon_location.h"
#include "catalog/resolver.h"
#include "platform/os.h"

namespace tarrow {

// One listed file extension.
struct TypeItem {
  std::wstring extension;  // as the registry spells it, with its dot
  std::wstring progId;     // the class whose icon the shell shows for it
  std::wstring description;
  std::wstring location;                        // the icon location as stored now
  std::optional<std::wstring> pending;          // assigned by the user, not applied yet
  std::wstring picture;                         // key of its picture in the image store
  ClassLayer layer = ClassLayer::Machine;       // where the stored location lives
  ProgIdSource source = ProgIdSource::Default;  // how the ProgID was found
  bool iconHandler = false;                     // the shell decides icons file by file
  bool pendingOriginal = false;                 // the pending location is the original, asked back
};

// The list's text for the item: description "  [" extension "]".
std::wstring ItemText(const TypeItem& item);

// The type as messages name it: its description, cut short with an ellipsis
// so that any message stays on the screen, and its extension.
std::wstring TypeName(const TypeItem& item);

// Whether the type has an icon location of its own; one without shows the
// system's icon of a file of unknown type until it is given one.
inline bool HasOwnIcon(const TypeItem& item) {
  return !item.location.empty();
}

// Whether the type is a Store app's: its class is the app's ("AppX..."), or
// its icon lives in the app's package. The app's next update may write its
// own icon over one Tarrow gives it.
bool IsStoreAppType(const TypeItem& item);

// What the user is told, once, before a Store app's type first changes.
inline constexpr wchar_t kStoreAppUpdateWarning[] =
    L"is a Store app's type: the app's next update may put its own icon back.";

// Whether the user gave the item a new icon that is not yet applied.
inline bool IsChanged(const TypeItem& item) {
  return item.pending.has_value();
}

// The icon location the item shows: the pending one, else the stored one.
inline const std::wstring& ShownLocation(const TypeItem& item) {
  return item.pending ? *item.pending : item.location;
}

// The items, in the order they were added.
class TypeList {
 public:
  void Clear() { items_.clear(); }
  TypeItem& Add(TypeItem item) {
    items_.push_back(std::move(item));
    return items_.back();
  }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  TypeItem& operator[](std::size_t i) { return items_[i]; }
  const TypeItem& operator[](std::size_t i) const { return items_[i]; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TypeItem> items_;
};

// Where pictures really live: the platform's image list. It keeps its own
// copy of each icon, so the caller may destroy the icon at once.
class PictureSink {
 public:
  virtual ~PictureSink() = default;
  // Adds a picture of the icon; its position in the list, or -1 on failure.
  virtual int AddPicture(IconHandle icon) = 0;
  // Adds a picture of each icon, in order; a sink may take them faster
  // together than one by one. Each one's position, -1 where it failed.
  virtual std::vector<int> AddPictures(const std::vector<IconHandle>& icons) {
    std::vector<int> where;
    for (const IconHandle icon : icons) where.push_back(IsIcon(icon) ? AddPicture(icon) : -1);
    return where;
  }
  virtual void RemoveAllPictures() = 0;
};

// Pictures under unique keys, as the list finds them by an item's SmallIcon.
class ImageStore {
 public:
  explicit ImageStore(PictureSink& sink) : sink_(sink) {}
  // Adds a picture under a key not used yet; false when the key is taken or
  // the picture could not be added. `source` is where the icon came from, so
  // that the picture can be drawn again at another size.
  bool Add(const std::wstring& key, IconHandle icon, const IconLocation& source = {});
  // A key whose picture, of the icon at `source`, comes later (Give); until
  // then it has none. False when the key is taken.
  bool AddWaiting(const std::wstring& key, const IconLocation& source);
  // Gives each icon's picture to its keys, all in one go; one picture however
  // many keys show it. The caller still owns the icons. Returns each
  // picture's position, -1 where the picture could not be added.
  std::vector<int> Give(const std::vector<std::vector<std::wstring>>& keysOfIcon,
                        const std::vector<IconHandle>& icons);
  // Shows the picture at `index` under these keys too.
  void Show(const std::vector<std::wstring>& keys, int index);
  void Clear();
  // Drops every picture and keeps the keys and their sources, as before the
  // pictures are drawn again at another size.
  void Forget();
  // The picture's position for the platform list; -1 when there is none.
  int IndexOf(const std::wstring& key) const;
  const std::vector<IconLocation>& sources() const { return sources_; }
  std::size_t size() const { return keys_.size(); }
  // Pictures in the platform list; fewer than keys where keys share one.
  std::size_t pictures() const { return pictures_; }
  const std::vector<std::wstring>& keys() const { return keys_; }

 private:
  PictureSink& sink_;
  std::vector<std::wstring> keys_;  // in the order they were added
  std::vector<IconLocation> sources_;
  std::unordered_map<std::wstring, int> indexOf_;  // every key; -1 where it has no picture
  std::size_t pictures_ = 0;
};

}  // namespace tarrow
