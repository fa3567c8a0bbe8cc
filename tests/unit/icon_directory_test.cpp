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

std::string GroupEntry(int width, int height, int colours, int bits) {
  return Common(width, height, colours, bits, 40) + Word(7);
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
