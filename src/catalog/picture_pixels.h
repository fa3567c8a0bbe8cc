// Pictures as pixels, made fit for an icon: centred on a transparent square
// and scaled by averaging the pixels each icon pixel covers. The system
// decodes a picture; the scaling is here, so it gives the same pixels
// everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace tarrow {

// Larger pictures are refused before they are read or decoded: a picture
// for an icon never needs more, and one that large is more likely a mistake.
inline constexpr std::uint64_t kMaxPictureBytes = 50ull * 1024 * 1024;
inline constexpr int kMaxPictureSide = 10000;

// Whether the file is a picture Tarrow makes icons of, by its extension:
// .png, .jpg, .jpeg, .bmp or .gif, in any case.
bool IsPictureFile(std::wstring_view file);

// Where a picture sits on the square it is centred on: the square's side and
// the picture's offset in it. The odd pixel of padding goes right or below.
struct SquareLayout {
  int side = 0;
  int left = 0;
  int top = 0;
  bool operator==(const SquareLayout&) const = default;
};
SquareLayout CentreOnSquare(int width, int height);

// Alpha multiplied into the colours, and taken out again (rounded). Scaling
// averages premultiplied pixels, so a transparent pixel's colour, which no
// one sees, never tints its visible neighbours.
RgbaImage Premultiplied(RgbaImage image);
RgbaImage Unpremultiplied(RgbaImage image);

// The premultiplied picture centred on a transparent square and scaled to
// side x side: each output pixel is the average of the square's area it
// covers, each picture pixel weighted by the part of it inside that area.
RgbaImage ScaleOntoSquare(const RgbaImage& premultiplied, int side);

// The picture file's bytes; nullopt when it cannot be read or is larger
// than kMaxPictureBytes, which is never read.
std::optional<std::string> ReadPictureFile(FileSystem& files, const std::wstring& path);

// The picture's bytes drawn as an icon `sizePx` square, as the grid and the
// preview show a picture; 0 when they cannot be decoded. The caller
// destroys it.
IconHandle PictureIconOfSize(Shell& shell, std::string_view bytes, int sizePx);

}  // namespace tarrow
