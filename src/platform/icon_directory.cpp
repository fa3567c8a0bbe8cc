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

// The count of entries the header announces; nullopt when it is no icon
// header or the entries do not fit in the bytes.
std::optional<std::size_t> EntryCount(std::string_view bytes, std::size_t entryBytes) {
  if (!LooksLikeIconFile(bytes)) return std::nullopt;
  const std::size_t count = Little(bytes, 4, 2);
  if (count == 0 || bytes.size() < kHeaderBytes + count * entryBytes) return std::nullopt;
  return count;
}

IconImageSize ImageSize(std::string_view entry) {
  // A byte cannot hold 256: 0 stands for it.
  const int width = static_cast<unsigned char>(entry[0]);
  const int height = static_cast<unsigned char>(entry[1]);
  const int colours = static_cast<unsigned char>(entry[2]);
  int bits = static_cast<int>(Little(entry, 6, 2));
  if (bits == 0) {
    // Older files give the palette size instead; 0 colours means 256 or
    // more, of which 8 bits is the least.
    bits = 1;
    while (colours != 0 && (1 << bits) < colours) ++bits;
    if (colours == 0) bits = 8;
  }
  return {width == 0 ? 256 : width, height == 0 ? 256 : height, bits};
}

}  // namespace

bool LooksLikeIconFile(std::string_view bytes) {
  return bytes.size() >= kHeaderBytes && Little(bytes, 0, 2) == 0 && Little(bytes, 2, 2) == 1;
}

std::optional<std::vector<IconImageSize>> ParseIconGroup(std::string_view bytes) {
  const auto count = EntryCount(bytes, kGroupEntryBytes);
  if (!count) return std::nullopt;
  std::vector<IconImageSize> images;
  for (std::size_t i = 0; i < *count; ++i)
    images.push_back(ImageSize(bytes.substr(kHeaderBytes + i * kGroupEntryBytes, kGroupEntryBytes)));
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
    images.push_back(ImageSize(entry));
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
