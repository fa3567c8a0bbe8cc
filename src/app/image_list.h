// A platform image list standing behind an ImageStore or the icon grid.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <vector>

#include "catalog/icon_loader.h"
#include "catalog/type_list.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

// The icon's bitmaps as pixels; nullopt for an icon without a colour bitmap
// of `sizePx`, which only an image list can take as it is.
std::optional<IconPixels> ReadIconPixels(HICON icon, int sizePx);

// The shell's icons, drawn as pixels on the loader's thread: the window's
// thread then only copies them into its image list.
class DrawingIconSource : public ShellIconSource {
 public:
  using ShellIconSource::ShellIconSource;
  void Draw(IconResult& result) override;
};

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
  // The same for icons drawn already: each entry's pixels where it has
  // them, else its icon.
  std::vector<int> AddPictures(const std::vector<IconHandle>& icons,
                               const std::vector<const IconPixels*>& pixels);
  void RemoveAllPictures() override;

 private:
  void AddPlaceholder();

  win32::UniqueImageList list_;
  int sizePx_ = 0;
  bool withPlaceholder_ = false;
};

}  // namespace tarrow::app
