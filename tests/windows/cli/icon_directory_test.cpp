// The icon directories of real files, read as data by the Windows shell layer.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

using Images = std::vector<IconImageSize>;

TEST(ReadIconDirectory, AnIconFileIsOneIconWithItsImagesAsListed) {
  win32::Win32Shell shell;
  const IconDirectory ico = shell.ReadIconDirectory(Fixture(L"three-sizes.ico"));
  ASSERT_TRUE(ico.readable);
  ASSERT_EQ(ico.icons.size(), 1u);
  EXPECT_EQ(ico.icons[0], (Images{{32, 32, 32}, {16, 16, 32}, {48, 48, 32}}));
  EXPECT_TRUE(ico.damaged.empty());
}

TEST(ReadIconDirectory, AProgramsIconGroupAsTheResourceCompilerWroteIt) {
  win32::Win32Shell shell;
  const IconDirectory program = shell.ReadIconDirectory(ExePath());
  ASSERT_TRUE(program.readable);
  ASSERT_EQ(program.icons.size(), 1u);
  EXPECT_EQ(program.icons[0], (Images{{32, 32, 4},
                                      {16, 16, 32},
                                      {24, 24, 32},
                                      {32, 32, 32},
                                      {48, 48, 32},
                                      {64, 64, 32},
                                      {256, 256, 32}}));

  const IconDirectory none = shell.ReadIconDirectory(WindowsPath(TARROW_NO_RESOURCES_EXE));
  EXPECT_TRUE(none.readable);
  EXPECT_TRUE(none.icons.empty());
}

TEST(ReadIconDirectory, AnImageOf256OrMoreHasTheSizeTheImageItselfGives) {
  // Wine's winecfg.exe: its second icon's images say 0 in their group, and
  // are 194 pixels wide and 313 high; listed as the group lists them.
  win32::Win32Shell shell;
  const IconDirectory directory = shell.ReadIconDirectory(SystemFile(L"winecfg.exe"));
  ASSERT_TRUE(directory.readable);
  ASSERT_GE(directory.icons.size(), 2u);
  EXPECT_EQ(directory.icons[1], (Images{{194, 313, 4}, {194, 313, 8}, {194, 313, 32}}));
  EXPECT_EQ(directory.icons[0][0], (IconImageSize{256, 256, 32}));
}

TEST(ReadIconDirectory, CountsTheIconsExtractionCounts) {
  win32::Win32Shell shell;
  for (const wchar_t* name : {L"shell32.dll", L"user32.dll", L"comctl32.dll"}) {
    const std::wstring file = SystemFile(name);
    SCOPED_TRACE(Utf8(file));
    const UINT expected = ::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0);
    const IconDirectory directory = shell.ReadIconDirectory(file);
    EXPECT_TRUE(directory.readable);
    EXPECT_EQ(directory.icons.size(), expected);
    EXPECT_TRUE(directory.damaged.empty());
  }
  // Found as extraction finds a bare name: in the system folder.
  EXPECT_EQ(shell.ReadIconDirectory(L"shell32.dll").icons.size(),
            ::ExtractIconExW(SystemFile(L"shell32.dll").c_str(), -1, nullptr, nullptr, 0));
}

TEST(ReadIconDirectory, DamagedMissingAndOtherFilesAreUnreadable) {
  const Scratch folder(L"cli-icon-files");
  const auto ico = FileBytes(Fixture(L"three-sizes.ico"));
  const auto program = FileBytes(ExePath());
  ASSERT_TRUE(ico && program);
  const std::wstring cutIco = folder / L"cut.ico";
  const std::wstring cutProgram = folder / L"cut.dll";
  ASSERT_TRUE(WriteFileBytes(cutIco, ico->substr(0, ico->size() - 1)));
  ASSERT_TRUE(WriteFileBytes(cutProgram, program->substr(0, program->size() / 2)));

  win32::Win32Shell shell;
  for (const std::wstring& file : {cutIco, cutProgram, Fixture(L"not-an-icon.ico"), folder / L"missing.dll",
                                   folder.path(), std::wstring()}) {
    SCOPED_TRACE(Utf8(file));
    const IconDirectory directory = shell.ReadIconDirectory(file);
    EXPECT_FALSE(directory.readable);
    EXPECT_TRUE(directory.icons.empty());
  }
}

}  // namespace
}  // namespace tarrow::testing
