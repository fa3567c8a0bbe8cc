// The main window's layout: one table of every control's design place in
// twips (15 to a pixel at 96 DPI), and how each follows a larger client area.
// The design size is the default and the minimum; of the height the window
// gains, the icon grid takes what eight rows need first, and the list and
// the grid share the rest.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow {

struct Box {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// Every control of the main window, in tab order where it has one: each
// label just before the control its access key reaches.
enum class Part : std::size_t {
  SearchLabel,
  Search,
  TypesLabel,  // "Registered File Types:"
  TypeList,
  TypeCount,             // how many types are shown
  ShowTypesWithoutIcon,  // the check box that lists types without an icon of their own too
  IconFileLabel,         // "Icon File:"
  IconFile,
  Browse,
  GridScroll,  // created before the grid, which is given it
  IconGrid,
  Restore,
  Refresh,
  Apply,
  Exit,
  Credit,
  Status,
  Preview,  // the framed icon at Explorer's sizes, right of everything; only in a window wide enough
  Count,
};
inline constexpr std::size_t kPartCount = static_cast<std::size_t>(Part::Count);

using WindowLayout = std::array<Box, kPartCount>;

// A control's identifier is its part's place in the list; none is IDOK or
// IDCANCEL, so Enter and Escape press no button.
inline constexpr int kFirstControlId = 101;
constexpr int ControlIdOf(Part part) {
  return kFirstControlId + static_cast<int>(part);
}

// The client area at the design size, in twips.
inline constexpr int kDesignClientWidth = 4725, kDesignClientHeight = 6090;

// A part's design box, in twips.
Box DesignBox(Part part);

// The client area's default (and smallest) size in pixels at `dpi`.
int DefaultClientWidth(int dpi);
int DefaultClientHeight(int dpi);

// The client area a first run opens with, in pixels at `dpi`: room for
// eight rows of icons in the grid and readable columns in the list, with the
// preview beside them where it fits, but no more than `mostWidth` x
// `mostHeight`, and never less than the default.
struct ClientSize {
  int width = 0, height = 0;
  bool operator==(const ClientSize&) const = default;
};
ClientSize FirstRunClientSize(int mostWidth, int mostHeight, int dpi);

// The widths of the list's columns (description, extension, icon location)
// in a list `width` pixels wide inside, at `dpi`: the extension keeps its
// width, the icon location takes its share of the rest and the description
// what is left, so that each grows with the window.
std::array<int, 3> ListColumnWidths(int width, int dpi);

// Every part's box in pixels for a client area of `width` x `height` pixels
// at `dpi`. A client area smaller than the default lays out as the default.
// The preview takes room only when it is `previewWanted` (an icon is framed)
// and the area is wide enough for it beside a list whose columns are all
// readable: it takes its width on the right, at the full height, and the
// other parts grow by the rest; otherwise its box is empty.
WindowLayout LayOutWindow(int width, int height, int dpi, bool previewWanted);

// Where the user left the window, remembered between runs: its normal place
// in pixels at `dpi`, and whether it was maximised.
struct Placement {
  int left = 0, top = 0, width = 0, height = 0;
  bool maximized = false;
  int dpi = 96;
  bool operator==(const Placement&) const = default;
};

// "left,top,width,height,maximized,dpi"
std::wstring FormatPlacement(const Placement& placement);
// nullopt for anything but six integers with a positive size and DPI.
std::optional<Placement> ParsePlacement(std::wstring_view text);

}  // namespace tarrow
