// The type list's pictures, drawn in the background: the list shows at once,
// each row with a placeholder until its icon arrives. Each distinct icon
// location is asked for once; the rows on screen are asked for first.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/icon_loader.h"
#include "catalog/type_list.h"

namespace tarrow {

class ListPictures {
 public:
  ListPictures(ImageStore& images, IconLoader& loader) : images_(images), loader_(loader) {}

  // Asks for the picture of every key of the store that has none, at
  // `sizePx`. A location without an icon shows `fallback` instead.
  void RequestMissing(int sizePx, const IconLocation& fallback);
  // The keys of the rows on screen: their icons go to the front, the first
  // key's first.
  void Prioritise(const std::vector<std::wstring>& keys);
  // Gives the store what the loader has done, no more than about
  // `mostIcons` at a time; true when a picture changed.
  bool TakeDone(std::size_t mostIcons = SIZE_MAX);
  // Drops every request not done, without waiting for the one in hand.
  void Cancel();
  // Whether some key still waits for its picture.
  bool loading() const { return !waiting_.empty(); }

 private:
  void Wait(const IconRequest& request, std::vector<std::wstring> keys);

  ImageStore& images_;
  IconLoader& loader_;
  IconRequest fallback_;
  std::unordered_map<IconJobId, std::vector<std::wstring>> waiting_;  // the keys each request will serve
  std::unordered_map<std::wstring, IconJobId> requestOf_;
  std::map<IconRequest, int> drawn_;  // requests done since Cancel: their picture, -1 for none
};

}  // namespace tarrow
