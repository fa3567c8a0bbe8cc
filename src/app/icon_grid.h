// The icon grid: every icon of one file as cells on a sheet that scrolls
// inside the control, by its own scroll bar. It owns its pictures, layout,
// scrolling, painting, hit-testing, keys and font (WM_SETFONT, for the text
// it shows in place of icons), and tells its listener when a cell is framed
// (clicked, or reached with the keyboard) and when one is chosen
// (double-clicked, Space or Enter).
//
// It keeps the pictures of the cells in view and of a few screens around
// them only, and draws cells again when they are scrolled back to, so that a
// file of 10,000 icons costs no more memory than one of a few hundred.
//
// Not a list view in icon mode: that one keeps room for a label under every
// icon and spaces icons no closer than its own minimum, so it cannot show the
// design's touching 585 x 615 twip cells with the picked one framed by a
// single line, nor step its scroll bar by whole rows. A screen reader gets the
// framed icon from the window's text ("Icon 5 of 184"), and from an empty
// grid the reason it shows on screen.
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
inline constexpr int kRunCells = 16;

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
  IconGrid(Os& os, IconGridListener& listener);
  IconGrid(const IconGrid&) = delete;
  IconGrid& operator=(const IconGrid&) = delete;

  bool Create(HWND parent, int id);
  void SetDpi(UINT dpi);
  // Moves the control, its scroll bar inside it (pixels in its parent), and
  // lays the cells out again to fill it.
  void Place(int left, int top, int width, int height);

  // Shows the icons of `file` (as stored; resolved here). The frame goes:
  // cell k of another file is another icon. Returns at once: the icons are
  // counted and drawn in the background, the cells in view first, and the
  // loading of the file before is dropped.
  void Load(const std::wstring& file);
  // Whether the icons are still being counted, or those in view and around
  // it drawn.
  bool loading() const;
  // What the grid says while it has no cells, on screen and as its name.
  void SetEmptyText(const std::wstring& text);

  // Puts the frame on `cell` (0: no cell) and scrolls it into view; while
  // the icons are being counted, once they are.
  void Frame(std::int64_t cell);

  std::int64_t framed() const { return framed_; }
  std::int64_t count() const { return static_cast<std::int64_t>(layout_.cells.size()); }
  const GridLayout& layout() const { return layout_; }
  const GridMetrics& metrics() const { return metrics_; }
  // Whether cell k (from 1) has its picture now.
  bool HasPicture(std::int64_t cell) const;
  // The pictures held, in all: a few screens' worth at most.
  int picturesHeld() const;
  const std::wstring& emptyText() const { return emptyText_; }
  std::int64_t scrollValue() const { return scrollValue_; }  // twips the sheet is moved up
  void SetScrollValue(std::int64_t value);
  // The cell under a point of the client area; 0 for none.
  std::int64_t CellAt(POINT pt) const;
  RECT CellRect(std::int64_t cell) const;

 private:
  friend class Window<IconGrid>;
  // The pictures of one run of cells, drawn together and let go together.
  struct Run {
    IconJobId job = 0;
    bool drawn = false;
    ImageListSink images;
    std::vector<int> pictures;  // each cell's place in `images`; -1: none
  };

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void LayOut();
  void ApplyScrollSettings();
  void Paint(HDC dc, const RECT& clip);
  void PaintEmptyText(HDC dc);
  void OnKey(WPARAM key);
  void OnScroll(WPARAM wp);
  void ScrollIntoView(std::int64_t cell);
  void Announce();
  void InvalidateCell(std::int64_t cell);
  int IconPx() const;
  void OnIconsDone();
  void OnCounted(int total);
  void OnRunDone(IconResult& result);
  // Asks for the runs around the view, those in view first, and lets go of
  // those far from it.
  void RequestRunsAroundView();
  void CancelLoading();
  // Draws the icons again at the size the current DPI wants.
  void Reload();

  IconGridListener& listener_;
  DrawingIconSource iconSource_;
  IconFeed feed_;
  std::map<std::int64_t, Run> runs_;  // asked for, by run (cell / kRunCells, from 0)
  bool counting_ = false;
  std::int64_t frameWhenCounted_ = 0;
  std::int64_t scrollWhenCounted_ = 0;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;  // WM_SETFONT's; the parent owns it
  std::wstring file_;
  std::wstring emptyText_;
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
