// The icon grid: every icon of one file as cells on a sheet that scrolls
// inside the control, with a scroll bar beside it. It owns its image list,
// layout, scrolling, painting, hit-testing and keys, and tells its listener
// when a cell is framed (clicked, or reached with the keyboard) and when one
// is chosen (double-clicked, Space or Enter).
//
// Not a list view in icon mode: that one keeps room for a label under every
// icon and spaces icons no closer than its own minimum, so it cannot show the
// design's touching 585 x 615 twip cells with the picked one framed by a
// single line, nor step its scroll bar by whole rows. A screen reader gets the
// framed icon from the window's text ("Icon 5 of 184").
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/icon_feed.h"
#include "app/image_list.h"
#include "app/window.h"
#include "catalog/icon_loader.h"
#include "picker/grid.h"
#include "platform/os.h"

namespace tarrow::app {

inline constexpr wchar_t kIconGridClass[] = L"TarrowIconGrid";
// Cells drawn together: one pass over the file for each run of them.
inline constexpr int kChunkIcons = 64;

class IconGridListener {
 public:
  virtual ~IconGridListener() = default;
  // `cell` (from 1) has the frame now; 0 when no cell has.
  virtual void OnIconFramed(std::int64_t cell) = 0;
  virtual void OnIconChosen(std::int64_t cell) = 0;
  // The file's icons are counted: the cells are laid out (none when 0).
  virtual void OnIconsCounted(std::int64_t count) = 0;
};

class IconGrid : public Window<IconGrid> {
 public:
  IconGrid(Shell& shell, IconGridListener& listener);
  IconGrid(const IconGrid&) = delete;
  IconGrid& operator=(const IconGrid&) = delete;

  // `scrollBar` is the grid's scroll bar, a sibling the parent places.
  bool Create(HWND parent, int id, HWND scrollBar);
  void SetDpi(UINT dpi);
  // Moves the control (pixels in its parent) and lays the cells out again to
  // fill it.
  void Place(int left, int top, int width, int height);

  // Shows the icons of `file` (as stored; resolved here). The frame goes:
  // cell k of another file is another icon. Returns at once: the icons are
  // counted and drawn in the background, the cells in view first, and the
  // loading of the file before is dropped.
  void Load(const std::wstring& file);
  // Whether the file's icons are still being counted or drawn.
  bool loading() const { return counting_ || drawn_ < iconCount_; }
  // Drops the loading in hand without waiting for it.
  void CancelLoading();
  // What the grid says while it has no cells.
  void SetEmptyText(const std::wstring& text);
  // Empties the grid, saying nothing.
  void Clear();
  // Draws the icons again at the size the current DPI wants.
  void Reload();

  // Puts the frame on `cell` (0: no cell) and scrolls it into view; while
  // the icons are being counted, once they are.
  void Frame(std::int64_t cell);
  // The scroll bar's message, forwarded by the parent.
  void OnScrollBar(WPARAM wp);

  std::int64_t framed() const { return framed_; }
  std::int64_t count() const { return static_cast<std::int64_t>(layout_.cells.size()); }
  const GridLayout& layout() const { return layout_; }
  const GridMetrics& metrics() const { return metrics_; }
  const std::vector<int>& pictures() const { return pictures_; }
  HIMAGELIST imageList() const { return images_.get(); }
  const std::wstring& emptyText() const { return emptyText_; }
  std::int64_t scrollValue() const { return scrollValue_; }  // twips the sheet is moved up
  void SetScrollValue(std::int64_t value);
  // The cell under a point of the client area; 0 for none.
  std::int64_t CellAt(POINT pt) const;
  RECT CellRect(std::int64_t cell) const;

 private:
  friend class Window<IconGrid>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void LayOut();
  void ApplyScrollSettings();
  void Paint(HDC dc, const RECT& clip);
  void OnKey(WPARAM key);
  void ScrollIntoView(std::int64_t cell);
  void Announce();
  void InvalidateCell(std::int64_t cell);
  int IconPx() const;
  void OnIconsDone();
  void OnCounted(int total);
  void OnIconsWanted();
  void WantCellsInView();

  IconGridListener& listener_;
  DrawingIconSource iconSource_;
  IconFeed feed_;
  std::map<int, IconJobId> runs_;  // the request drawing each run of cells, by its first (from 0)
  std::int64_t drawn_ = 0;         // cells whose icon came, drawn or not
  bool counting_ = false;
  int firstRun_ = 0;  // cells asked for with the count
  bool wantedPosted_ = false;
  std::vector<IconJobId> wanted_;  // chunks in view not drawn yet
  std::int64_t frameWhenCounted_ = 0;
  std::int64_t scrollWhenCounted_ = 0;
  HWND scrollBar_ = nullptr;
  UINT dpi_ = 96;
  std::wstring file_;
  std::wstring emptyText_;
  ImageListSink images_;
  std::vector<int> pictures_;  // one per cell; -1: none
  GridMetrics metrics_;
  GridLayout layout_;
  std::int64_t iconCount_ = 0;
  std::int64_t framed_ = 0;
  std::int64_t scrollValue_ = 0;
  std::int64_t smallChange_ = 1, largeChange_ = 1;
  bool skipNextUp_ = false;  // the release that ends a double-click
  int wheelDelta_ = 0;       // wheel movement short of a whole notch
};

}  // namespace tarrow::app
