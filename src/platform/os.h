// The boundary between Tarrow and the operating system.
//
// Everything the program needs of Windows goes through these small
// interfaces, so the logic above them is plain C++ that builds and is tested
// on any platform. platform/win32/ implements them with the real API; the unit
// tests implement them in memory, behaving as the OS does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// Status codes, as the OS reports them.
using Status = long;
inline constexpr Status kSuccess = 0;
inline constexpr Status kErrorFileNotFound = 2;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorMoreData = 234;
inline constexpr Status kErrorNoMoreItems = 259;

// Registry value types the program knows.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// A registry key handle; 0 is no key. Predefined roots have their Windows
// handle values.
using RegKey = std::uintptr_t;
inline constexpr RegKey kClassesRoot = 0x80000000u;
inline constexpr RegKey kCurrentUser = 0x80000001u;
inline constexpr RegKey kLocalMachine = 0x80000002u;

// What a key is opened for: reading (values and subkeys) or setting values.
// Nothing is ever opened with more rights than the call needs.
enum class RegAccess { Read, SetValue };

class Registry {
 public:
  virtual ~Registry() = default;
  virtual Status OpenKey(RegKey root, const std::wstring& path, RegAccess access, RegKey& key) = 0;
  // With data == nullptr, probes: reports the type and the stored size in
  // bytes. Otherwise copies at most `bytes` bytes and reports how many it
  // copied, or kErrorMoreData with the needed size.
  virtual Status QueryValue(RegKey key, const std::wstring& name, std::uint32_t& type, void* data,
                            std::uint32_t& bytes) = 0;
  virtual Status SetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                          std::uint32_t bytes) = 0;
  // `chars` is the buffer size in characters on entry; on success, the length
  // of the name without its terminator.
  virtual Status EnumKey(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t& chars) = 0;
  virtual Status CloseKey(RegKey key) = 0;
  // Opens root\path for setting values, creating every missing key on the
  // way; `created` tells whether the last key of the path was new.
  virtual Status CreateKey(RegKey root, const std::wstring& path, RegKey& key, bool& created) = 0;
  virtual Status DeleteValue(RegKey key, const std::wstring& name) = 0;
  // Deletes root\path with its values; refused while it has subkeys.
  virtual Status DeleteKey(RegKey root, const std::wstring& path) = 0;
  virtual Status CountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) = 0;
  // Opens root\path for setting values; a key it creates gets an access list
  // that lets only administrators and the system change it, and all read it.
  virtual Status CreateProtectedKey(RegKey root, const std::wstring& path, RegKey& key) = 0;
  // Whether only administrators and the system can change the key: one of
  // them owns it, and its access list lets nobody else write to it.
  virtual bool OnlyAdministratorsCanChange(RegKey key) = 0;
  // Writes the key's changes through to disk before returning.
  virtual Status FlushKey(RegKey key) = 0;
};

// A file being written. Nothing is promised on disk until Commit succeeds.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool Write(std::string_view bytes) = 0;
  // Flushes to disk and closes; false when any write or the flush failed.
  virtual bool Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whether the path names a file that can be opened for reading.
  virtual bool CanOpenForRead(const std::wstring& path) = 0;
  // Whether anything is at the path, readable or not.
  virtual bool Exists(const std::wstring& path) = 0;
  // The whole file; nullopt when it cannot be opened or read.
  virtual std::optional<std::string> ReadAll(const std::wstring& path) = 0;
  // Creates (or truncates) a file for writing; nullptr on failure.
  virtual std::unique_ptr<OutputFile> Create(const std::wstring& path) = 0;
  // Moves `from` over `to`, replacing it, written through to disk.
  virtual bool Replace(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool Remove(const std::wstring& path) = 0;
  // Creates the folder if it is not there; true when it exists afterwards.
  virtual bool EnsureFolder(const std::wstring& path) = 0;
  // Removes the folder when it is empty; false, leaving it, otherwise.
  virtual bool RemoveEmptyFolder(const std::wstring& path) = 0;
  // The file's size in bytes, without reading it; nullopt when it cannot be
  // opened.
  virtual std::optional<std::uint64_t> FileSize(const std::wstring& path) = 0;
  // Creates the folder if it is not there, with an access list that lets
  // only administrators and the system change it and all read it; one
  // already there keeps its own. True when a folder (not a link or junction)
  // is there afterwards.
  virtual bool EnsureProtectedFolder(const std::wstring& path) = 0;
  // Whether only administrators and the system can change the folder: one
  // of them owns it, its access list lets nobody else write to it, and it
  // is not a link or junction.
  virtual bool OnlyAdministratorsCanChange(const std::wstring& path) = 0;
};

// An icon handle; 0 is no icon. The owner releases it with Shell::DestroyIcon.
using IconHandle = std::uintptr_t;

// Whether an extracted handle is an icon: extraction answers 1 for a file
// that holds no icons at all, a marker rather than a handle.
constexpr bool IsIcon(IconHandle handle) {
  return handle > 1;
}

// One image of an icon: its size in pixels and colour depth in bits per pixel.
struct IconImageSize {
  int width = 0;
  int height = 0;
  int bits = 0;
  bool operator==(const IconImageSize&) const = default;
};

// The images an icon file holds, one entry per icon in the order extraction
// counts them, each with its images as the file lists them.
struct IconDirectory {
  // False when the file cannot be read, is damaged, or is neither a program
  // nor an icon file.
  bool readable = false;
  std::vector<std::vector<IconImageSize>> icons;
  // Icons whose own directory is damaged: counted, with no images.
  std::vector<int> damaged;
};

// A picture as pixels: rows top to bottom, four bytes a pixel (red, green,
// blue, alpha). Whether alpha is premultiplied is said where one is used.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
  bool operator==(const RgbaImage&) const = default;
};

// What decoding a picture found.
struct DecodedPicture {
  // The picture's size, as its header gives it; 0 when no decoder reads it.
  int width = 0;
  int height = 0;
  // Its first frame, alpha not premultiplied; nullopt when it cannot be
  // decoded, or is larger than was asked for.
  std::optional<RgbaImage> image;
};

struct OpenDialogRequest {
  std::uintptr_t owner = 0;
  std::wstring filter;  // description NUL pattern NUL ... NUL
  std::wstring title;
  std::wstring initialFolder;
  // For a file to save: the extension given to a name typed without one.
  std::wstring defaultExtension;
};

// Message box styles and answers, with their Windows values.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbSystemModal = 0x1000;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Held while a process changes icons and their records; released when
// destroyed.
class ChangeLock {
 public:
  virtual ~ChangeLock() = default;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // The system directory without a trailing backslash; empty on failure.
  virtual std::wstring SystemDirectory() = 0;
  // The folder that holds the program's executable, without a trailing
  // backslash.
  virtual std::wstring ProgramFolder() = 0;
  // The user's local application-data folder; empty when unknown.
  virtual std::wstring LocalAppDataFolder() = 0;
  // The application-data folder of every user (%ProgramData%); empty when
  // unknown.
  virtual std::wstring MachineAppDataFolder() = 0;
  // Expands %NAME% references as the shell does; unknown names stay.
  virtual std::wstring ExpandEnvironment(const std::wstring& text) = 0;
  // Text in the system's ANSI code page, as wide text.
  virtual std::wstring AnsiToWide(std::string_view bytes) = 0;
  // Lower case as the system's file names compare.
  virtual std::wstring LowerCase(const std::wstring& text) = 0;

  // The number of icons in the file; 0 when none or unreadable.
  virtual int CountIcons(const std::wstring& file) = 0;
  // Icons `first` to `first + count - 1` of the file at `sizePx` pixels, in one
  // pass over the file; a negative `first` is a resource identifier (count 1).
  // Entries are 0 where an icon could not be extracted.
  virtual std::vector<IconHandle> ExtractIcons(const std::wstring& file, int first, int count,
                                               int sizePx) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
  // The icons of the file and the sizes of their images, read as data only.
  virtual IconDirectory ReadIconDirectory(const std::wstring& file) = 0;

  // A PNG, JPEG, BMP or GIF picture's first frame as pixels, when neither of
  // its sides is over `maxSide` pixels; larger, only its size, read from its
  // header before any pixel is.
  virtual DecodedPicture DecodePicture(std::string_view bytes, int maxSide) = 0;
  // The image (alpha not premultiplied) as a PNG file; nullopt when it
  // cannot be encoded.
  virtual std::optional<std::string> EncodePng(const RgbaImage& image) = 0;
  // An icon of the image (alpha not premultiplied), as it is; 0 when none
  // can be made. The owner releases it with DestroyIcon.
  virtual IconHandle IconFromImage(const RgbaImage& image) = 0;

  // The text an indirect string stands for, as SHLoadIndirectString gives
  // it: "@file,-id" (the file quoted or not, %VAR% references expanded) is
  // the file's string resource; "@{PackageFullName?ms-resource://...}" the
  // package's resource, a string or, for one of its files, that file's path.
  // Text that does not begin with "@" comes back as it is. nullopt when the
  // system cannot resolve it.
  virtual std::optional<std::wstring> LoadIndirectString(const std::wstring& text) = 0;

  // The ProgID the shell itself resolves for the extension, honouring a user
  // choice only when its protection hash is valid; nullopt when the system
  // cannot answer (older systems, Wine).
  virtual std::optional<std::wstring> AssociatedProgId(const std::wstring& extension) = 0;

  // The icon location the shell itself gives a file of the extension
  // ("file,index"), after every layer and choice it follows; empty when it
  // names none, nullopt when it cannot answer.
  virtual std::optional<std::wstring> ShellIconLocation(const std::wstring& extension) = 0;

  // Tells the shell that file associations changed.
  virtual void NotifyAssociationsChanged() = 0;
  // Tells the shell that the image at the icon location it uses for the
  // extension changed, so that it reads the file again: a notice of changed
  // associations leaves an image it holds for an unchanged location as it is.
  virtual void NotifyIconImageChanged(const std::wstring& extension) = 0;
  // The file the user chose; nullopt when cancelled.
  virtual std::optional<std::wstring> ShowOpenDialog(const OpenDialogRequest& request) = 0;
  // The file the user chose to write, having agreed to replace it if it
  // exists; nullopt when cancelled.
  virtual std::optional<std::wstring> ShowSaveDialog(const OpenDialogRequest& request) = 0;
  // Shows a message box titled with the program's name; returns the answer.
  virtual int MessageBox(const std::wstring& text, unsigned style) = 0;

  // Whether the process runs with administrator rights (an elevated token).
  virtual bool IsElevated() = 0;
  // The lock that lets one process at a time change icons and their records,
  // waited for at most `waitMs`; nullptr when another process still holds it.
  virtual std::unique_ptr<ChangeLock> LockChanges(unsigned waitMs) = 0;
};

// Everything the program reaches of the OS.
struct Os {
  Registry& registry;
  FileSystem& files;
  Shell& shell;
};

}  // namespace tarrow
