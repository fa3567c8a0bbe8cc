// The change journal and Defaults.dat over the real file system and registry,
// and what they do when the disk fills up while their file is written.
#include <windows.h>

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "platform/files.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow {
namespace {

using tarrow::testing::FileBytes;

// Wine's drive Z: is the unix root; every write to /dev/full fails with a
// full disk.
constexpr wchar_t kFullDevice[] = L"Z:\\dev\\full";

bool IsFullDevice(const std::wstring& path) {
  return win32::RealShell().LowerCase(path).rfind(L"z:\\dev\\", 0) == 0;
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Windows has no such device: there the full-disk tests have nothing to run
// on. Under Wine it must be there, or they would pass without checking.
#define REQUIRE_FULL_DEVICE()                                                                               \
  do {                                                                                                      \
    if (!UnderWine()) GTEST_SKIP() << "no unix /dev/full outside Wine";                                     \
    ::HANDLE probe = ::CreateFileW(kFullDevice, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, \
                                   OPEN_EXISTING, 0, nullptr);                                              \
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << "Wine cannot open Z:\\dev\\full";                             \
    ::CloseHandle(probe);                                                                                   \
  } while (false)

// The real file system, except that every temporary file goes to the full
// device: the writers meet a real full disk on the file they are writing. The
// device itself is never removed or replaced.
class FullDiskFiles : public FileSystem {
 public:
  bool CanOpenForRead(const std::wstring& path) override { return real_.CanOpenForRead(path); }
  bool Exists(const std::wstring& path) override { return real_.Exists(path); }
  std::optional<std::string> ReadAll(const std::wstring& path) override { return real_.ReadAll(path); }
  std::unique_ptr<OutputFile> Create(const std::wstring& path) override {
    const bool temporary = path.size() > 4 && path.substr(path.size() - 4) == L".tmp";
    return real_.Create(temporary ? kFullDevice : path);
  }
  bool Replace(const std::wstring& from, const std::wstring& to) override {
    return !IsFullDevice(from) && !IsFullDevice(to) && real_.Replace(from, to);
  }
  bool Remove(const std::wstring& path) override { return !IsFullDevice(path) && real_.Remove(path); }
  bool EnsureFolder(const std::wstring& path) override { return real_.EnsureFolder(path); }
  bool RemoveEmptyFolder(const std::wstring& path) override { return real_.RemoveEmptyFolder(path); }
  std::optional<std::uint64_t> FileSize(const std::wstring& path) override { return real_.FileSize(path); }
  bool EnsureProtectedFolder(const std::wstring& path) override { return real_.EnsureProtectedFolder(path); }
  bool OnlyAdministratorsCanChange(const std::wstring& path) override {
    return real_.OnlyAdministratorsCanChange(path);
  }

 private:
  win32::Win32FileSystem real_;
};

// The real shell with the program and the user's data in a folder of the test.
class FolderShell : public win32::Win32Shell {
 public:
  explicit FolderShell(std::wstring folder) : folder_(std::move(folder)) {}
  std::wstring ProgramFolder() override { return folder_; }
  std::wstring LocalAppDataFolder() override { return folder_; }

 private:
  std::wstring folder_;
};

class JournalOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    folder_ = std::wstring(temp, ::GetTempPathW(MAX_PATH, temp)) + L"tarrow journal \u00e9";
    Clean();
    ASSERT_TRUE(files_.EnsureFolder(folder_));
  }
  void TearDown() override { Clean(); }
  void Clean() {
    for (const wchar_t* name : {L"\\Tarrow\\Changes.journal", L"\\Tarrow\\Changes.journal.tmp",
                                L"\\Defaults.dat", L"\\Defaults.dat.tmp"}) {
      ::DeleteFileW((folder_ + name).c_str());
    }
    ::RemoveDirectoryW((folder_ + L"\\Tarrow").c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }

  std::wstring folder_;
  win32::Win32FileSystem files_;
  FullDiskFiles fullDisk_;
};

std::vector<JournalEntry> Entries() {
  return {{ClassLayer::User, L"txtfile", true, true, true, kRegExpandSz, {0x61, 0, 0x2c, 0, 0x31, 0, 0, 0}},
          {ClassLayer::Machine, L"Odd, \u00e9=\tname", true, false, false, 0, {}}};
}

TEST(Win32Files, AWriteToAFullDiskReportsFailure) {
  REQUIRE_FULL_DEVICE();
  win32::Win32FileSystem files;
  auto file = files.Create(kFullDevice);
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->Write("TarrowJournal 1\n"));
  EXPECT_FALSE(file->Commit());
}

TEST_F(JournalOnDisk, SavedAndLoadedOverRealFiles) {
  FolderShell shell(folder_);
  Os os{win32::RealOs().registry, files_, shell};
  ASSERT_TRUE(SaveRecord(os, RecordScope::User, Entries()));
  const auto load = LoadRecord(os, RecordScope::User);
  EXPECT_EQ(load.state, JournalState::Intact);
  EXPECT_EQ(load.entries, Entries());
  EXPECT_FALSE(files_.Exists(JournalPath(shell) + L".tmp"));
  ASSERT_TRUE(SaveRecord(os, RecordScope::User, {}));
  EXPECT_EQ(LoadRecord(os, RecordScope::User).state, JournalState::Intact);
}

TEST_F(JournalOnDisk, AJournalThatMeetsAFullDiskLeavesTheOldOneAndNoTemporaryFile) {
  REQUIRE_FULL_DEVICE();
  FolderShell shell(folder_);
  Os real{win32::RealOs().registry, files_, shell};
  const std::vector<JournalEntry> old = {Entries()[0]};
  ASSERT_TRUE(SaveRecord(real, RecordScope::User, old));
  const auto before = FileBytes(JournalPath(shell));
  ASSERT_TRUE(before);

  Os full{win32::RealOs().registry, fullDisk_, shell};
  EXPECT_FALSE(SaveRecord(full, RecordScope::User, Entries()));
  EXPECT_EQ(FileBytes(JournalPath(shell)), before);
  EXPECT_FALSE(files_.Exists(JournalPath(shell) + L".tmp"));
  EXPECT_EQ(LoadRecord(real, RecordScope::User).entries, old);
}

TEST_F(JournalOnDisk, ASnapshotThatMeetsAFullDiskLeavesNoFile) {
  REQUIRE_FULL_DEVICE();
  FolderShell shell(folder_);
  Os full{win32::RealOs().registry, fullDisk_, shell};
  SnapshotWriter writer(full);
  writer.Begin();
  ASSERT_TRUE(writer.active());
  writer.Record(L"txtfile", L"%SystemRoot%\\system32\\imageres.dll,-102");
  EXPECT_FALSE(writer.End());
  for (const auto& path : {SnapshotPathBesideProgram(shell), SnapshotPathPerUser(shell)}) {
    EXPECT_FALSE(files_.Exists(path));
    EXPECT_FALSE(files_.Exists(path + L".tmp"));
  }
}

// The user's layer, which Wine keeps apart from HKEY_CLASSES_ROOT.
class UserClassKey {
 public:
  explicit UserClassKey(std::wstring progId) : path_(L"Software\\Classes\\" + progId) { Delete(); }
  ~UserClassKey() { Delete(); }
  void SetIcon(DWORD type, const std::vector<BYTE>& bytes) const {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\DefaultIcon").c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (path_ + L"\\DefaultIcon").c_str(), nullptr, type,
                                bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }

 private:
  void Delete() const { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
  std::wstring path_;
};

TEST(Win32Journal, ReadsTheOriginalBytesFromTheRealRegistry) {
  UserClassKey key(L"TarrowTest.Journal");
  const std::vector<BYTE> odd = {0x41, 0, 0x42};  // no terminator, odd length
  key.SetIcon(REG_SZ, odd);
  auto& reg = win32::RealOs().registry;
  const auto original = ReadOriginal(reg, ClassLayer::User, L"TarrowTest.Journal");
  ASSERT_TRUE(original);
  EXPECT_TRUE(original->classKeyExisted && original->iconKeyExisted && original->valueExisted);
  EXPECT_EQ(original->type, kRegSz);
  EXPECT_EQ(original->bytes, std::vector<unsigned char>(odd.begin(), odd.end()));

  const auto absent = ReadOriginal(reg, ClassLayer::Machine, L"TarrowTest.Journal");
  ASSERT_TRUE(absent);
  EXPECT_FALSE(absent->classKeyExisted || absent->iconKeyExisted || absent->valueExisted);

  const DWORD number = 7;
  key.SetIcon(REG_DWORD,
              {reinterpret_cast<const BYTE*>(&number), reinterpret_cast<const BYTE*>(&number + 1)});
  EXPECT_FALSE(ReadOriginal(reg, ClassLayer::User, L"TarrowTest.Journal"));
}

}  // namespace
}  // namespace tarrow
