#include "app/image_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarrow::app {
namespace {

// Pictures are handed to the list this many at a time, side by side in one
// bitmap: the list takes a whole strip in one call, where adding icons one
// by one costs over a millisecond each under Wine.
constexpr std::size_t kStripPictures = 256;

// A bitmap's pixels as 32-bit top-down rows of sizePx: the icon's colours
// with their alpha, or its mask (set pixels white, others black).
bool ReadPixels(HDC dc, HBITMAP bitmap, int sizePx, std::uint32_t* pixels) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info) || info.bmWidth != sizePx ||
      info.bmHeight != sizePx)
    return false;
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), sizePx, -sizePx, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  return ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(sizePx), pixels, &format, DIB_RGB_COLORS) == sizePx;
}

// Pictures waiting to go into the list in one strip.
class Strip {
 public:
  explicit Strip(int sizePx) : sizePx_(sizePx), tile_(static_cast<std::size_t>(sizePx) * sizePx) {}
  Strip(const Strip&) = delete;
  Strip& operator=(const Strip&) = delete;

  // Takes an icon's pixels; false for pixels of another size.
  bool Take(const IconPixels& pixels, std::size_t position) {
    if (pixels.colour.size() != tile_ || pixels.mask.size() != tile_) return false;
    image_.insert(image_.end(), pixels.colour.begin(), pixels.colour.end());
    mask_.insert(mask_.end(), pixels.mask.begin(), pixels.mask.end());
    positions_.push_back(position);
    return true;
  }
  bool full() const { return positions_.size() >= kStripPictures; }

  // Adds the strip's pictures to the list and notes where each went.
  void Flush(HIMAGELIST list, std::vector<int>& where) {
    if (positions_.empty()) return;
    const win32::UniqueBitmap image(StripBitmap(image_)), mask(StripBitmap(mask_));
    const int first = image && mask ? ::ImageList_Add(list, image.get(), mask.get()) : -1;
    for (std::size_t k = 0; k < positions_.size(); ++k)
      where[positions_[k]] = first < 0 ? -1 : first + static_cast<int>(k);
    positions_.clear();
    image_.clear();
    mask_.clear();
  }

 private:
  // The tiles side by side: row y of tile k lies at row y, column k * size.
  HBITMAP StripBitmap(const std::vector<std::uint32_t>& tiles) const {
    const auto count = static_cast<int>(positions_.size());
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), sizePx_ * count, -sizePx_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    auto* out = static_cast<std::uint32_t*>(bits);
    const auto size = static_cast<std::size_t>(sizePx_);
    for (std::size_t k = 0; k < positions_.size(); ++k)
      for (std::size_t y = 0; y < size; ++y)
        std::memcpy(out + y * size * positions_.size() + k * size, tiles.data() + k * tile_ + y * size,
                    size * sizeof(std::uint32_t));
    return bitmap;
  }

  int sizePx_;
  std::size_t tile_;  // pixels per picture
  std::vector<std::size_t> positions_;
  std::vector<std::uint32_t> image_, mask_;
};

}  // namespace

std::optional<IconPixels> ReadIconPixels(HICON icon, int sizePx) {
  ICONINFO info{};
  if (!icon || !::GetIconInfo(icon, &info)) return std::nullopt;
  const win32::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
  const auto tile = static_cast<std::size_t>(sizePx) * static_cast<std::size_t>(sizePx);
  IconPixels pixels{std::vector<std::uint32_t>(tile), std::vector<std::uint32_t>(tile)};
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const bool read = ReadPixels(dc, colour.get(), sizePx, pixels.colour.data()) &&
                    ReadPixels(dc, mask.get(), sizePx, pixels.mask.data());
  ::DeleteDC(dc);
  if (!read) return std::nullopt;
  return pixels;
}

void DrawingIconSource::Draw(IconResult& result) {
  result.pixels.resize(result.icons.size());
  for (std::size_t k = 0; k < result.icons.size(); ++k) {
    if (!IsIcon(result.icons[k])) continue;
    result.pixels[k] = ReadIconPixels(reinterpret_cast<HICON>(result.icons[k]), result.request.sizePx);
    if (!result.pixels[k]) continue;
    Release(result.icons[k]);
    result.icons[k] = 0;
  }
}

void ImageListSink::Reset(int sizePx, bool withPlaceholder) {
  sizePx_ = sizePx;
  withPlaceholder_ = withPlaceholder;
  list_.reset(::ImageList_Create(sizePx, sizePx, ILC_COLOR32 | ILC_MASK, 64, 64));
  AddPlaceholder();
}

// A pale outlined square: it holds the icon's place in a row, and looks like
// no icon a file type could have.
void ImageListSink::AddPlaceholder() {
  if (!withPlaceholder_ || !list_) return;
  const std::size_t size = static_cast<std::size_t>(sizePx_);
  std::vector<std::uint32_t> image(size * size, 0), mask(size * size, 0xFFFFFFFF);
  const std::size_t inset = std::max<std::size_t>(1, size / 8), last = size - 1 - inset;
  for (std::size_t y = inset; y <= last; ++y) {
    for (std::size_t x = inset; x <= last; ++x) {
      const bool edge = y == inset || y == last || x == inset || x == last;
      image[y * size + x] = edge ? 0xFFC8C8C8 : 0xFFF6F6F6;
      mask[y * size + x] = 0;
    }
  }
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), sizePx_, -sizePx_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  auto bitmapOf = [&](const std::vector<std::uint32_t>& pixels) {
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) std::memcpy(bits, pixels.data(), pixels.size() * sizeof(std::uint32_t));
    return bitmap;
  };
  const win32::UniqueBitmap colour(bitmapOf(image)), transparent(bitmapOf(mask));
  if (colour && transparent) ::ImageList_Add(list_.get(), colour.get(), transparent.get());
}

int ImageListSink::AddPicture(IconHandle icon) {
  // The list copies the icon's bitmaps, so the icon can go at once.
  return list_ ? ::ImageList_ReplaceIcon(list_.get(), -1, reinterpret_cast<HICON>(icon)) : -1;
}

std::vector<int> ImageListSink::AddPictures(const std::vector<IconHandle>& icons) {
  return AddPictures(icons, {});
}

std::vector<int> ImageListSink::AddPictures(const std::vector<IconHandle>& icons,
                                            const std::vector<const IconPixels*>& pixels) {
  std::vector<int> where(icons.size(), -1);
  if (!list_) return where;
  Strip strip(sizePx_);
  for (std::size_t i = 0; i < icons.size(); ++i) {
    std::optional<IconPixels> read;
    const IconPixels* drawn = i < pixels.size() ? pixels[i] : nullptr;
    if (!drawn && IsIcon(icons[i])) {
      read = ReadIconPixels(reinterpret_cast<HICON>(icons[i]), sizePx_);
      if (read) drawn = &*read;
    }
    if (!drawn || !strip.Take(*drawn, i)) {
      if (!IsIcon(icons[i])) continue;
      // The pictures before it go first, so the list keeps the file's order.
      strip.Flush(list_.get(), where);
      where[i] = AddPicture(icons[i]);
    }
    if (strip.full()) strip.Flush(list_.get(), where);
  }
  strip.Flush(list_.get(), where);
  return where;
}

void ImageListSink::RemoveAllPictures() {
  if (list_) ::ImageList_Remove(list_.get(), -1);
  AddPlaceholder();
}

}  // namespace tarrow::app
