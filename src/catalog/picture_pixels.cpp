#include "catalog/picture_pixels.h"

#include <algorithm>
#include <array>

namespace tarrow {
namespace {

// For each output pixel along one axis, the picture pixels it covers and by
// how much, in units of 1/side of a picture pixel: output pixel i covers
// [i * square, (i + 1) * square) of the square, picture pixel j covers
// [(offset + j) * side, (offset + j + 1) * side).
struct Cover {
  int first = 0;                     // the first picture pixel covered
  std::vector<std::uint32_t> parts;  // how much of it and of those after it
};

std::vector<Cover> Covers(int square, int offset, int length, int side) {
  std::vector<Cover> covers(static_cast<std::size_t>(side));
  const std::int64_t begin = std::int64_t{offset} * side, end = std::int64_t{offset + length} * side;
  for (int i = 0; i < side; ++i) {
    const std::int64_t from = std::max(std::int64_t{i} * square, begin);
    const std::int64_t to = std::min(std::int64_t{i + 1} * square, end);
    Cover& cover = covers[static_cast<std::size_t>(i)];
    if (from >= to) continue;  // all padding
    cover.first = static_cast<int>(from / side - offset);
    for (std::int64_t at = from; at < to;) {
      const std::int64_t next = std::min((at / side + 1) * side, to);
      cover.parts.push_back(static_cast<std::uint32_t>(next - at));
      at = next;
    }
  }
  return covers;
}

}  // namespace

bool IsPictureFile(std::wstring_view file) {
  static constexpr std::array<std::wstring_view, 5> kExtensions = {L".png", L".jpg", L".jpeg", L".bmp",
                                                                   L".gif"};
  std::wstring lower(file);
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return std::any_of(kExtensions.begin(), kExtensions.end(), [&](std::wstring_view extension) {
    return lower.size() > extension.size() && lower.ends_with(extension) &&
           lower[lower.size() - extension.size() - 1] != L'\\';
  });
}

SquareLayout CentreOnSquare(int width, int height) {
  const int side = std::max(width, height);
  return {side, (side - width) / 2, (side - height) / 2};
}

RgbaImage Premultiplied(RgbaImage image) {
  for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
    const unsigned alpha = image.pixels[i + 3];
    for (std::size_t c = 0; c < 3; ++c)
      image.pixels[i + c] = static_cast<std::uint8_t>((image.pixels[i + c] * alpha + 127) / 255);
  }
  return image;
}

RgbaImage Unpremultiplied(RgbaImage image) {
  for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
    const unsigned alpha = image.pixels[i + 3];
    for (std::size_t c = 0; c < 3; ++c) {
      const unsigned colour = image.pixels[i + c];
      image.pixels[i + c] =
          alpha == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (colour * 255 + alpha / 2) / alpha));
    }
  }
  return image;
}

RgbaImage ScaleOntoSquare(const RgbaImage& premultiplied, int side) {
  const SquareLayout layout = CentreOnSquare(premultiplied.width, premultiplied.height);
  RgbaImage out{side, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side) * side * 4)};
  if (layout.side <= 0 || side <= 0) return out;
  const std::vector<Cover> across = Covers(layout.side, layout.left, premultiplied.width, side);
  const std::vector<Cover> down = Covers(layout.side, layout.top, premultiplied.height, side);
  const auto sideCount = static_cast<std::size_t>(side);
  // Each picture row once, across, then into the output rows it covers:
  // memory for the output only, whatever the picture's size.
  std::vector<std::uint64_t> sums(sideCount * sideCount * 4, 0);
  std::vector<std::uint64_t> row(sideCount * 4);
  // Which output rows each picture row reaches, and by how much.
  std::vector<std::vector<std::pair<std::size_t, std::uint32_t>>> reaches(
      static_cast<std::size_t>(std::max(premultiplied.height, 0)));
  for (std::size_t i = 0; i < sideCount; ++i) {
    for (std::size_t k = 0; k < down[i].parts.size(); ++k)
      reaches[static_cast<std::size_t>(down[i].first) + k].emplace_back(i, down[i].parts[k]);
  }
  const auto width = static_cast<std::size_t>(premultiplied.width);
  for (std::size_t y = 0; y < reaches.size(); ++y) {
    if (reaches[y].empty()) continue;
    const std::uint8_t* source = premultiplied.pixels.data() + y * width * 4;
    std::fill(row.begin(), row.end(), 0);
    for (std::size_t x = 0; x < sideCount; ++x) {
      const Cover& cover = across[x];
      for (std::size_t k = 0; k < cover.parts.size(); ++k) {
        const std::uint8_t* pixel = source + (static_cast<std::size_t>(cover.first) + k) * 4;
        for (std::size_t c = 0; c < 4; ++c) row[x * 4 + c] += std::uint64_t{pixel[c]} * cover.parts[k];
      }
    }
    for (const auto& [i, part] : reaches[y]) {
      std::uint64_t* target = sums.data() + i * sideCount * 4;
      for (std::size_t k = 0; k < sideCount * 4; ++k) target[k] += row[k] * part;
    }
  }
  // Every output pixel covers square x square of these units.
  const std::uint64_t area = std::uint64_t(layout.side) * std::uint64_t(layout.side);
  for (std::size_t k = 0; k < sums.size(); ++k)
    out.pixels[k] = static_cast<std::uint8_t>((sums[k] + area / 2) / area);
  return out;
}

std::optional<std::string> ReadPictureFile(FileSystem& files, const std::wstring& path) {
  const std::optional<std::uint64_t> size = files.FileSize(path);
  if (!size || *size > kMaxPictureBytes) return std::nullopt;
  return files.ReadAll(path);
}

IconHandle PictureIconOfSize(Shell& shell, std::string_view bytes, int sizePx) {
  const DecodedPicture decoded = shell.DecodePicture(bytes, kMaxPictureSide);
  if (!decoded.image || decoded.image->width <= 0 || decoded.image->height <= 0 || sizePx <= 0 ||
      decoded.image->pixels.size() != std::size_t(decoded.image->width) * decoded.image->height * 4)
    return 0;
  return shell.IconFromImage(Unpremultiplied(ScaleOntoSquare(Premultiplied(*decoded.image), sizePx)));
}

}  // namespace tarrow
