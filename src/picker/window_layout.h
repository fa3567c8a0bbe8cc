// The main window's layout: one table of every control's design place in
// twips (15 to a pixel at 96 DPI), and how each follows a larger client area.
// The design size is the default and the minimum; what the window gains
// goes to the list and the icon grid, half each.
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

enum class Part : std::size_t {
  Panel,       // carries every control but the credit and status lines
  TypesLabel,  // "Registered File Types:"
  TypeCount,   // how many types are shown
  SearchLabel,
  Search,
  TypeList,
  IconFileLabel,  // "Icon File:"
  IconFile,
  Browse,
  IconGrid,
  GridScroll,
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

// The client area at the design size, in twips.
inline constexpr int kDesignClientWidth = 4725, kDesignClientHeight = 6090;

// A part's design box, in twips.
Box DesignBox(Part part);

// The client area's default (and smallest) size in pixels at `dpi`.
int DefaultClientWidth(int dpi);
int DefaultClientHeight(int dpi);

// Every part's box in pixels for a client area of `width` x `height` pixels
// at `dpi`. A client area smaller than the default lays out as the default.
// Once the area is wider than the default by the preview's width, the
// preview takes that much on the right, at the full height, and the other
// parts grow by the rest; until then its box is empty.
WindowLayout LayOutWindow(int width, int height, int dpi);

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
