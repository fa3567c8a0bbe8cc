// Icon directories come from any file a user names and from any program's
// resources, so reading one has to cope with every byte string: never read
// past the bytes, accept exactly the well-formed ones, and give each image's
// size as its entry says, or as its image says where the entry says 0.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "platform/icon_directory.h"

namespace tarrow {
namespace {

using fuzz::Require;

unsigned Byte(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]);
}

// An image's own width and height, worked out byte by byte.
std::optional<std::pair<long long, long long>> OwnSize(std::string_view image) {
  auto number = [&](std::size_t at, bool bigEndian) {
    long long value = 0;
    for (int k = 0; k < 4; ++k) value = value * 256 + Byte(image, at + (bigEndian ? k : 3 - k));
    return value;
  };
  long long width = 0, height = 0;
  if (image.size() >= 8 && image.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) {
    if (image.size() < 24 || image.substr(12, 4) != "IHDR") return std::nullopt;
    width = number(16, true);
    height = number(20, true);
  } else {
    if (image.size() < 40 || number(0, false) != 40) return std::nullopt;
    width = number(4, false);
    height = number(8, false);
    if (width >= 0x80000000LL) width -= 0x100000000LL;
    if (height >= 0x80000000LL) height -= 0x100000000LL;
    height /= 2;
  }
  if (width < 1 || height < 1 || width > 65536 || height > 65536) return std::nullopt;
  return std::pair{width, height};
}

// Where the group fuzzed names an image by id: the input from that byte on.
std::optional<std::string_view> ImageAt(std::string_view bytes, int id) {
  if (static_cast<std::size_t>(id) >= bytes.size()) return std::nullopt;
  return bytes.substr(static_cast<std::size_t>(id));
}

// Worked out another way: the header's three words, then each entry field
// by field.
std::optional<std::vector<IconImageSize>> Expected(std::string_view bytes, std::size_t entryBytes,
                                                   bool file) {
  if (bytes.size() < 6 || Byte(bytes, 0) != 0 || Byte(bytes, 1) != 0 || Byte(bytes, 2) != 1 ||
      Byte(bytes, 3) != 0)
    return std::nullopt;
  const std::size_t count = Byte(bytes, 4) + 256 * Byte(bytes, 5);
  if (count == 0 || bytes.size() < 6 + count * entryBytes) return std::nullopt;
  std::vector<IconImageSize> images;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + i * entryBytes;
    std::optional<std::string_view> image;
    if (file) {
      std::uint64_t size = 0, offset = 0;
      for (int k = 3; k >= 0; --k) {
        size = size * 256 + Byte(bytes, at + 8 + k);
        offset = offset * 256 + Byte(bytes, at + 12 + k);
      }
      if (size + offset > bytes.size()) return std::nullopt;
      image = bytes.substr(offset, size);
    } else {
      image = ImageAt(bytes, static_cast<int>(Byte(bytes, at + 12) + 256 * Byte(bytes, at + 13)));
    }
    const auto own = image ? OwnSize(*image) : std::nullopt;
    int bits = static_cast<int>(Byte(bytes, at + 6) + 256 * Byte(bytes, at + 7));
    const unsigned colours = Byte(bytes, at + 2);
    if (bits == 0) {
      bits = colours == 0 ? 8 : 0;
      while (colours != 0 && (1u << bits) < colours) ++bits;
      if (bits == 0) bits = 1;
    }
    const int width = Byte(bytes, at) != 0 ? static_cast<int>(Byte(bytes, at))
                      : own                ? static_cast<int>(own->first)
                                           : 256;
    const int height = Byte(bytes, at + 1) != 0 ? static_cast<int>(Byte(bytes, at + 1))
                       : own                    ? static_cast<int>(own->second)
                                                : 256;
    images.push_back({width, height, bits});
  }
  return images;
}

}  // namespace
}  // namespace tarrow

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarrow;
  // An exact copy, so that a read past the end is one past the allocation.
  const std::vector<char> copy(data, data + size);
  const std::string_view bytes(copy.data(), copy.size());
  const auto group = ParseIconGroup(bytes, [&](int id) { return ImageAt(bytes, id); });
  Require(group == Expected(bytes, 14, false), "a group is read as its entries say, or refused");
  const auto file = ParseIconFile(bytes);
  Require(file == Expected(bytes, 16, true), "an icon file is read as its entries say, or refused");
  Require(LooksLikeIconFile(bytes) == (size >= 6 && bytes.substr(0, 4) == std::string_view("\0\0\1\0", 4)),
          "an icon file starts with reserved 0 and type 1");

  for (const auto& read : {group, file}) {
    if (!read) continue;
    std::vector<IconImageSize> sorted = *read;
    SortLargestFirst(sorted);
    Require(std::is_permutation(sorted.begin(), sorted.end(), read->begin(), read->end()),
            "sorting keeps every image");
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      const long before = long{sorted[i - 1].width} * sorted[i - 1].height;
      const long after = long{sorted[i].width} * sorted[i].height;
      Require(before > after || (before == after && sorted[i - 1].bits >= sorted[i].bits),
              "images come largest first");
    }
  }
  return 0;
}
