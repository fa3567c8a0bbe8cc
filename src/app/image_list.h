// A platform image list standing behind an ImageStore or the icon grid.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "catalog/type_list.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

class ImageListSink : public PictureSink {
 public:
  // An empty list of pictures `sizePx` square; with a placeholder, its first
  // picture is one that stands for an icon still being drawn.
  void Reset(int sizePx, bool withPlaceholder = false);
  HIMAGELIST get() const { return list_.get(); }
  int sizePx() const { return sizePx_; }
  // The placeholder's position; -1 when the list has none.
  int placeholder() const { return withPlaceholder_ && list_ ? 0 : -1; }
  int AddPicture(IconHandle icon) override;
  // Adds every icon, in order, much faster than one by one; each icon's
  // position in the list, -1 for one that is no icon (see IsIcon).
  std::vector<int> AddPictures(const std::vector<IconHandle>& icons) override;
  void RemoveAllPictures() override;

 private:
  void AddPlaceholder();

  win32::UniqueImageList list_;
  int sizePx_ = 0;
  bool withPlaceholder_ = false;
};

}  // namespace tarrow::app
