// The OS boundary implemented with the Windows API (the W forms throughout).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/os.h"

namespace tarrow::win32 {

class Win32Registry : public Registry {
 public:
  Status OpenKey(RegKey root, const std::wstring& path, RegAccess access, RegKey& key) override;
  Status QueryValue(RegKey key, const std::wstring& name, std::uint32_t& type, void* data,
                    std::uint32_t& bytes) override;
  Status SetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                  std::uint32_t bytes) override;
  Status EnumKey(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t& chars) override;
  Status CloseKey(RegKey key) override;
  Status CreateKey(RegKey root, const std::wstring& path, RegKey& key, bool& created) override;
  Status DeleteValue(RegKey key, const std::wstring& name) override;
  Status DeleteKey(RegKey root, const std::wstring& path) override;
  Status CountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) override;
  Status CreateProtectedKey(RegKey root, const std::wstring& path, RegKey& key) override;
  bool OnlyAdministratorsCanChange(RegKey key) override;
  Status FlushKey(RegKey key) override;
};

class Win32FileSystem : public FileSystem {
 public:
  bool CanOpenForRead(const std::wstring& path) override;
  bool Exists(const std::wstring& path) override;
  std::optional<std::string> ReadAll(const std::wstring& path) override;
  std::unique_ptr<OutputFile> Create(const std::wstring& path) override;
  bool Replace(const std::wstring& from, const std::wstring& to) override;
  bool Remove(const std::wstring& path) override;
  bool EnsureFolder(const std::wstring& path) override;
  bool RemoveEmptyFolder(const std::wstring& path) override;
  std::optional<std::uint64_t> FileSize(const std::wstring& path) override;
  bool EnsureProtectedFolder(const std::wstring& path) override;
  bool OnlyAdministratorsCanChange(const std::wstring& path) override;
};

class Win32Shell : public Shell {
 public:
  // The window that owns message boxes and dialogs; none by default.
  void SetOwner(HWND owner) { owner_ = owner; }

  std::wstring SystemDirectory() override;
  std::wstring ProgramFolder() override;
  std::wstring LocalAppDataFolder() override;
  std::wstring MachineAppDataFolder() override;
  std::wstring ExpandEnvironment(const std::wstring& text) override;
  std::wstring AnsiToWide(std::string_view bytes) override;
  std::wstring LowerCase(const std::wstring& text) override;
  int CountIcons(const std::wstring& file) override;
  std::vector<IconHandle> ExtractIcons(const std::wstring& file, int first, int count, int sizePx) override;
  void DestroyIcon(IconHandle icon) override;
  IconDirectory ReadIconDirectory(const std::wstring& file) override;
  // Through the Windows Imaging Component (platform/win32/pictures.cpp).
  DecodedPicture DecodePicture(std::string_view bytes, int maxSide) override;
  std::optional<std::string> EncodePng(const RgbaImage& image) override;
  IconHandle IconFromImage(const RgbaImage& image) override;
  std::optional<std::wstring> LoadIndirectString(const std::wstring& text) override;
  std::optional<std::wstring> AssociatedProgId(const std::wstring& extension) override;
  std::optional<std::wstring> ShellIconLocation(const std::wstring& extension) override;
  void NotifyAssociationsChanged() override;
  void NotifyIconImageChanged(const std::wstring& extension) override;
  std::optional<std::wstring> ShowOpenDialog(const OpenDialogRequest& request) override;
  std::optional<std::wstring> ShowSaveDialog(const OpenDialogRequest& request) override;
  int MessageBox(const std::wstring& text, unsigned style) override;
  bool IsElevated() override;
  std::unique_ptr<ChangeLock> LockChanges(unsigned waitMs) override;

  // Icons handed out and not yet destroyed; the leak tests read it, since
  // Wine does not count USER objects.
  static long LiveIcons();

 private:
  // Whether the system can read the file's icons without reading past its
  // end; false for a damaged file, which it must not be given.
  bool IconFileIsWhole(const std::wstring& file);

  // An icon file as it was when it was checked, and what was found.
  struct CheckedFile {
    std::uint64_t size = 0;
    FILETIME written{};
    bool whole = true;
  };
  HWND owner_ = nullptr;
  // False once the system said it cannot; asked on the walk's worker too.
  std::atomic<bool> associationsAnswer_{true};
  // Icons are drawn on worker threads too: the list's and the grid's.
  std::mutex checkedIconFilesMutex_;
  std::unordered_map<std::wstring, CheckedFile> checkedIconFiles_;  // by the path found
};

// A path the file API accepts at any length: long absolute paths get the
// \\?\ prefix.
std::wstring LongPath(const std::wstring& path);

// The real OS, one per process.
Os& RealOs();
Win32Shell& RealShell();

inline HKEY ToHkey(RegKey key) {
  // Predefined roots are sign-extended 32-bit values on 64-bit Windows.
  if (key >= 0x80000000u && key <= 0x80000006u) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(key))));
  }
  return reinterpret_cast<HKEY>(key);
}

}  // namespace tarrow::win32
