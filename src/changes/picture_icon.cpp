#include "changes/picture_icon.h"

#include <algorithm>
#include <cstring>

namespace tarrow {
namespace {

void PutLittle(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// SHA-256 as FIPS 180-4 gives it.
class Sha256 {
 public:
  void Add(std::string_view bytes) {
    length_ += bytes.size();
    while (!bytes.empty()) {
      const std::size_t taken = std::min(bytes.size(), block_.size() - filled_);
      std::memcpy(block_.data() + filled_, bytes.data(), taken);
      filled_ += taken;
      bytes.remove_prefix(taken);
      if (filled_ == block_.size()) Compress();
    }
  }
  std::array<std::uint8_t, 32> Finish() {
    const std::uint64_t bits = length_ * 8;
    block_[filled_++] = 0x80;
    if (filled_ > 56) {
      std::fill(block_.begin() + filled_, block_.end(), 0);
      Compress();
    }
    std::fill(block_.begin() + filled_, block_.begin() + 56, 0);
    for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Compress();
    std::array<std::uint8_t, 32> digest{};
    for (int i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
  }

 private:
  static std::uint32_t Rotate(std::uint32_t x, int n) { return x >> n | x << (32 - n); }
  void Compress() {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = std::uint32_t{block_[4 * i]} << 24 | std::uint32_t{block_[4 * i + 1]} << 16 |
             std::uint32_t{block_[4 * i + 2]} << 8 | block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4], f = state_[5],
                  g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 =
          h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    const std::uint32_t add[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state_[i] += add[i];
    filled_ = 0;
  }

  std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<std::uint8_t, 64> block_{};
  std::size_t filled_ = 0;
  std::uint64_t length_ = 0;
};

PictureIcon Refused(std::wstring problem) {
  PictureIcon icon;
  icon.problem = std::move(problem);
  return icon;
}

PictureIcon TooManyBytes(const std::wstring& name) {
  return Refused(name + L" is larger than " + std::to_wstring(kMaxPictureBytes / (1024 * 1024)) +
                 L" MB, the most Tarrow makes an icon of.");
}

}  // namespace

std::string IconDib(const RgbaImage& image) {
  const auto width = static_cast<std::size_t>(image.width), height = static_cast<std::size_t>(image.height);
  const std::size_t maskRow = (width + 31) / 32 * 4;
  std::string dib;
  PutLittle(dib, 40, 4);  // BITMAPINFOHEADER
  PutLittle(dib, static_cast<std::uint32_t>(width), 4);
  PutLittle(dib, static_cast<std::uint32_t>(height * 2), 4);  // the colours and the mask
  PutLittle(dib, 1, 2);
  PutLittle(dib, 32, 2);
  PutLittle(dib, 0, 4);  // BI_RGB
  PutLittle(dib, static_cast<std::uint32_t>((width * 4 + maskRow) * height), 4);
  dib.append(16, '\0');  // resolution and palette: none
  for (std::size_t y = height; y-- > 0;) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t* pixel = image.pixels.data() + (y * width + x) * 4;
      dib += {static_cast<char>(pixel[2]), static_cast<char>(pixel[1]), static_cast<char>(pixel[0]),
              static_cast<char>(pixel[3])};
    }
  }
  for (std::size_t y = height; y-- > 0;) {
    std::string mask(maskRow, '\0');
    for (std::size_t x = 0; x < width; ++x) {
      if (image.pixels[(y * width + x) * 4 + 3] == 0) mask[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
    dib += mask;
  }
  return dib;
}

std::string IconFileBytes(const std::vector<IconFileImage>& images) {
  std::string file;
  PutLittle(file, 0, 2);
  PutLittle(file, 1, 2);  // an icon, not a cursor
  PutLittle(file, static_cast<std::uint32_t>(images.size()), 2);
  std::size_t offset = 6 + 16 * images.size();
  for (const IconFileImage& image : images) {
    // A byte holds up to 255: 0 stands for 256.
    PutLittle(file, static_cast<std::uint32_t>(image.width) & 0xFF, 1);
    PutLittle(file, static_cast<std::uint32_t>(image.height) & 0xFF, 1);
    PutLittle(file, 0, 2);  // no palette
    PutLittle(file, 1, 2);  // planes
    PutLittle(file, 32, 2);
    PutLittle(file, static_cast<std::uint32_t>(image.bytes.size()), 4);
    PutLittle(file, static_cast<std::uint32_t>(offset), 4);
    offset += image.bytes.size();
  }
  for (const IconFileImage& image : images) file += image.bytes;
  return file;
}

std::wstring Sha256Hex(std::string_view bytes) {
  Sha256 hash;
  hash.Add(bytes);
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring hex;
  for (const std::uint8_t byte : hash.Finish()) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

PictureIcon MakePictureIcon(Shell& shell, std::string_view picture, const std::wstring& name) {
  if (picture.size() > kMaxPictureBytes) return TooManyBytes(name);
  const DecodedPicture decoded = shell.DecodePicture(picture, kMaxPictureSide);
  if (decoded.width > kMaxPictureSide || decoded.height > kMaxPictureSide) {
    return Refused(name + L" is " + std::to_wstring(decoded.width) + L" x " +
                   std::to_wstring(decoded.height) + L" pixels; Tarrow makes icons of pictures of at most " +
                   std::to_wstring(kMaxPictureSide) + L" pixels a side.");
  }
  const bool whole =
      decoded.image && decoded.image->width > 0 && decoded.image->height > 0 &&
      decoded.image->pixels.size() == std::size_t(decoded.image->width) * decoded.image->height * 4;
  if (!whole)
    return Refused(name +
                   L" cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or GIF file.");
  const RgbaImage premultiplied = Premultiplied(*decoded.image);
  std::vector<IconFileImage> images;
  for (const int side : kPictureIconSizes) {
    const RgbaImage scaled = Unpremultiplied(ScaleOntoSquare(premultiplied, side));
    if (side != kPngIconSide) {
      images.push_back({side, side, IconDib(scaled)});
      continue;
    }
    std::optional<std::string> png = shell.EncodePng(scaled);
    if (!png)
      return Refused(L"The icon of " + name + L" could not be made: the system could not encode its image.");
    images.push_back({side, side, std::move(*png)});
  }
  PictureIcon icon;
  icon.bytes = IconFileBytes(images);
  icon.fileName = Sha256Hex(picture) + L".ico";
  return icon;
}

PictureIcon MakePictureIconFromFile(Os& os, const std::wstring& path) {
  const std::optional<std::uint64_t> size = os.files.FileSize(path);
  if (size && *size > kMaxPictureBytes) return TooManyBytes(path);
  const std::optional<std::string> bytes = size ? os.files.ReadAll(path) : std::nullopt;
  if (!bytes) return Refused(path + L" cannot be read.");
  return MakePictureIcon(os.shell, *bytes, path);
}

}  // namespace tarrow
