// The preview beside the grid: the framed icon at the sizes Explorer draws
// it at (16, 32, 48 and 256 pixels, scaled with the window's DPI), each
// marked as held by the file or scaled by Windows from another size, and
// the sizes the file holds. Its pictures and the file's image sizes come
// from its own icon loader's worker; the window's thread only copies pixels.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/image_list.h"
#include "app/window.h"
#include "catalog/icon_loader.h"
#include "picker/preview_sizes.h"
#include "platform/os.h"

namespace tarrow::app {

inline constexpr wchar_t kIconPreviewClass[] = L"TarrowIconPreview";

// Draws the icons as pixels and reads each file's image sizes, both on the
// loader's worker: a request that counts reads the sizes too.
class PreviewIconSource : public DrawingIconSource {
 public:
  // A picture is read through the files, as the shell reads the rest.
  PreviewIconSource(Shell& shell, FileSystem& files)
      : DrawingIconSource(shell, &files), shell_(shell), files_(files) {}
  int Count(const std::wstring& file) override;
  // The images of the file's icons, as read for the last request that
  // counted them; taken once.
  std::optional<IconDirectory> TakeDirectory(const std::wstring& file);

 private:
  Shell& shell_;
  FileSystem& files_;
  std::mutex mutex_;
  std::map<std::wstring, IconDirectory> directories_;
};

class IconPreview : public Window<IconPreview> {
 public:
  explicit IconPreview(Os& os);
  IconPreview(const IconPreview&) = delete;
  IconPreview& operator=(const IconPreview&) = delete;

  bool Create(HWND parent, int id);
  void SetDpi(UINT dpi);
  void SetFont(HFONT font);
  // Moves the preview (pixels in its parent); hidden while it has no room,
  // when it asks for no pictures.
  void Place(int left, int top, int width, int height);
  // Shows icon `index` (from 0) of `file` (as stored: resolved here); a
  // negative index, or no file, shows nothing. Returns at once.
  void Show(const std::wstring& file, int index);

  // Whether it has an icon to show, and so wants room.
  bool wanted() const { return !file_.empty() && index_ >= 0; }

  // What tests read.
  bool loading() const { return !loader_.idle() || waiting_ > 0; }
  const std::wstring& file() const { return file_; }
  int index() const { return index_; }
  const std::array<PreviewSize, kExplorerIconSizes.size()>& sizes() const { return sizes_; }
  // Whether the picture of size k (of kExplorerIconSizes) is there to draw.
  bool HasPicture(std::size_t k) const { return pictures_[k] >= 0; }
  std::wstring heldText() const { return heldText_; }
  // The captions as drawn, one per size.
  std::wstring Caption(std::size_t k) const;

 private:
  friend class Window<IconPreview>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Request();
  void ShowImageSizes();
  void OnIconsDone();
  void Paint(HDC dc);
  int Px(int dip) const { return ::MulDiv(dip, static_cast<int>(dpi_), 96); }

  PreviewIconSource iconSource_;
  std::atomic<HWND> wakeWindow_{nullptr};  // read on the loader's thread
  IconLoader loader_;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  std::wstring file_;
  int index_ = -1;
  int waiting_ = 0;         // pictures asked for and not come
  bool room_ = false;       // placed where it shows
  bool requested_ = false;  // the framed icon's pictures were asked for
  std::array<ImageListSink, kExplorerIconSizes.size()> images_;
  std::array<int, kExplorerIconSizes.size()> pictures_{-1, -1, -1, -1};
  std::array<PreviewSize, kExplorerIconSizes.size()> sizes_{};
  bool sizesKnown_ = false;
  std::optional<IconDirectory> directory_;  // of file_, once read
  std::wstring heldText_;
};

}  // namespace tarrow::app
