#include "platform/icon_directory.h"

#include <gtest/gtest.h>
#include <string>

namespace tarrow {
namespace {

// Header: reserved, type, count (little-endian words).
std::string Header(int type, int count) {
  return {'\0', '\0', static_cast<char>(type), '\0', static_cast<char>(count), static_cast<char>(count >> 8)};
}

std::string Word(int value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8)};
}

std::string Dword(unsigned value) {
  return Word(static_cast<int>(value & 0xFFFF)) + Word(static_cast<int>(value >> 16));
}

// One entry's common part: width, height, colours, reserved, planes, bits,
// bytes of the image.
std::string Common(int width, int height, int colours, int bits, unsigned bytes) {
  return std::string{static_cast<char>(width), static_cast<char>(height), static_cast<char>(colours), '\0'} +
         Word(1) + Word(bits) + Dword(bytes);
}

std::string GroupEntry(int width, int height, int colours, int bits, int id = 7) {
  return Common(width, height, colours, bits, 40) + Word(id);
}

std::string BigDword(unsigned value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

// A PNG's signature and the start of its header chunk.
std::string Png(unsigned width, unsigned height) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + BigDword(13) + "IHDR" + BigDword(width) + BigDword(height) +
         std::string("\x08\x06\0\0\0", 5);
}

// A BITMAPINFOHEADER: its height counts the colour rows and the mask rows.
std::string Bitmap(int width, int doubledHeight, unsigned headerBytes = 40) {
  return Dword(headerBytes) + Dword(static_cast<unsigned>(width)) +
         Dword(static_cast<unsigned>(doubledHeight)) + Word(1) + Word(32) + std::string(24, '\0');
}

std::string FileEntry(int width, int height, int colours, int bits, unsigned bytes, unsigned offset) {
  return Common(width, height, colours, bits, bytes) + Dword(offset);
}

TEST(IconDirectoryTest, GroupEntriesGiveTheirSizesWithZeroAs256AndBitsFromColoursWhenMissing) {
  const struct {
    int width, height, colours, bits;
    IconImageSize expected;
  } cases[] = {
      {32, 32, 0, 32, {32, 32, 32}}, {0, 0, 0, 32, {256, 256, 32}}, {48, 0, 0, 8, {48, 256, 8}},
      {16, 16, 16, 0, {16, 16, 4}},  {16, 16, 2, 0, {16, 16, 1}},   {16, 16, 0, 0, {16, 16, 8}},
      {16, 16, 255, 0, {16, 16, 8}}, {16, 16, 3, 0, {16, 16, 2}},   {255, 1, 0, 24, {255, 1, 24}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " colours " << c.colours);
    const auto images = ParseIconGroup(Header(1, 1) + GroupEntry(c.width, c.height, c.colours, c.bits));
    ASSERT_TRUE(images.has_value());
    ASSERT_EQ(images->size(), 1u);
    EXPECT_EQ((*images)[0], c.expected);
  }
}

TEST(IconDirectoryTest, GroupListsEveryEntryInOrderAndRefusesWhatDoesNotFit) {
  const std::string two = Header(1, 2) + GroupEntry(16, 16, 0, 32) + GroupEntry(32, 32, 0, 8);
  const auto images = ParseIconGroup(two);
  ASSERT_TRUE(images.has_value());
  EXPECT_EQ(*images, (std::vector<IconImageSize>{{16, 16, 32}, {32, 32, 8}}));

  EXPECT_FALSE(ParseIconGroup(two.substr(0, two.size() - 1))) << "the last entry cut short";
  EXPECT_FALSE(ParseIconGroup(Header(1, 0))) << "no image";
  EXPECT_FALSE(ParseIconGroup(Header(2, 1) + GroupEntry(16, 16, 0, 32))) << "a cursor";
  EXPECT_FALSE(ParseIconGroup(std::string("\1\0\1\0\1\0", 6) + GroupEntry(16, 16, 0, 32))) << "reserved";
  EXPECT_FALSE(ParseIconGroup(std::string("\0\0\1\0", 4))) << "a cut header";
  EXPECT_FALSE(ParseIconGroup(""));
  // 0x0101 entries announced: the count is a little-endian word.
  EXPECT_FALSE(ParseIconGroup(Header(1, 0x101) + GroupEntry(16, 16, 0, 32)));
}

TEST(IconDirectoryTest, FileImagesMustLieWithinTheFile) {
  // Header 6 + one entry 16 = 22 bytes before the image.
  const std::string image(40, 'x');
  const std::string whole = Header(1, 1) + FileEntry(32, 32, 0, 32, 40, 22) + image;
  const auto images = ParseIconFile(whole);
  ASSERT_TRUE(images.has_value());
  EXPECT_EQ(*images, (std::vector<IconImageSize>{{32, 32, 32}}));

  EXPECT_FALSE(ParseIconFile(whole.substr(0, whole.size() - 1))) << "the image cut by one byte";
  EXPECT_FALSE(ParseIconFile(Header(1, 1) + FileEntry(32, 32, 0, 32, 40, 23) + image)) << "offset one past";
  // An offset and size whose sum overflows 32 bits still lie past the end.
  EXPECT_FALSE(ParseIconFile(Header(1, 1) + FileEntry(32, 32, 0, 32, 0xFFFFFFF0u, 0x20) + image));
  EXPECT_FALSE(ParseIconFile(Header(1, 1) + GroupEntry(32, 32, 0, 32))) << "an entry two bytes short";
  EXPECT_TRUE(LooksLikeIconFile(Header(1, 0)));
  EXPECT_FALSE(LooksLikeIconFile("MZ\x90\0\3\0"));
}

TEST(IconDirectoryTest, AnEntryThatSays0TakesTheSizeTheImageItselfGives) {
  const struct {
    const char* name;
    int width, height;  // the entry's bytes
    std::string image;
    IconImageSize expected;
  } cases[] = {
      {"PNG", 0, 0, Png(256, 256), {256, 256, 32}},
      {"PNG larger than 256", 0, 0, Png(300, 200), {300, 200, 32}},
      {"bitmap, height doubled for the mask", 0, 0, Bitmap(194, 626), {194, 313, 32}},
      {"only the height says 0", 48, 0, Bitmap(48, 600), {48, 300, 32}},
      {"only the width says 0", 0, 48, Png(320, 48), {320, 48, 32}},
      {"a byte that holds the size wins", 48, 48, Png(300, 300), {48, 48, 32}},
      {"an image that says nothing", 0, 0, std::string(40, 'x'), {256, 256, 32}},
      {"a PNG cut in its header", 0, 0, Png(300, 300).substr(0, 23), {256, 256, 32}},
      {"an older, smaller bitmap header", 0, 0, Bitmap(194, 626, 12), {256, 256, 32}},
      {"a bitmap of no rows", 0, 0, Bitmap(194, 1), {256, 256, 32}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Header(1, 1) +
                             FileEntry(c.width, c.height, 0, 32, static_cast<unsigned>(c.image.size()), 22) +
                             c.image;
    const auto fromFile = ParseIconFile(file);
    ASSERT_TRUE(fromFile.has_value());
    EXPECT_EQ(*fromFile, (std::vector<IconImageSize>{c.expected}));

    // A program's group names its image by resource id, here 9.
    const auto fromGroup = ParseIconGroup(
        Header(1, 1) + GroupEntry(c.width, c.height, 0, 32, 9),
        [&](int id) { return id == 9 ? std::optional<std::string_view>(c.image) : std::nullopt; });
    ASSERT_TRUE(fromGroup.has_value());
    EXPECT_EQ(*fromGroup, (std::vector<IconImageSize>{c.expected}));
  }
  // Without its image, or with no image of that id, a 0 stays 256.
  EXPECT_EQ(ParseIconGroup(Header(1, 1) + GroupEntry(0, 0, 0, 32, 9)),
            (std::vector<IconImageSize>{{256, 256, 32}}));
  EXPECT_EQ(ParseIconGroup(Header(1, 1) + GroupEntry(0, 0, 0, 32, 9), [](int) { return std::nullopt; }),
            (std::vector<IconImageSize>{{256, 256, 32}}));
}

TEST(IconDirectoryTest, LargestFirstByAreaThenByBitsKeepingTiesInOrder) {
  std::vector<IconImageSize> images{{16, 16, 32}, {48, 48, 8}, {16, 16, 4}, {256, 256, 32},
                                    {48, 48, 32}, {32, 64, 8}, {64, 32, 8}};
  SortLargestFirst(images);
  EXPECT_EQ(
      images,
      (std::vector<IconImageSize>{
          {256, 256, 32}, {48, 48, 32}, {48, 48, 8}, {32, 64, 8}, {64, 32, 8}, {16, 16, 32}, {16, 16, 4}}));
}

}  // namespace
}  // namespace tarrow
