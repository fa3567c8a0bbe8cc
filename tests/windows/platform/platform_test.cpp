// The OS boundary and the procedures over it, against Wine's real registry,
// file system and shell.
#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <gtest/gtest.h>
#include <optional>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow {
namespace {

using tarrow::testing::Fixture;
using tarrow::testing::ScratchKey;
using tarrow::testing::SystemFile;

Os& os() {
  return win32::RealOs();
}

TEST(Win32Registry, TextRoundTripsWithExactlyOneTerminator) {
  ScratchKey scratch(L"TarrowTest.Registry");
  scratch.Create(L"DefaultIcon");
  const std::wstring path = scratch.name() + L"\\DefaultIcon";
  const std::wstring text = L"C:\\Icons\\\u00c4\u0416\u4e2d.dll,3";
  ASSERT_TRUE(RegWriteValue(os().registry, kClassesRoot, path, L"", text, kRegSz));

  DWORD type = 0;
  wchar_t data[64] = {};
  DWORD bytes = sizeof data;
  ASSERT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                           &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (text.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(RegReadValue(os().registry, kClassesRoot, path, L""), text);
}

TEST(Win32Registry, ReadsKeepWhatWasStored) {
  ScratchKey scratch(L"TarrowTest.Values");
  const wchar_t bare[] = {L'x', L'.', L'd', L'l', L'l'};
  scratch.SetRaw(L"", L"bare", REG_SZ, bare, sizeof bare);
  const wchar_t expand[] = L"  %SystemRoot%\\a.dll,1";
  scratch.SetRaw(L"", L"expand", REG_EXPAND_SZ, expand, sizeof expand);
  const BYTE binary[] = {1, 2, 3};
  scratch.SetRaw(L"", L"binary", REG_BINARY, binary, sizeof binary);
  const DWORD number = 7;
  scratch.SetRaw(L"", L"number", REG_DWORD, &number, sizeof number);

  auto& reg = os().registry;
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, scratch.name(), L"bare"), L"x.dll");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, scratch.name(), L"expand"), L"%SystemRoot%\\a.dll,1");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, scratch.name(), L"binary"), L"");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, scratch.name(), L"missing"), L"");
  EXPECT_EQ(RegReadValue(reg, kClassesRoot, scratch.name() + L"\\nokey", L""), L"");

  RegKey key = 0;
  ASSERT_EQ(reg.OpenKey(kClassesRoot, scratch.name(), RegAccess::Read, key), kSuccess);
  RegValue value;
  EXPECT_EQ(RegReadOpenValue(reg, key, L"number", value), kSuccess);
  EXPECT_EQ(std::get<std::int32_t>(value), 7);
  EXPECT_EQ(RegReadOpenValue(reg, key, L"binary", value), kUnhandledType);
  reg.CloseKey(key);
}

TEST(Win32Registry, WriteToAMissingKeyCreatesNothing) {
  ScratchKey scratch(L"TarrowTest.Missing");
  Status status = kSuccess;
  EXPECT_FALSE(RegWriteValue(os().registry, kClassesRoot, scratch.name() + L"\\DefaultIcon", L"",
                             std::wstring(L"a,1"), kRegSz, &status));
  EXPECT_EQ(status, kErrorFileNotFound);
  HKEY key = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_CLASSES_ROOT, scratch.name().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST(Win32Registry, ListsSubkeysInEnumerationOrder) {
  ScratchKey scratch(L"TarrowTest.List");
  for (const auto* name : {L"b", L".a", L"c"}) scratch.Create(name);
  std::vector<std::wstring> names;
  std::int32_t index = 0;
  RegListSubkeys(os().registry, kClassesRoot, scratch.name(), names, index);
  ASSERT_EQ(index, 3);
  std::vector<std::wstring> expected;
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, scratch.name().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = 256;
    if (::RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    expected.emplace_back(name, size);
  }
  ::RegCloseKey(key);
  EXPECT_EQ(names, expected);

  std::int32_t count = 0;
  std::vector<std::wstring> root;
  RegListSubkeys(os().registry, kClassesRoot, L"", root, count);
  EXPECT_GT(count, 100) << "Wine registers many types";
}

TEST(Win32Files, FileExistsOnRealPaths) {
  const std::wstring ico = Fixture(L"three-sizes.ico");
  const std::wstring folder = tarrow::testing::Fixture(L"");
  EXPECT_TRUE(FileExists(os().files, ico));
  EXPECT_TRUE(FileExists(os().files, ico + L"\\"));
  EXPECT_FALSE(FileExists(os().files, ico + L"\\\\"));
  EXPECT_FALSE(FileExists(os().files, folder));
  EXPECT_FALSE(FileExists(os().files, folder.substr(0, folder.size() - 1)));
  EXPECT_FALSE(FileExists(os().files, L""));
  EXPECT_FALSE(FileExists(os().files, L"\\"));
  EXPECT_FALSE(FileExists(os().files, ico + L".missing"));
}

TEST(Win32Files, CreateCommitReplaceWorkAtLongNonAsciiPaths) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"tarrow \u00e9\u4e2d";
  auto& files = os().files;
  ASSERT_TRUE(files.EnsureFolder(folder));
  for (int i = 0; i < 3; ++i) {
    folder += L"\\" + std::wstring(90, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(files.EnsureFolder(folder));
  }
  const std::wstring target = folder + L"\\Defaults.dat";
  ASSERT_GT(target.size(), static_cast<std::size_t>(MAX_PATH));
  auto out = files.Create(target + L".tmp");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("line,1\r\n"));
  EXPECT_TRUE(out->Commit());
  EXPECT_TRUE(files.Replace(target + L".tmp", target));
  EXPECT_TRUE(FileExists(files, target));
  EXPECT_FALSE(FileExists(files, target + L".tmp"));
  EXPECT_EQ(files.ReadAll(target).value_or(""), "line,1\r\n");
  EXPECT_TRUE(files.Remove(target));
}

TEST(Win32Shell, SystemFolderMatchesThePlatform) {
  wchar_t dir[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  EXPECT_EQ(GetSystemFolder(os().shell), std::wstring(dir, n));
  EXPECT_FALSE(os().shell.ProgramFolder().empty());
}

// The pixels of an icon, to compare two extractions.
std::vector<unsigned char> Pixels(HICON icon) {
  ICONINFO info{};
  if (!::GetIconInfo(icon, &info)) return {};
  win32::UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bm{};
  ::GetObjectW(color ? color.get() : mask.get(), sizeof bm, &bm);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<unsigned char> bits(static_cast<std::size_t>(bm.bmWidth) * std::abs(bm.bmHeight) * 4);
  HDC dc = ::GetDC(nullptr);
  ::GetDIBits(dc, color ? color.get() : mask.get(), 0, std::abs(bm.bmHeight), bits.data(), &bi,
              DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  return bits;
}

TEST(Win32Shell, BatchExtractionGivesTheIconsExtractIconGives) {
  auto& shell = os().shell;
  const std::wstring shell32 = SystemFile(L"shell32.dll");
  const int count =
      static_cast<int>(reinterpret_cast<UINT_PTR>(::ExtractIconW(nullptr, shell32.c_str(), UINT(-1))));
  ASSERT_GT(count, 20);
  EXPECT_EQ(shell.CountIcons(shell32), count);

  const int size = ::GetSystemMetrics(SM_CXICON);
  const long liveBefore = win32::Win32Shell::LiveIcons();
  const auto icons = shell.ExtractIcons(shell32, 0, count, size);
  ASSERT_EQ(icons.size(), static_cast<std::size_t>(count));
  for (int i = 0; i < count; i += 7) {
    SCOPED_TRACE(i);
    win32::UniqueHicon single(::ExtractIconW(nullptr, shell32.c_str(), static_cast<UINT>(i)));
    ASSERT_TRUE(single);
    ASSERT_NE(icons[static_cast<std::size_t>(i)], 0u);
    EXPECT_EQ(Pixels(reinterpret_cast<HICON>(icons[static_cast<std::size_t>(i)])), Pixels(single.get()));
  }
  for (auto icon : icons) shell.DestroyIcon(icon);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), liveBefore);
}

TEST(Win32Shell, IconFilesAndNonIconFiles) {
  auto& shell = os().shell;
  const std::wstring ico = Fixture(L"three-sizes.ico");
  EXPECT_EQ(shell.CountIcons(ico), 1);
  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    const auto icons = shell.ExtractIcons(ico, 0, 1, size);
    ASSERT_EQ(icons.size(), 1u);
    ASSERT_NE(icons[0], 0u);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(reinterpret_cast<HICON>(icons[0]), &info));
    BITMAP bm{};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, size) << "the file's own image of that size, not a scaled one";
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    shell.DestroyIcon(icons[0]);
  }
  for (const auto* name : {L"not-an-icon.ico", L"missing.dll"}) {
    SCOPED_TRACE(::testing::Message() << (name[0] == L'n' ? "not an icon" : "missing"));
    const std::wstring path = Fixture(name);
    EXPECT_EQ(shell.CountIcons(path), 0);
    const auto icons = shell.ExtractIcons(path, 0, 1, 32);
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0], 0u);
  }
}

// The system's reader must never be given a damaged file, even one that was
// whole when it was last read.
TEST(Win32Shell, AnIconFileCutShortAfterItWasReadIsNotReadAgain) {
  auto& shell = os().shell;
  const auto whole = tarrow::testing::FileBytes(Fixture(L"three-sizes.ico"));
  ASSERT_TRUE(whole);
  wchar_t folder[MAX_PATH];
  const std::wstring path = std::wstring(folder, ::GetTempPathW(MAX_PATH, folder)) + L"tarrow-cut.ico";
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(path, *whole));
  EXPECT_EQ(shell.CountIcons(path), 1);
  // The directory stays; the images it points at are gone.
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(path, whole->substr(0, whole->size() / 2)));
  EXPECT_EQ(shell.CountIcons(path), 0);
  EXPECT_EQ(shell.ExtractIcons(path, 0, 1, 48), std::vector<IconHandle>{0});
  ::DeleteFileW(path.c_str());
}

TEST(Win32Shell, ExpandsEnvironmentReferences) {
  wchar_t root[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
  EXPECT_EQ(os().shell.ExpandEnvironment(L"%SystemRoot%\\x.dll,1"), std::wstring(root, n) + L"\\x.dll,1");
  EXPECT_EQ(os().shell.ExpandEnvironment(L"%NoSuchTarrowVar%\\x"), L"%NoSuchTarrowVar%\\x");
  EXPECT_EQ(os().shell.LowerCase(L"C:\\\u00c4BC.DLL"), L"c:\\\u00e4bc.dll");
}

TEST(Win32Shell, SaysWhichIconTheShellGivesAnExtension) {
  // Wine's own association, as its shell reads it (the machine layer).
  EXPECT_EQ(os().shell.ShellIconLocation(L".chm"), std::optional<std::wstring>(L"C:\\windows\\hh.exe,0"));
  // No association at all: Wine's shell has no answer (Windows' names the
  // icon of a file of no known type).
  EXPECT_EQ(os().shell.ShellIconLocation(L".tarrownosuchtype"), std::nullopt);
  // Asked again with the image re-read: nothing changes in the answer.
  os().shell.NotifyIconImageChanged(L".chm");
  EXPECT_EQ(os().shell.ShellIconLocation(L".chm"), std::optional<std::wstring>(L"C:\\windows\\hh.exe,0"));
}

}  // namespace
}  // namespace tarrow
