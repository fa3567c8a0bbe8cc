// Writes the sources of a resource DLL with many icons, for timing the grid on
// a file far bigger than any the system ships: COUNT .ico files, each with a
// 16, 32 and 48 pixel 32-bit image drawn in its own colours, and a .rc file
// that names them all.
//
// usage: make_icon_library FOLDER [COUNT]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSizes[] = {16, 32, 48};

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(value & 0xFF);
  out.push_back((value >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One image as an .ico stores it: a bitmap header of twice the height, the
// bottom-up pixels, then the (all clear) AND mask, rows padded to 32 bits.
std::vector<std::uint8_t> Image(int size, int n) {
  std::vector<std::uint8_t> out;
  const int maskRow = ((size + 31) / 32) * 4;
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(size));
  Put32(out, static_cast<std::uint32_t>(size * 2));
  Put16(out, 1);
  Put16(out, 32);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  const std::uint8_t red = static_cast<std::uint8_t>(n * 37), green = static_cast<std::uint8_t>(n * 91),
                     blue = static_cast<std::uint8_t>(n * 53);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // A disc in the icon's colours on a clear ground, its rim shaded.
      const int dx = 2 * x + 1 - size, dy = 2 * y + 1 - size;
      const int r2 = dx * dx + dy * dy, limit = size * size;
      const bool inside = r2 < limit;
      const bool rim = r2 > limit * 2 / 3;
      out.push_back(inside ? (rim ? blue / 2 : blue) : 0);
      out.push_back(inside ? (rim ? green / 2 : green) : 0);
      out.push_back(inside ? (rim ? red / 2 : red) : 0);
      out.push_back(inside ? 0xFF : 0);
    }
  }
  out.insert(out.end(), static_cast<std::size_t>(maskRow * size), 0);
  return out;
}

std::vector<std::uint8_t> IconFile(int n) {
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : kSizes) images.push_back(Image(size, n));
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(kSizes[i]));
    out.push_back(static_cast<std::uint8_t>(kSizes[i]));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_icon_library FOLDER [COUNT]\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
  std::filesystem::create_directories(folder);
  std::ofstream rc(folder / "icons.rc");
  for (int n = 0; n < count; ++n) {
    const std::string name = "icon" + std::to_string(n) + ".ico";
    const auto bytes = IconFile(n);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    rc << (n + 1) << " ICON \"" << name << "\"\n";
  }
  if (!rc) {
    std::fprintf(stderr, "cannot write %s\n", (folder / "icons.rc").string().c_str());
    return 1;
  }
  return 0;
}
