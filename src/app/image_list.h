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
  void Reset(int sizePx);
  HIMAGELIST get() const { return list_.get(); }
  int sizePx() const { return sizePx_; }
  int AddPicture(IconHandle icon) override;
  // Adds every icon, in order, much faster than one by one; each icon's
  // position in the list, -1 for one that is no icon (see IsIcon).
  std::vector<int> AddPictures(const std::vector<IconHandle>& icons);
  void RemoveAllPictures() override;

 private:
  win32::UniqueImageList list_;
  int sizePx_ = 0;
};

}  // namespace tarrow::app
