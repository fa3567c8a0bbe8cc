// The image directories of icons: an .ico file's header, and the icon group
// resource a program holds for each of its icons. Read as bytes only: nothing
// here hands a file to the system.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace tarrow {

// Whether the bytes begin as an .ico file does (reserved 0, type 1).
bool LooksLikeIconFile(std::string_view bytes);

// The width and height an image's own header gives: a PNG's IHDR, or a
// BITMAPINFOHEADER, whose height counts the colour rows and the mask rows;
// nullopt when the bytes begin as neither.
std::optional<std::pair<int, int>> ImagePixelSize(std::string_view image);

// The bytes of a program's icon image by its resource id; nullopt when it
// has none of that id.
using IconImageById = std::function<std::optional<std::string_view>(int id)>;

// An icon group resource: the images of one icon, as listed; nullopt when the
// group is damaged or lists no image. An entry's byte holds at most 255, so
// where it says 0 the size is the image's own, read through `imageOf` when
// given (256 when the image does not say).
std::optional<std::vector<IconImageSize>> ParseIconGroup(std::string_view bytes,
                                                         const IconImageById& imageOf = {});

// An .ico file, which is one icon: its images, as listed, with the image's
// own size where an entry says 0; nullopt when it is not an icon file, lists
// no image, or places an image past its end.
std::optional<std::vector<IconImageSize>> ParseIconFile(std::string_view bytes);

// Largest first: by area, then by colour depth; equal images keep their order.
void SortLargestFirst(std::vector<IconImageSize>& images);

}  // namespace tarrow
