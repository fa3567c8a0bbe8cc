#include "platform/icon_directory.h"

#include <algorithm>
#include <cstdint>

namespace tarrow {
namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kGroupEntryBytes = 14;  // the image's resource id closes it
constexpr std::size_t kFileEntryBytes = 16;   // the image's file offset closes it

std::uint32_t Little(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t Big(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The count of entries the header announces; nullopt when it is no icon
// header or the entries do not fit in the bytes.
std::optional<std::size_t> EntryCount(std::string_view bytes, std::size_t entryBytes) {
  if (!LooksLikeIconFile(bytes)) return std::nullopt;
  const std::size_t count = Little(bytes, 4, 2);
  if (count == 0 || bytes.size() < kHeaderBytes + count * entryBytes) return std::nullopt;
  return count;
}

// The entry's image, with its own size where the entry's bytes say 0 (256
// or more); `image` is empty when its bytes are not at hand.
IconImageSize ImageSize(std::string_view entry, std::string_view image) {
  int width = static_cast<unsigned char>(entry[0]);
  int height = static_cast<unsigned char>(entry[1]);
  if (width == 0 || height == 0) {
    const auto own = ImagePixelSize(image);
    if (width == 0) width = own ? own->first : 256;
    if (height == 0) height = own ? own->second : 256;
  }
  const int colours = static_cast<unsigned char>(entry[2]);
  int bits = static_cast<int>(Little(entry, 6, 2));
  if (bits == 0) {
    // Older files give the palette size instead; 0 colours means 256 or
    // more, of which 8 bits is the least.
    bits = 1;
    while (colours != 0 && (1 << bits) < colours) ++bits;
    if (colours == 0) bits = 8;
  }
  return {width, height, bits};
}

}  // namespace

std::optional<std::pair<int, int>> ImagePixelSize(std::string_view image) {
  // Beyond this an image is no icon anyone draws; it keeps areas within a long.
  constexpr std::int64_t kMostPixels = 1 << 16;
  auto size = [](std::int64_t width, std::int64_t height) -> std::optional<std::pair<int, int>> {
    if (width <= 0 || height <= 0 || width > kMostPixels || height > kMostPixels) return std::nullopt;
    return std::pair{static_cast<int>(width), static_cast<int>(height)};
  };
  constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
  if (image.substr(0, 8) == kPngSignature) {
    // The first chunk is the header: length, "IHDR", width, height.
    if (image.size() < 24 || image.substr(12, 4) != "IHDR") return std::nullopt;
    return size(Big(image, 16), Big(image, 20));
  }
  constexpr std::uint32_t kInfoHeaderBytes = 40;
  if (image.size() < kInfoHeaderBytes || Little(image, 0, 4) != kInfoHeaderBytes) return std::nullopt;
  const auto width = static_cast<std::int32_t>(Little(image, 4, 4));
  const auto height = static_cast<std::int32_t>(Little(image, 8, 4));
  // The colour rows, then as many rows of the mask.
  return size(width, std::int64_t{height} / 2);
}

bool LooksLikeIconFile(std::string_view bytes) {
  return bytes.size() >= kHeaderBytes && Little(bytes, 0, 2) == 0 && Little(bytes, 2, 2) == 1;
}

std::optional<std::vector<IconImageSize>> ParseIconGroup(std::string_view bytes,
                                                         const IconImageById& imageOf) {
  const auto count = EntryCount(bytes, kGroupEntryBytes);
  if (!count) return std::nullopt;
  std::vector<IconImageSize> images;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::string_view entry = bytes.substr(kHeaderBytes + i * kGroupEntryBytes, kGroupEntryBytes);
    std::string_view image;
    if ((entry[0] == 0 || entry[1] == 0) && imageOf) {
      if (const auto found = imageOf(static_cast<int>(Little(entry, 12, 2)))) image = *found;
    }
    images.push_back(ImageSize(entry, image));
  }
  return images;
}

std::optional<std::vector<IconImageSize>> ParseIconFile(std::string_view bytes) {
  const auto count = EntryCount(bytes, kFileEntryBytes);
  if (!count) return std::nullopt;
  std::vector<IconImageSize> images;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::string_view entry = bytes.substr(kHeaderBytes + i * kFileEntryBytes, kFileEntryBytes);
    const std::uint64_t size = Little(entry, 8, 4);
    const std::uint64_t offset = Little(entry, 12, 4);
    // The system's reader trusts these: an image past the end is a damaged
    // file, never to be handed on.
    if (offset + size > bytes.size()) return std::nullopt;
    images.push_back(ImageSize(entry, bytes.substr(offset, size)));
  }
  return images;
}

void SortLargestFirst(std::vector<IconImageSize>& images) {
  std::stable_sort(images.begin(), images.end(), [](const IconImageSize& a, const IconImageSize& b) {
    const long areaA = long{a.width} * a.height, areaB = long{b.width} * b.height;
    return areaA != areaB ? areaA > areaB : a.bits > b.bits;
  });
}

}  // namespace tarrow
