// What the robustness tests share: the main window in-process over the real
// registry and files, the registry's icon values as a whole, files made at
// test time, and the pictures the list shows.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "catalog/snapshot.h"
#include "platform/win32/win32_os.h"
#include "tarrow_process.h"
#include "wine_support.h"

namespace tarrow::testing {

// The default value of every top-level key's DefaultIcon: all a restore
// could write to, read raw.
inline std::map<std::wstring, RawValue> ClassesRootIcons() {
  std::map<std::wstring, RawValue> icons;
  wchar_t name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD chars = static_cast<DWORD>(std::size(name));
    if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars, nullptr, nullptr, nullptr, nullptr)) break;
    const std::wstring key = std::wstring(name, chars) + L"\\DefaultIcon";
    if (RawValue value = DefaultValue(key); value.present) icons.emplace(key, std::move(value));
  }
  return icons;
}

// Where two readings of ClassesRootIcons differ, one line per key.
inline std::vector<std::string> Differences(const std::map<std::wstring, RawValue>& actual,
                                            const std::map<std::wstring, RawValue>& expected) {
  std::vector<std::string> lines;
  auto note = [&](const std::wstring& key) {
    const auto a = actual.find(key), e = expected.find(key);
    const RawValue none;
    const RawValue& got = a == actual.end() ? none : a->second;
    const RawValue& want = e == expected.end() ? none : e->second;
    if (!(got == want))
      lines.push_back(Utf8(key) + ": " + ::testing::PrintToString(got) + ", not " +
                      ::testing::PrintToString(want));
  };
  for (const auto& [key, value] : actual) note(key);
  for (const auto& [key, value] : expected) {
    if (!actual.contains(key)) note(key);
  }
  return lines;
}

// A file's bytes and last write: equal stamps mean it was not written.
struct FileStamp {
  std::optional<std::string> bytes;
  FILETIME written{};
  bool operator==(const FileStamp& other) const {
    return bytes == other.bytes && ::CompareFileTime(&written, &other.written) == 0;
  }
};

inline FileStamp StampOf(const std::wstring& path) {
  FileStamp stamp{FileBytes(win32::LongPath(path)), {}};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (::GetFileAttributesExW(win32::LongPath(path).c_str(), GetFileExInfoStandard, &data))
    stamp.written = data.ftLastWriteTime;
  return stamp;
}

inline bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(win32::LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder beside the test program for files made at test time, emptied
// before and after.
class TestFolder {
 public:
  explicit TestFolder(const std::wstring& name) : path_(FolderOf(ExePath()) + L"\\" + name) {
    Remove();
    std::filesystem::create_directories(win32::LongPath(path_));
  }
  ~TestFolder() { Remove(); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  const std::wstring& path() const { return path_; }
  // Writes a file into the folder and gives its path.
  std::wstring Put(const std::wstring& name, const std::string& bytes) const {
    const std::wstring file = path_ + L"\\" + name;
    EXPECT_TRUE(WriteFileBytes(win32::LongPath(file), bytes)) << Utf8(name);
    return file;
  }

 private:
  void Remove() const {
    std::error_code ignored;
    std::filesystem::remove_all(win32::LongPath(path_), ignored);
  }
  std::wstring path_;
};

// A folder name with letters from beyond Latin-1 and one beyond the first
// plane (a surrogate pair in UTF-16).
inline constexpr wchar_t kNonAscii[] = L"\u00c4rger-\u0416\u0443\u043a-\u4e2d\u6587-\U0001F600";

// The main window created in-process over the real (Wine) registry and
// files, with message boxes answered by the test. No test starts or ends
// with a snapshot of another's.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSnapshots();
    window_ = std::make_unique<app::MainWindow>(os_);
    ASSERT_TRUE(window_->Create());
  }
  void TearDown() override {
    window_.reset();
    DeleteSnapshots();
  }

  std::wstring SnapshotFile() { return SnapshotPathBesideProgram(shell_); }
  // The listed item of the extension; nullptr when it is not listed.
  const TypeItem* Listed(const std::wstring& extension) const {
    for (const auto& item : window_->types()) {
      if (item.extension == extension) return &item;
    }
    return nullptr;
  }
  // The picture the list shows for the item.
  std::vector<DWORD> PictureOf(const TypeItem& item) const {
    const HIMAGELIST list = ListView_GetImageList(window_->control(Part::TypeList), LVSIL_SMALL);
    return PictureBits(list, window_->images().IndexOf(item.picture));
  }

  TestShell shell_;
  Os os_{win32::RealOs().registry, win32::RealOs().files, shell_};
  void Settle() { SettleIcons(*window_); }
  std::unique_ptr<app::MainWindow> window_;
};

// A file type of the test's own: extension, ProgID with a description, and
// a DefaultIcon value, all gone afterwards.
class ScratchType {
 public:
  ScratchType(const std::wstring& extension, const std::wstring& progId, const std::wstring& description)
      : extension_(extension), progId_(progId) {
    extension_.SetText(L"", progId);
    progId_.SetText(L"", description);
  }
  const ScratchKey& extensionKey() const { return extension_; }
  const ScratchKey& progIdKey() const { return progId_; }
  const std::wstring& extension() const { return extension_.name(); }
  const std::wstring& progId() const { return progId_.name(); }
  std::wstring iconKey() const { return progId_.name() + L"\\DefaultIcon"; }
  void SetIcon(const std::wstring& location, DWORD type = REG_SZ) const {
    progId_.SetText(L"DefaultIcon", location, type);
  }

 private:
  ScratchKey extension_;
  ScratchKey progId_;
};

}  // namespace tarrow::testing
