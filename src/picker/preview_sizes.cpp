#include "picker/preview_sizes.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tarrow {

std::array<PreviewSize, kExplorerIconSizes.size()> PreviewSizes(const std::vector<IconImageSize>& images,
                                                                int dpi) {
  std::array<PreviewSize, kExplorerIconSizes.size()> sizes{};
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    PreviewSize& size = sizes[k];
    size.px = (kExplorerIconSizes[k] * dpi + 48) / 96;
    int closest = 0;
    for (const IconImageSize& image : images) {
      if (image.width != image.height) continue;
      if (image.width == size.px) size.held = true;
      const int distance = std::abs(image.width - size.px), best = std::abs(closest - size.px);
      if (closest == 0 || distance < best || (distance == best && image.width > closest)) closest = image.width;
    }
    if (!size.held) size.from = closest;
  }
  return sizes;
}

std::wstring HeldSizesText(const std::vector<IconImageSize>& images) {
  std::vector<std::pair<int, int>> distinct;
  for (const IconImageSize& image : images) distinct.emplace_back(image.width, image.height);
  std::sort(distinct.begin(), distinct.end(), [](const auto& a, const auto& b) {
    return long{a.first} * a.second != long{b.first} * b.second
               ? long{a.first} * a.second < long{b.first} * b.second
               : a < b;
  });
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  if (distinct.empty()) return L"Holds no images.";
  std::wstring text = L"Holds ";
  for (std::size_t i = 0; i < distinct.size(); ++i) {
    if (i > 0) text += i + 1 == distinct.size() ? L" and " : L", ";
    const auto [width, height] = distinct[i];
    text +=
        width == height ? std::to_wstring(width) : std::to_wstring(width) + L"x" + std::to_wstring(height);
  }
  return text + (distinct.size() == 1 ? L" pixels only." : L" pixels.");
}

std::wstring PreviewCaption(const PreviewSize& size) {
  const std::wstring px = std::to_wstring(size.px) + L" px: ";
  if (size.held) return px + L"held";
  if (size.from == 0) return px + L"no image";
  return px + L"scaled from " + std::to_wstring(size.from);
}

}  // namespace tarrow
