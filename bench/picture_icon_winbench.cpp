// Times making an icon of a 1024 x 1024 PNG (the target: under 200 ms),
// beside its floor in the same run: decoding the PNG alone, which any icon
// of it needs. Also the portable scaling to the five sizes and the PNG
// encoding of the 256-pixel image, the other two parts of the work; the
// picture file made an icon and stored in an icons folder as Apply stores it
// (read, made, compared with or written to its file); and the grid's cell of
// the picture, drawn at 32 pixels.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: picture_icon_winbench [ICON-OUT]   (writes the icon made, to look at)
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "changes/picture_icon.h"
#include "changes/picture_store.h"
#include "platform/files.h"
#include "platform/win32/win32_os.h"

namespace {

using namespace tarrow;

constexpr int kRounds = 5;
constexpr int kSide = 1024;

// A photograph's worth of detail: smooth colour, rings, and noise that no
// compressor removes, over an alpha that fades out towards the corners.
RgbaImage Picture() {
  RgbaImage image{kSide, kSide, std::vector<std::uint8_t>(std::size_t{kSide} * kSide * 4)};
  std::uint32_t noise = 12345;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const double dx = x - kSide / 2.0, dy = y - kSide / 2.0, r = std::sqrt(dx * dx + dy * dy);
      std::uint8_t* p = image.pixels.data() + (std::size_t{static_cast<unsigned>(y)} * kSide + x) * 4;
      p[0] = static_cast<std::uint8_t>(x * 255 / kSide);
      p[1] = static_cast<std::uint8_t>(128 + 127 * std::sin(r / 20));
      p[2] = static_cast<std::uint8_t>((y * 255 / kSide) ^ (noise >> 28));
      p[3] = static_cast<std::uint8_t>(r > kSide / 2.0 ? std::max(0.0, 255 - (r - kSide / 2.0)) : 255);
    }
  }
  return image;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Shell& shell = win32::RealOs().shell;
  const RgbaImage picture = Picture();
  const std::optional<std::string> png = shell.EncodePng(picture);
  if (!png) {
    std::fprintf(stderr, "the picture could not be encoded\n");
    return 1;
  }
  std::printf("note|picture: %d x %d PNG of %zu KB\n", kSide, kSide, png->size() / 1024);

  const double decode = bench::MedianMs(kRounds, [&] { shell.DecodePicture(*png, kMaxPictureSide); });
  PictureIcon icon;
  const double make = bench::MedianMs(kRounds, [&] { icon = MakePictureIcon(shell, *png, L"bench.png"); });
  if (!icon.ok()) {
    std::fprintf(stderr, "no icon: %ls\n", icon.problem.c_str());
    return 1;
  }
  const RgbaImage premultiplied = Premultiplied(picture);
  const double scale = bench::MedianMs(kRounds, [&] {
    for (const int side : kPictureIconSizes) Unpremultiplied(ScaleOntoSquare(premultiplied, side));
  });
  const RgbaImage large = Unpremultiplied(ScaleOntoSquare(premultiplied, kPngIconSide));
  const double encode = bench::MedianMs(kRounds, [&] { shell.EncodePng(large); });

  // As Apply stores it: the first time written, then found in place.
  Os& os = win32::RealOs();
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"tarrow-picture-bench";
  const std::wstring pictureFile = folder + L"\\bench.png";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  if (!WriteWholeFile(os.files, pictureFile, *png)) return 1;
  std::wstring stored;
  const auto store = [&] {
    const PictureIcon made = MakePictureIconFromFile(os, pictureFile);
    stored = folder + L"\\" + made.fileName;
    StoreIconFile(os.files, stored, made.bytes);
  };
  const double storeFirst = bench::MedianMs(1, store);
  const double storeAgain = bench::MedianMs(kRounds, store);
  const double cell =
      bench::MedianMs(kRounds, [&] { shell.DestroyIcon(PictureIconOfSize(shell, *png, 32)); });
  ::DeleteFileW(stored.c_str());
  ::DeleteFileW(pictureFile.c_str());
  ::RemoveDirectoryW(folder.c_str());

  bench::TimeRow("picture icon: 1024x1024 PNG to .ico", make, decode, "< 200 ms");
  bench::TimeRow("picture icon: file made and stored, first time", storeFirst, decode, "< 200 ms");
  bench::TimeRow("picture icon: file made, found stored", storeAgain, decode, "< 200 ms");
  bench::TimeRow("picture icon: the grid's 32-pixel cell", cell, decode, "");
  bench::TimeRow("picture icon: scaling to the five sizes", scale, decode, "");
  bench::TimeRow("picture icon: encoding the 256 PNG", encode, decode, "");
  std::printf("note|picture icon: %zu KB, floor = decoding the PNG alone\n", icon.bytes.size() / 1024);

  if (argc > 1) {
    FILE* out = _wfopen(argv[1], L"wb");
    if (!out) return 1;
    std::fwrite(icon.bytes.data(), 1, icon.bytes.size(), out);
    std::fclose(out);
  }
  return 0;
}
