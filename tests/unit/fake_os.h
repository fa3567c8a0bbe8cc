// In-memory stand-ins for the OS boundary that behave as Windows does: a value
// keeps the exact bytes it was stored with, a probe reports the stored size, a
// missing key fails the open, keys and values are found case-insensitively,
// enumeration follows creation order, and a read-only key refuses an open for
// setting values with kErrorAccessDenied.
//
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes here, as under
// Wine: the program reads the per-user and machine layers explicitly and
// merges them itself, so the fake need not merge them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/os.h"

namespace tarrow::fake {

// Thrown by a fake when a planned crash is due: the process stops there,
// with everything done before it kept, as a kill leaves it.
struct Crash {};

// Counts the steps that change what a process leaves behind (registry writes
// and deletions, files put in place or removed); the step numbered `at`
// (from 1) crashes instead of happening. Shared by the fakes of one OS.
struct CrashPlan {
  long long at = -1;  // never, when negative
  long long steps = 0;
  void Step() {
    if (at >= 0 && ++steps >= at) throw Crash{};
  }
};

// Lower case for the characters the tests use.
std::wstring Lower(std::wstring text);

struct StoredValue {
  std::uint32_t type = 0;
  std::vector<unsigned char> bytes;
};

class FakeRegistry : public Registry {
 public:
  struct Node {
    std::wstring name;
    bool readOnly = false;
    bool protectedKey = false;                    // only administrators can change it
    std::vector<std::unique_ptr<Node>> children;  // in creation order
    std::vector<std::pair<std::wstring, StoredValue>> values;
    // The child of that name, found case-insensitively; null when none. An
    // index, so that a root of many thousand keys is as quick as the OS's.
    Node* Child(const std::wstring& childName) const;
    Node& AddChild(const std::wstring& childName);
    void RemoveChild(const std::wstring& childName);

   private:
    std::unordered_map<std::wstring, Node*> byLowerName_;
  };

  // Creates every missing key of `path` (backslash-separated) under root.
  Node& CreateKey(RegKey root, const std::wstring& path);
  // Stores text with one terminating NUL, as a well-behaved program does.
  void SetText(RegKey root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
               std::uint32_t type = kRegSz);
  void SetRaw(RegKey root, const std::wstring& path, const std::wstring& name, std::uint32_t type,
              std::vector<unsigned char> bytes);
  const StoredValue* Find(RegKey root, const std::wstring& path, const std::wstring& name) const;
  // The stored text without one terminating NUL; "<missing>" when absent.
  std::wstring Text(RegKey root, const std::wstring& path, const std::wstring& name = L"") const;
  bool KeyExists(RegKey root, const std::wstring& path) const;
  // Every key below root, with its values' types and bytes, in a stable
  // order: two registries with the same dump hold the same data.
  std::wstring Dump(RegKey root) const;
  void SetReadOnly(RegKey root, const std::wstring& path, bool readOnly = true);
  // Whether only administrators can change the key, as its access list says.
  void SetProtected(RegKey root, const std::wstring& path, bool isProtected = true);
  // A standard user's token: protected keys refuse to be changed.
  bool elevated = true;
  int flushes = 0;
  CrashPlan* crash = nullptr;
  // Every SetValue that succeeded, in order: "path|name=text".
  std::vector<std::wstring> writes;
  int openHandles() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
  }
  int closeCalls = 0;
  // Runs before each open, read and enumeration, on the thread that calls
  // it and outside the registry's lock: a test stops a walk at a known point.
  std::function<void()> beforeRead;

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

 private:
  void Step() {
    if (crash) crash->Step();
  }
  struct Open {
    Node* node;
    RegAccess access;
    std::wstring path;
  };
  Node* Root(RegKey root) const;
  Node* Parent(RegKey root, const std::wstring& path, std::wstring& leaf) const;
  Node* Lookup(RegKey root, const std::wstring& path) const;
  // The window's thread and a walk's worker may both use the registry, as
  // they do Windows's, whose calls are safe from any thread.
  mutable std::recursive_mutex mutex_;
  std::map<RegKey, std::unique_ptr<Node>> roots_;
  std::map<RegKey, Open> handles_;
  RegKey next_ = 0x1000;
};

class FakeFileSystem : public FileSystem {
 public:
  std::map<std::wstring, std::string> files;  // path -> bytes
  std::set<std::wstring> folders;
  std::set<std::wstring> unreadable;
  std::set<std::wstring> readOnlyFolders;  // no file can be created in these
  // Folders only administrators can change: a standard user's token can
  // neither put a file in one nor remove one from it.
  std::set<std::wstring> protectedFolders;
  // As under Wine: a folder made with an access list reads back owned by
  // the user who made it, so none is ever only the administrators'.
  bool ownerKept = true;
  // Links and junctions to folders: nothing is created, replaced or removed
  // through one, and none is a protected folder.
  std::set<std::wstring> linkedFolders;
  bool elevated = true;
  bool failCommits = false;  // as when the disk fills up
  // Bytes all writes together may still store; a write that does not fit
  // stores what fits and fails, as on a full disk. Unlimited when negative.
  long long spaceLeft = -1;
  int commits = 0;
  CrashPlan* crash = nullptr;

  bool CanOpenForRead(const std::wstring& path) override;
  bool Exists(const std::wstring& path) override { return files.count(path) || folders.count(path); }
  std::optional<std::string> ReadAll(const std::wstring& path) override;
  std::unique_ptr<OutputFile> Create(const std::wstring& path) override;
  bool Replace(const std::wstring& from, const std::wstring& to) override;
  bool Remove(const std::wstring& path) override;
  bool EnsureFolder(const std::wstring& path) override;
  bool RemoveEmptyFolder(const std::wstring& path) override;
  std::optional<std::uint64_t> FileSize(const std::wstring& path) override;
  bool EnsureProtectedFolder(const std::wstring& path) override;
  bool OnlyAdministratorsCanChange(const std::wstring& path) override;

 private:
  // Whether a file may be created in, moved into or removed from the folder.
  bool MayChangeIn(const std::wstring& folder) const;
};

// Icon files hold icons named by text; a handle remembers file and index so
// tests can tell which icon was drawn.
class FakeShell : public Shell {
 public:
  std::wstring systemDirectory = L"C:\\Windows\\system32";
  std::wstring programFolder = L"C:\\Tarrow";
  std::wstring localAppData = L"C:\\Users\\me\\AppData\\Local";
  std::wstring machineAppData = L"C:\\ProgramData";
  std::map<std::wstring, std::wstring> environment;  // NAME -> value
  std::map<std::wstring, int> iconFiles;             // path (lower case) -> icon count
  // Answers of the system's own association query by extension (lower
  // case); none, as under Wine, where it is not implemented.
  std::map<std::wstring, std::wstring> associations;
  std::vector<std::wstring> dialogAnswers;  // next answers; L"\x1" cancels
  std::vector<OpenDialogRequest> dialogRequests;
  std::vector<int> messageAnswers;
  std::vector<std::pair<std::wstring, unsigned>> messages;
  // Files that are neither executables nor icon files (lower case): as on
  // Windows, extraction answers 1 for them, which is no handle.
  std::set<std::wstring> nonIconFiles;
  // The icon directories of files (lower case); any other file is unreadable.
  std::map<std::wstring, IconDirectory> iconDirectories;
  // Pictures the decoder reads, by their file's bytes; any other bytes are
  // not a picture. A size without pixels is a picture whose header reads
  // but whose data is damaged.
  std::map<std::string, RgbaImage> pictures;
  // The PNG encoder fails, as when the system is out of memory.
  bool failPngEncoding = false;
  // What SHLoadIndirectString finds, by resource: for "@file,-id" the key
  // is the file as the system opens it (%VAR% expanded, quotes taken off,
  // lower case), "," and the id, without a ";v2" modifier; for
  // "@{Package?ms-resource://...}" the text inside the braces, lower case.
  // Anything else beginning with "@" fails, as a resource that is not there
  // does; other text comes back as it is.
  std::map<std::wstring, std::wstring> indirectStrings;
  int indirectQueries = 0;
  // The shell's own icon answers (ShellIconLocation) set by a test, by
  // extension (lower case); nullopt where it cannot answer. Any other
  // extension is answered from `classes` as Windows documents it: the
  // user's valid choice of program (`associations`) first, else the
  // extension's class, each value read from the user's layer over the
  // machine's. With `machineLayerOnly`, as Wine: the machine layer alone,
  // and no user choice.
  std::map<std::wstring, std::optional<std::wstring>> shellIcons;
  const FakeRegistry* classes = nullptr;
  bool machineLayerOnly = false;
  int shellIconQueries = 0;
  std::vector<std::wstring> imageNotices;  // NotifyIconImageChanged, in order
  int notifications = 0;
  int extractCalls = 0;
  int invalidDestroys = 0;  // DestroyIcon on a handle that is not live
  bool elevated = true;     // a Wine process is an administrator, too
  // Held by another process: LockChanges gives up, as after its wait.
  bool lockedElsewhere = false;
  bool locked = false;  // by this process (a mutex its owner may take again)
  int lockRequests = 0;

  // "file#index" for a handle this shell gave out.
  std::wstring Describe(IconHandle icon) const;
  int liveIcons() const {
    std::lock_guard lock(iconsMutex_);
    return static_cast<int>(live_.size());
  }
  bool IsLive(IconHandle icon) const {
    std::lock_guard lock(iconsMutex_);
    return live_.count(icon) > 0;
  }

  std::wstring SystemDirectory() override { return systemDirectory; }
  std::wstring ProgramFolder() override { return programFolder; }
  std::wstring LocalAppDataFolder() override { return localAppData; }
  std::wstring MachineAppDataFolder() override { return machineAppData; }
  std::wstring ExpandEnvironment(const std::wstring& text) override;
  std::wstring AnsiToWide(std::string_view bytes) override;  // Windows-1252, as on Western systems
  std::wstring LowerCase(const std::wstring& text) override { return Lower(text); }
  int CountIcons(const std::wstring& file) override;
  std::vector<IconHandle> ExtractIcons(const std::wstring& file, int first, int count, int sizePx) override;
  void DestroyIcon(IconHandle icon) override;
  IconDirectory ReadIconDirectory(const std::wstring& file) override;
  DecodedPicture DecodePicture(std::string_view bytes, int maxSide) override;
  // "PNG" and the image's size and pixels, a stand-in the tests can read back.
  std::optional<std::string> EncodePng(const RgbaImage& image) override;
  // A live handle described as "image WxH"; 0 for an image without pixels.
  IconHandle IconFromImage(const RgbaImage& image) override;
  std::optional<std::wstring> LoadIndirectString(const std::wstring& text) override;
  std::optional<std::wstring> AssociatedProgId(const std::wstring& extension) override;
  std::optional<std::wstring> ShellIconLocation(const std::wstring& extension) override;
  void NotifyAssociationsChanged() override { ++notifications; }
  void NotifyIconImageChanged(const std::wstring& extension) override { imageNotices.push_back(extension); }
  std::optional<std::wstring> ShowOpenDialog(const OpenDialogRequest& request) override;
  // Answered from the same queue as the open dialog.
  std::optional<std::wstring> ShowSaveDialog(const OpenDialogRequest& request) override {
    return ShowOpenDialog(request);
  }
  int MessageBox(const std::wstring& text, unsigned style) override;
  bool IsElevated() override { return elevated; }
  std::unique_ptr<ChangeLock> LockChanges(unsigned waitMs) override;

 private:
  // Icons are made and released on a loader's worker thread as well.
  mutable std::mutex iconsMutex_;
  std::map<IconHandle, std::wstring> live_;
  std::map<IconHandle, std::wstring> given_;
  IconHandle next_ = 0x100;
};

// All three, wired together.
struct FakeOs {
  FakeOs() {
    shell.classes = &registry;
    registry.crash = &crash;
    files.crash = &crash;
  }
  FakeOs(const FakeOs&) = delete;
  FakeOs& operator=(const FakeOs&) = delete;
  FakeRegistry registry;
  FakeFileSystem files;
  FakeShell shell;
  Os os{registry, files, shell};
  CrashPlan crash;
  // A user without administrator rights.
  void StandardUser() {
    registry.elevated = false;
    shell.elevated = false;
    files.elevated = false;
  }
};

}  // namespace tarrow::fake
