#include "picker/preview_sizes.h"

#include <gtest/gtest.h>

namespace tarrow {
namespace {

using Images = std::vector<IconImageSize>;
using Sizes = std::array<PreviewSize, 4>;

TEST(PreviewSizesTest, EachOfExplorersSizesIsHeldOrScaledFromTheClosestImage) {
  const Images all{{256, 256, 32}, {48, 48, 32}, {32, 32, 32}, {16, 16, 32}, {16, 16, 8}};
  const Images only32{{32, 32, 32}};
  const struct {
    const char* name;
    Images images;
    int dpi;
    Sizes expected;
  } cases[] = {
      {"every size held", all, 96, {{{16, true, 0}, {32, true, 0}, {48, true, 0}, {256, true, 0}}}},
      {"one size: smaller ones scaled down from it, larger ones up",
       only32,
       96,
       {{{16, false, 32}, {32, true, 0}, {48, false, 32}, {256, false, 32}}}},
      {"at 144 DPI the sizes grow by half",
       all,
       144,
       {{{24, false, 32}, {48, true, 0}, {72, false, 48}, {384, false, 256}}}},
      {"of two as close, the larger", Images{{16, 16, 32}, {32, 32, 32}}, 144,
       {{{24, false, 32}, {48, false, 32}, {72, false, 32}, {384, false, 32}}}},
      {"the closer smaller one before a far larger one", Images{{16, 16, 32}, {256, 256, 32}}, 96,
       {{{16, true, 0}, {32, false, 16}, {48, false, 16}, {256, true, 0}}}},
      {"at 120 DPI 16 becomes 20",
       only32,
       120,
       {{{20, false, 32}, {40, false, 32}, {60, false, 32}, {320, false, 32}}}},
      {"a tall image is never what Windows draws a square from",
       Images{{194, 313, 32}, {48, 48, 8}},
       96,
       {{{16, false, 48}, {32, false, 48}, {48, true, 0}, {256, false, 48}}}},
      {"at 110 DPI each size rounds to the nearest pixel",
       all,
       110,
       {{{18, false, 16}, {37, false, 32}, {55, false, 48}, {293, false, 256}}}},
      {"no image at all", Images{}, 96, {{{16, false, 0}, {32, false, 0}, {48, false, 0}, {256, false, 0}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PreviewSizes(c.images, c.dpi), c.expected);
  }
}

TEST(PreviewSizesTest, TheFilesOwnSizesAreListedOnceSmallestFirst) {
  EXPECT_EQ(HeldSizesText({{256, 256, 32}, {48, 48, 32}, {32, 32, 32}, {16, 16, 32}, {16, 16, 8}}),
            L"Holds 16, 32, 48 and 256 pixels.");
  EXPECT_EQ(HeldSizesText({{32, 32, 4}}), L"Holds 32 pixels only.");
  EXPECT_EQ(HeldSizesText({{194, 313, 32}, {48, 48, 8}}), L"Holds 48 and 194x313 pixels.");
  EXPECT_EQ(HeldSizesText({}), L"Holds no images.");
  EXPECT_EQ(PreviewCaption({24, false, 16}), L"24 px: scaled from 16");
  EXPECT_EQ(PreviewCaption({32, true, 0}), L"32 px: held");
  EXPECT_EQ(PreviewCaption({16, false, 0}), L"16 px: no image");
}

}  // namespace
}  // namespace tarrow
