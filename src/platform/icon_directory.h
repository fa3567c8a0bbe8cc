// The image directories of icons: an .ico file's header, and the icon group
// resource a program holds for each of its icons. Read as bytes only: nothing
// here hands a file to the system.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace tarrow {

// Whether the bytes begin as an .ico file does (reserved 0, type 1).
bool LooksLikeIconFile(std::string_view bytes);

// An icon group resource: the images of one icon, as listed; nullopt when the
// group is damaged or lists no image.
std::optional<std::vector<IconImageSize>> ParseIconGroup(std::string_view bytes);

// An .ico file, which is one icon: its images, as listed; nullopt when it is
// not an icon file, lists no image, or places an image past its end.
std::optional<std::vector<IconImageSize>> ParseIconFile(std::string_view bytes);

// Largest first: by area, then by colour depth; equal images keep their order.
void SortLargestFirst(std::vector<IconImageSize>& images);

}  // namespace tarrow
