#include "app/icon_preview.h"

#include <algorithm>
#include <utility>

#include "app/icon_delivery.h"
#include "catalog/icon_location.h"
#include "catalog/picture_pixels.h"
#include "changes/picture_icon.h"

namespace tarrow::app {
namespace {

constexpr UINT kIconsDone = WM_APP + 1;  // the loader has results
constexpr UINT_PTR kDeliveryTimer = 1;
// The tallest of the small sizes, at 96 DPI: the row they stand in.
constexpr int kSmallRowDip = 48;
constexpr int kMarginDip = 8;
constexpr int kGapDip = 4;

}  // namespace

int PreviewIconSource::Count(const std::wstring& file) {
  const std::wstring resolved = IconFileForExtraction(shell_, file);
  IconDirectory directory;
  if (IsPictureFile(resolved)) {
    // One icon, as Apply will make it of the picture: its sizes are what
    // Windows will draw from. The header alone says whether it can be read.
    const auto bytes = ReadPictureFile(files_, resolved);
    const DecodedPicture picture = bytes ? shell_.DecodePicture(*bytes, 0) : DecodedPicture{};
    directory.readable = picture.width > 0 && picture.height > 0;
    if (directory.readable) {
      directory.icons.emplace_back();
      for (const int side : kPictureIconSizes) directory.icons[0].push_back({side, side, 32});
    }
  } else {
    directory = shell_.ReadIconDirectory(resolved);
  }
  const auto count = static_cast<int>(directory.icons.size());
  std::lock_guard lock(mutex_);
  directories_[file] = std::move(directory);
  return count;
}

std::optional<IconDirectory> PreviewIconSource::TakeDirectory(const std::wstring& file) {
  std::lock_guard lock(mutex_);
  auto found = directories_.extract(file);
  if (found.empty()) return std::nullopt;
  return std::move(found.mapped());
}

IconPreview::IconPreview(Os& os)
    : iconSource_(os.shell, os.files), loader_(iconSource_, [this] {
        if (const HWND window = wakeWindow_.load()) ::PostMessageW(window, kIconsDone, 0, 0);
      }) {}

bool IconPreview::Create(HWND parent, int id) {
  RegisterClassOnce(kIconPreviewClass, &Proc, ::GetSysColorBrush(COLOR_BTNFACE));
  ::CreateWindowExW(0, kIconPreviewClass, L"", WS_CHILD, 0, 0, 0, 0, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  wakeWindow_ = hwnd_;
  dpi_ = 0;
  SetDpi(DpiOf(hwnd_));
  return true;
}

void IconPreview::SetDpi(UINT dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  for (std::size_t k = 0; k < images_.size(); ++k) {
    images_[k].Reset(PreviewSizes({}, static_cast<int>(dpi_))[k].px);
  }
  // The same icon, drawn again at the sizes of this scale.
  const std::wstring file = std::exchange(file_, {});
  Show(file, index_);
}

void IconPreview::SetFont(HFONT font) {
  font_ = font;
  if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconPreview::Place(int left, int top, int width, int height) {
  room_ = width > 0 && height > 0;
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (room_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  // What was framed while there was no room is drawn once there is.
  if (room_ && !requested_ && !file_.empty() && index_ >= 0) Request();
}

void IconPreview::Show(const std::wstring& file, int index) {
  if (file == file_ && index == index_) return;
  loader_.Cancel();
  const bool sameFile = file == file_;
  file_ = file;
  index_ = index;
  waiting_ = 0;
  pictures_.fill(-1);
  for (ImageListSink& images : images_) images.RemoveAllPictures();
  sizes_ = PreviewSizes({}, static_cast<int>(dpi_));
  sizesKnown_ = false;
  heldText_.clear();
  requested_ = false;
  if (!sameFile) directory_.reset();
  // Hidden, it draws nothing: a narrow window costs no extraction.
  if (room_ && !file_.empty() && index_ >= 0) Request();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconPreview::Request() {
  requested_ = true;
  // The pictures first: the file's image sizes may take a pass over all of
  // its icons, and are read once per file.
  for (const PreviewSize& size : sizes_) {
    loader_.Request({file_, index_, 1, size.px});
    ++waiting_;
  }
  if (directory_) {
    ShowImageSizes();
  } else {
    loader_.Request({file_, 0, 0, 0, true});
  }
}

void IconPreview::ShowImageSizes() {
  if (!directory_ || static_cast<std::size_t>(index_) >= directory_->icons.size() ||
      directory_->icons[static_cast<std::size_t>(index_)].empty()) {
    heldText_ = L"Its image sizes cannot be read.";
    return;
  }
  const auto& images = directory_->icons[static_cast<std::size_t>(index_)];
  sizes_ = PreviewSizes(images, static_cast<int>(dpi_));
  sizesKnown_ = true;
  heldText_ = IsPictureFile(file_) ? L"Apply makes an icon of 16, 24, 32, 48 and 256 pixels of this picture."
                                   : HeldSizesText(images);
}

void IconPreview::OnIconsDone() {
  for (IconResult& result : loader_.TakeResults(kIconsPerSlice)) {
    if (result.counted()) {
      directory_ = iconSource_.TakeDirectory(result.request.file);
      if (!directory_) directory_.emplace();
      ShowImageSizes();
    }
    for (std::size_t i = 0; i < result.icons.size(); ++i) {
      const auto k = static_cast<std::size_t>(std::find_if(images_.begin(), images_.end(),
                                                           [&](const ImageListSink& images) {
                                                             return images.sizePx() == result.request.sizePx;
                                                           }) -
                                              images_.begin());
      if (k < images_.size()) {
        const IconPixels* pixels =
            i < result.pixels.size() && result.pixels[i] ? &*result.pixels[i] : nullptr;
        pictures_[k] = images_[k].AddPictures({result.icons[i]}, {pixels})[0];
        --waiting_;
      }
      loader_.Release(result.icons[i]);
    }
  }
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

std::wstring IconPreview::Caption(std::size_t k) const {
  return sizesKnown_ ? PreviewCaption(sizes_[k]) : std::to_wstring(sizes_[k].px) + L" px";
}

void IconPreview::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const HGDIOBJ oldFont = font_ ? ::SelectObject(dc, font_) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  const int line = metrics.tmHeight;
  const int margin = Px(kMarginDip), gap = Px(kGapDip);
  auto text = [&](const std::wstring& what, RECT box, UINT format) {
    ::DrawTextW(dc, what.c_str(), static_cast<int>(what.size()), &box, format | DT_NOPREFIX);
  };

  // Placed only while it has an icon to show.
  if (wanted()) {
    // The three small sizes side by side on one base line, each with its
    // caption in two lines: the size, then held or scaled.
    const int cell = (client.right - 2 * margin) / 3;
    const int base = margin + Px(kSmallRowDip);
    for (std::size_t k = 0; k < 3; ++k) {
      const int left = margin + static_cast<int>(k) * cell;
      const int px = sizes_[k].px;
      if (pictures_[k] >= 0)
        ::ImageList_Draw(images_[k].get(), pictures_[k], dc, left + (cell - px) / 2, base - px, ILD_NORMAL);
      const std::wstring caption = Caption(k);
      const auto colon = caption.find(L": ");
      text(caption.substr(0, colon), {left, base + gap, left + cell, base + gap + line},
           DT_CENTER | DT_SINGLELINE);
      if (colon != std::wstring::npos)
        text(caption.substr(colon + 2), {left, base + gap + line, left + cell, base + gap + 2 * line},
             DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    // The largest in a frame of its size, so that its room shows even
    // where the picture leaves it clear.
    const int px = sizes_[3].px;
    const int top = base + gap + 2 * line + margin;
    RECT frame{margin - 1, top - 1, margin + px + 1, top + px + 1};
    ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_BTNSHADOW));
    if (pictures_[3] >= 0) ::ImageList_Draw(images_[3].get(), pictures_[3], dc, margin, top, ILD_NORMAL);
    const int below = top + px + gap;
    text(Caption(3), {margin, below, client.right - margin, below + line}, DT_LEFT | DT_SINGLELINE);
    text(heldText_, {margin, below + line, client.right - margin, client.bottom}, DT_LEFT | DT_WORDBREAK);
  }
  if (oldFont) ::SelectObject(dc, oldFont);
}

LRESULT IconPreview::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kIconsDone:
      ArmIconTimer(hwnd_, kDeliveryTimer);
      DeliverIcons(hwnd_, kDeliveryTimer, loader_, [this] { OnIconsDone(); });
      return 0;
    case WM_TIMER:
      if (wp != kDeliveryTimer) break;
      DeliverIcons(hwnd_, kDeliveryTimer, loader_, [this] { OnIconsDone(); });
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = ::BeginPaint(hwnd_, &ps);
      Paint(dc);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SIZE:
      ::InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_DESTROY:
      wakeWindow_ = nullptr;
      loader_.Cancel();
      break;
  }
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
