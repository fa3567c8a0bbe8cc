#include "changes/picture_icon.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fake_os.h"
#include "platform/icon_directory.h"

namespace tarrow {
namespace {

using Pixel = std::array<std::uint8_t, 4>;

RgbaImage Image(int width, int height, const std::vector<Pixel>& pixels) {
  RgbaImage image{width, height, {}};
  for (const Pixel& pixel : pixels) image.pixels.insert(image.pixels.end(), pixel.begin(), pixel.end());
  return image;
}

RgbaImage Filled(int width, int height, Pixel pixel) {
  return Image(width, height, std::vector<Pixel>(static_cast<std::size_t>(width) * height, pixel));
}

Pixel At(const RgbaImage& image, int x, int y) {
  const auto* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

TEST(PictureIconTest, APictureIsCentredOnASquareOfItsLongerSide) {
  const struct {
    int width, height;
    SquareLayout layout;
  } cases[] = {
      {40, 20, {40, 0, 10}},
      {20, 40, {40, 10, 0}},
      {7, 7, {7, 0, 0}},
      // The odd pixel of padding goes below or right.
      {3, 2, {3, 0, 0}},
      {2, 5, {5, 1, 0}},
      {10000, 1, {10000, 0, 4999}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    EXPECT_EQ(CentreOnSquare(c.width, c.height), c.layout);
  }
}

TEST(PictureIconTest, ScalingAveragesTheAreaEachPixelCoversPaddingTransparent) {
  const Pixel red{255, 0, 0, 255}, black{0, 0, 0, 255}, none{0, 0, 0, 0};
  const struct {
    const char* name;
    RgbaImage picture;  // premultiplied
    int side;
    RgbaImage scaled;
  } cases[] = {
      {"four pixels to one", Image(2, 2, {red, black, none, none}), 1, Image(1, 1, {{64, 0, 0, 128}})},
      {"a wide picture keeps its rows, the padding below it", Image(2, 1, {red, black}), 2,
       Image(2, 2, {red, black, none, none})},
      {"one pixel made larger", Image(1, 1, {{10, 20, 30, 40}}), 3, Filled(3, 3, {10, 20, 30, 40})},
      // Output columns cover 1.5 pixels: 2/3 of one and 1/3 of the next.
      {"thirds",
       Image(3, 3,
             {{0, 0, 0, 255},
              {90, 0, 0, 255},
              {180, 0, 0, 255},
              {0, 0, 0, 255},
              {90, 0, 0, 255},
              {180, 0, 0, 255},
              {0, 0, 0, 255},
              {90, 0, 0, 255},
              {180, 0, 0, 255}}),
       2, Image(2, 2, {{30, 0, 0, 255}, {150, 0, 0, 255}, {30, 0, 0, 255}, {150, 0, 0, 255}})},
      // 4 x 2 on a 4-pixel square: each output row is half picture, half
      // padding.
      {"half covered", Filled(4, 2, {255, 255, 255, 255}), 2, Filled(2, 2, {128, 128, 128, 128})},
      {"a tall picture's padding is left and right", Filled(1, 3, {30, 60, 90, 255}), 3,
       Image(3, 3,
             {none, {30, 60, 90, 255}, none, none, {30, 60, 90, 255}, none, none, {30, 60, 90, 255}, none})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RgbaImage scaled = ScaleOntoSquare(c.picture, c.side);
    EXPECT_EQ(scaled.width, c.scaled.width);
    EXPECT_EQ(scaled.height, c.scaled.height);
    EXPECT_EQ(scaled.pixels, c.scaled.pixels);
  }
}

TEST(PictureIconTest, AlphaIsMultipliedInAndTakenOutRounded) {
  EXPECT_EQ(Premultiplied(Image(2, 1, {{200, 100, 50, 128}, {9, 9, 9, 0}})).pixels,
            Image(2, 1, {{100, 50, 25, 128}, {0, 0, 0, 0}}).pixels);
  EXPECT_EQ(Unpremultiplied(Image(3, 1, {{100, 50, 25, 128}, {9, 9, 9, 0}, {200, 0, 0, 100}})).pixels,
            Image(3, 1, {{199, 100, 50, 128}, {0, 0, 0, 0}, {255, 0, 0, 100}}).pixels);
}

TEST(PictureIconTest, ADibIsItsHeaderColoursBottomUpThenTheMaskOfTransparentPixels) {
  const RgbaImage image = Image(2, 2, {{1, 2, 3, 255}, {4, 5, 6, 0}, {7, 8, 9, 10}, {11, 12, 13, 0}});
  const std::string expected =
      std::string("\x28\0\0\0\x02\0\0\0\x04\0\0\0\x01\0\x20\0\0\0\0\0\x18\0\0\0", 24) +
      std::string(16, '\0') + "\x09\x08\x07\x0a\x0d\x0c\x0b" + std::string(1, '\0') +
      "\x03\x02\x01\xff\x06\x05\x04" + std::string(1, '\0') + std::string("\x40\0\0\0\x40\0\0\0", 8);
  EXPECT_EQ(IconDib(image), expected);
}

TEST(PictureIconTest, AnIconFileListsItsImagesThenHoldsThemInOrder) {
  const std::string file = IconFileBytes({{256, 256, "PNG"}, {16, 16, "abcd"}});
  EXPECT_EQ(file, std::string("\0\0\x01\0\x02\0"
                              "\0\0\0\0\x01\0\x20\0\x03\0\0\0\x26\0\0\0"
                              "\x10\x10\0\0\x01\0\x20\0\x04\0\0\0\x29\0\0\0"
                              "PNGabcd",
                              45));
  EXPECT_EQ(ParseIconFile(file), (std::vector<IconImageSize>{{256, 256, 32}, {16, 16, 32}}));
}

TEST(PictureIconTest, Sha256OfKnownTexts) {
  EXPECT_EQ(Sha256Hex(""), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

class PictureIconFromShellTest : public ::testing::Test {
 protected:
  fake::FakeOs fake;
};

TEST_F(PictureIconFromShellTest, APictureBecomesAnIconOfFiveSizesNamedByItsDigest) {
  fake.shell.pictures["picture-a"] = Filled(4, 2, {255, 0, 0, 255});
  const PictureIcon icon = MakePictureIcon(fake.shell, "picture-a", L"a.png");
  ASSERT_TRUE(icon.ok()) << Narrow(icon.problem);
  EXPECT_EQ(icon.fileName, L"853e285527739a611f8018c334878d2c86132b8975c9619db9e0e48de605d202.ico");
  EXPECT_EQ(
      ParseIconFile(icon.bytes),
      (std::vector<IconImageSize>{{16, 16, 32}, {24, 24, 32}, {32, 32, 32}, {48, 48, 32}, {256, 256, 32}}));
  // The 256-pixel image is the encoder's: its pixels, padding transparent.
  const std::uint32_t offset = static_cast<unsigned char>(icon.bytes[6 + 4 * 16 + 12]) |
                               static_cast<unsigned char>(icon.bytes[6 + 4 * 16 + 13]) << 8;
  const std::string png = icon.bytes.substr(offset);
  ASSERT_EQ(png.rfind("PNG256x256:", 0), 0u);
  RgbaImage large{256, 256, std::vector<std::uint8_t>(png.begin() + 11, png.end())};
  EXPECT_EQ(At(large, 0, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(At(large, 128, 128), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(large, 255, 255), (Pixel{0, 0, 0, 0}));
  // The 16-pixel DIB, bottom-up: its top-left pixel is the last row's first.
  const std::size_t sixteen = static_cast<unsigned char>(icon.bytes[6 + 12]);
  EXPECT_EQ(icon.bytes.substr(sixteen + 40 + 15 * 16 * 4, 4), std::string("\0\0\0\0", 4));
  EXPECT_EQ(icon.bytes.substr(sixteen + 40 + 8 * 16 * 4, 4), std::string("\0\0\xff\xff", 4));
}

TEST_F(PictureIconFromShellTest, RefusesWhatItCannotOrShouldNotMakeAnIconOf) {
  fake.shell.pictures["wide"] = RgbaImage{10001, 5, {}};
  fake.shell.pictures["tall"] = RgbaImage{3, 10001, {}};
  fake.shell.pictures["empty"] = RgbaImage{0, 0, {}};
  fake.shell.pictures["damaged"] = RgbaImage{4, 4, {}};
  const struct {
    std::string bytes;
    const wchar_t* problem;
  } cases[] = {
      {"wide", L"p.png is 10001 x 5 pixels; Tarrow makes icons of pictures of at most 10000 pixels a side."},
      {"tall", L"p.png is 3 x 10001 pixels; Tarrow makes icons of pictures of at most 10000 pixels a side."},
      {"empty", L"p.png cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or GIF file."},
      {"damaged", L"p.png cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or GIF file."},
      {"not a picture",
       L"p.png cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or GIF file."},
      {std::string(kMaxPictureBytes + 1, 'x'),
       L"p.png is larger than 50 MB, the most Tarrow makes an icon of."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.problem));
    const PictureIcon icon = MakePictureIcon(fake.shell, c.bytes, L"p.png");
    EXPECT_EQ(icon.problem, c.problem);
    EXPECT_TRUE(icon.bytes.empty());
    EXPECT_TRUE(icon.fileName.empty());
  }
  fake.shell.pictures["edge"] = Filled(10000, 1, {1, 2, 3, 4});
  EXPECT_TRUE(MakePictureIcon(fake.shell, "edge", L"p.png").ok()) << "10,000 pixels a side is allowed";

  fake.shell.failPngEncoding = true;
  EXPECT_EQ(MakePictureIcon(fake.shell, "edge", L"p.png").problem,
            L"The icon of p.png could not be made: the system could not encode its image.");
}

TEST_F(PictureIconFromShellTest, AFileIsCheckedForItsSizeBeforeItIsRead) {
  fake.shell.pictures["picture-a"] = Filled(1, 1, {1, 2, 3, 255});
  fake.files.files[L"C:\\a.png"] = "picture-a";
  EXPECT_EQ(MakePictureIconFromFile(fake.os, L"C:\\a.png").fileName,
            L"853e285527739a611f8018c334878d2c86132b8975c9619db9e0e48de605d202.ico");
  EXPECT_EQ(MakePictureIconFromFile(fake.os, L"C:\\missing.png").problem, L"C:\\missing.png cannot be read.");
  fake.files.files[L"C:\\huge.png"] = std::string(kMaxPictureBytes + 1, 'x');
  EXPECT_EQ(MakePictureIconFromFile(fake.os, L"C:\\huge.png").problem,
            L"C:\\huge.png is larger than 50 MB, the most Tarrow makes an icon of.");
}

}  // namespace
}  // namespace tarrow
