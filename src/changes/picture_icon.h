// Any picture made an icon: a PNG, JPEG, BMP or GIF becomes an .ico file
// of the sizes Explorer shows, the picture centred on a transparent square
// and scaled by averaging the pixels each icon pixel covers. The system
// decodes the picture and encodes the largest image as PNG; the rest is here,
// so it gives the same pixels everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/picture_pixels.h"
#include "platform/os.h"

namespace tarrow {

// The sizes of the icon's images, in pixels. The largest is PNG-compressed,
// as Windows reads it from Vista on; the others are 32-bit DIBs with an AND
// mask, which every reader of icons understands.
inline constexpr std::array<int, 5> kPictureIconSizes = {16, 24, 32, 48, 256};
inline constexpr int kPngIconSide = 256;

// One image of an icon file: its size and its bytes (a DIB or a PNG file).
struct IconFileImage {
  int width = 0;
  int height = 0;
  std::string bytes;
};

// The image (alpha not premultiplied) as an icon's 32-bit DIB: the header,
// the colours bottom-up, then the AND mask, set where a pixel is wholly
// transparent.
std::string IconDib(const RgbaImage& image);

// An .ico file: its directory, then the images in order, each of 32 bits a
// pixel.
std::string IconFileBytes(const std::vector<IconFileImage>& images);

// SHA-256 of the bytes, as 64 lower-case hex digits.
std::wstring Sha256Hex(std::string_view bytes);

// A picture's icon, or why there is none (in words for the user).
struct PictureIcon {
  std::string bytes;      // the .ico file
  std::wstring fileName;  // "<digest>.ico": one picture, whatever its name, is one file
  std::wstring problem;
  bool ok() const { return problem.empty(); }
};

// The icon of a picture's bytes; `name` says which picture in a refusal.
PictureIcon MakePictureIcon(Shell& shell, std::string_view picture, const std::wstring& name);

// The icon of a picture file, whose size is checked before it is read.
PictureIcon MakePictureIconFromFile(Os& os, const std::wstring& path);

}  // namespace tarrow
