#include "platform/win32/win32_os.h"

#include <aclapi.h>
#include <commdlg.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/icon_directory.h"
#include "platform/win32/handles.h"

namespace tarrow::win32 {
namespace {

std::atomic<long> g_liveIcons{0};

// Calls `fill(buffer, size)` with a growing buffer until the text fits.
template <typename Fill>
std::wstring GrowingText(DWORD initial, Fill fill) {
  std::wstring buffer(initial, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2 > n + 1 ? buffer.size() * 2 : n + 1);
  }
  return {};
}

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(HANDLE file, UniqueFile folder) : file_(file), folder_(std::move(folder)) {}
  bool Write(std::string_view bytes) override {
    while (ok_ && !bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(bytes.size() > 1u << 20 ? 1u << 20 : bytes.size());
      ok_ = ::WriteFile(file_.get(), bytes.data(), chunk, &written, nullptr) && written == chunk;
      bytes.remove_prefix(chunk);
    }
    return ok_;
  }
  bool Commit() override {
    ok_ = ok_ && ::FlushFileBuffers(file_.get());
    const bool closed = ::CloseHandle(file_.release());
    return ok_ && closed;
  }

 private:
  UniqueFile file_;
  UniqueFile folder_;  // held, so that it stays the folder the file was made in
  bool ok_ = true;
};

// The folder of `file`, held open so that while the handle lives it cannot
// be renamed, removed, or replaced by a link or junction to somewhere else;
// none when it already is a link or junction. Every file the program writes
// or removes goes through one, as an administrator's write into a folder the
// user can change must land in that folder and nowhere else.
UniqueFile HoldFolder(const std::wstring& file) {
  const auto slash = file.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return UniqueFile(INVALID_HANDLE_VALUE);
  UniqueFile folder(::CreateFileW(LongPath(file.substr(0, slash)).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return UniqueFile(INVALID_HANDLE_VALUE);
  return folder;
}

// An image's place in an .ico file, as the file's directory gives it.
struct IcoEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes, offset;
};
static_assert(sizeof(IcoEntry) == 16);

// Whether the system can read the icons of the file at `found` without
// reading past its end. Its reader trusts the image offsets in an .ico
// directory and a program's section table, and Wine's faults on any beyond
// the file: one damaged icon file named in the registry would end every scan.
bool ReadsWhole(const wchar_t* found) {
  UniqueFile handle(::CreateFileW(found, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!handle.valid() || !::GetFileSizeEx(handle.get(), &size)) return true;
  const auto end = static_cast<std::uint64_t>(size.QuadPart);
  auto read = [&](std::uint64_t offset, void* data, std::uint64_t bytes) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return offset + bytes <= end && ::ReadFile(handle.get(), data, static_cast<DWORD>(bytes), &got, &at) &&
           got == bytes;
  };
  auto fits = [end](std::uint64_t offset, std::uint64_t bytes) { return offset + bytes <= end; };

  WORD head[3] = {};
  // Shorter than any header: the reader finds nothing in it.
  if (!read(0, head, sizeof head)) return true;
  if (head[0] == 0 && head[1] == 1) {
    std::vector<IcoEntry> entries(head[2]);
    if (!read(sizeof head, entries.data(), entries.size() * sizeof(IcoEntry))) return false;
    return std::all_of(entries.begin(), entries.end(),
                       [&](const IcoEntry& e) { return fits(e.offset, e.bytes); });
  }
  IMAGE_DOS_HEADER dos{};
  IMAGE_FILE_HEADER pe{};
  DWORD signature = 0;
  if (head[0] != IMAGE_DOS_SIGNATURE || !read(0, &dos, sizeof dos) || dos.e_lfanew < 0 ||
      static_cast<std::uint64_t>(dos.e_lfanew) >= end)
    return true;
  const auto headers = static_cast<std::uint64_t>(dos.e_lfanew);
  if (!read(headers, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE) return true;
  if (!read(headers + sizeof signature, &pe, sizeof pe)) return false;
  std::vector<IMAGE_SECTION_HEADER> sections(pe.NumberOfSections);
  const std::uint64_t table = headers + sizeof signature + sizeof pe + pe.SizeOfOptionalHeader;
  if (!read(table, sections.data(), sections.size() * sizeof(IMAGE_SECTION_HEADER))) return false;
  return std::all_of(sections.begin(), sections.end(), [&](const IMAGE_SECTION_HEADER& s) {
    return fits(s.PointerToRawData, s.SizeOfRawData);
  });
}

// The file as the system's icon reader finds it: in the program's folder,
// the current folder, the system folders, then the path. Empty when missing.
std::wstring SearchedPath(const std::wstring& file) {
  std::wstring found(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = ::SearchPathW(nullptr, LongPath(file).c_str(), nullptr, static_cast<DWORD>(found.size()),
                                  found.data(), nullptr);
    if (n == 0) return {};
    if (n < found.size()) {
      found.resize(n);
      return found;
    }
    found.resize(n + 1);
  }
  return {};
}

// The first bytes of the file; fewer when it is shorter.
std::string FrontOf(const std::wstring& path, DWORD bytes) {
  UniqueFile file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  std::string front(bytes, '\0');
  DWORD got = 0;
  if (!file.valid() || !::ReadFile(file.get(), front.data(), bytes, &got, nullptr)) return {};
  front.resize(got);
  return front;
}

using UniqueModule = Unique<HMODULE, &::FreeLibrary>;

BOOL CALLBACK AddGroupName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  // A name is an id or text; text is only valid during the enumeration.
  auto& list = *reinterpret_cast<std::vector<std::wstring>*>(names);
  list.push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                      : std::wstring(name));
  return TRUE;
}

// A program's icons: one icon group resource each, in the order the
// enumeration gives them, which is the order extraction counts them in.
IconDirectory ProgramIcons(const std::wstring& path) {
  IconDirectory directory;
  // As data only: nothing of the file runs, and its imports are not loaded.
  const UniqueModule module(::LoadLibraryExW(LongPath(path).c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return directory;
  directory.readable = true;
  std::vector<std::wstring> names;
  ::EnumResourceNamesW(module.get(), RT_GROUP_ICON, AddGroupName, reinterpret_cast<LONG_PTR>(&names));
  for (const auto& name : names) {
    const HRSRC found = ::FindResourceW(module.get(), name.c_str(), RT_GROUP_ICON);
    const HGLOBAL loaded = found ? ::LoadResource(module.get(), found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = found ? ::SizeofResource(module.get(), found) : 0;
    // An image's own size, for the entries whose byte cannot hold it.
    const IconImageById imageOf = [&module](int id) -> std::optional<std::string_view> {
      const HRSRC image = ::FindResourceW(module.get(), MAKEINTRESOURCEW(id), RT_ICON);
      const HGLOBAL loadedImage = image ? ::LoadResource(module.get(), image) : nullptr;
      const void* imageBytes = loadedImage ? ::LockResource(loadedImage) : nullptr;
      if (!imageBytes) return std::nullopt;
      return std::string_view(static_cast<const char*>(imageBytes), ::SizeofResource(module.get(), image));
    };
    auto images = bytes ? ParseIconGroup({static_cast<const char*>(bytes), size}, imageOf) : std::nullopt;
    if (!images) directory.damaged.push_back(static_cast<int>(directory.icons.size()));
    directory.icons.push_back(images.value_or(std::vector<IconImageSize>{}));
  }
  return directory;
}

// COM on the calling thread for the length of a call that wants it
// (SHGetFileInfoW, by its documentation), unless the thread has it already.
class ComForCall {
 public:
  ComForCall() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComForCall() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComForCall(const ComForCall&) = delete;
  ComForCall& operator=(const ComForCall&) = delete;

 private:
  HRESULT result_;
};

}  // namespace

std::wstring LongPath(const std::wstring& path) {
  const bool driveAbsolute = path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  if (path.size() < MAX_PATH - 12 || !driveAbsolute) return path;
  std::wstring full = L"\\\\?\\" + path;
  for (auto& c : full) {
    if (c == L'/') c = L'\\';
  }
  return full;
}

// ---- registry

Status Win32Registry::OpenKey(RegKey root, const std::wstring& path, RegAccess access, RegKey& key) {
  HKEY opened = nullptr;
  const REGSAM rights = access == RegAccess::Read ? KEY_READ : KEY_SET_VALUE;
  const LSTATUS status = ::RegOpenKeyExW(ToHkey(root), path.c_str(), 0, rights, &opened);
  if (status == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
  return status;
}

Status Win32Registry::QueryValue(RegKey key, const std::wstring& name, std::uint32_t& type, void* data,
                                 std::uint32_t& bytes) {
  DWORD valueType = 0;
  DWORD size = bytes;
  const LSTATUS status =
      ::RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, &valueType, static_cast<BYTE*>(data), &size);
  type = valueType;
  bytes = size;
  return status;
}

Status Win32Registry::SetValue(RegKey key, const std::wstring& name, std::uint32_t type, const void* data,
                               std::uint32_t bytes) {
  return ::RegSetValueExW(ToHkey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
}

Status Win32Registry::EnumKey(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t& chars) {
  DWORD size = chars;
  FILETIME written{};
  const LSTATUS status =
      ::RegEnumKeyExW(ToHkey(key), index, name, &size, nullptr, nullptr, nullptr, &written);
  chars = size;
  return status;
}

Status Win32Registry::CloseKey(RegKey key) {
  return ::RegCloseKey(ToHkey(key));
}

Status Win32Registry::CreateKey(RegKey root, const std::wstring& path, RegKey& key, bool& created) {
  HKEY opened = nullptr;
  DWORD disposition = 0;
  const LSTATUS status = ::RegCreateKeyExW(ToHkey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &opened, &disposition);
  if (status == ERROR_SUCCESS) {
    key = reinterpret_cast<RegKey>(opened);
    created = disposition == REG_CREATED_NEW_KEY;
  }
  return status;
}

Status Win32Registry::DeleteValue(RegKey key, const std::wstring& name) {
  return ::RegDeleteValueW(ToHkey(key), name.c_str());
}

Status Win32Registry::DeleteKey(RegKey root, const std::wstring& path) {
  return ::RegDeleteKeyW(ToHkey(root), path.c_str());
}

Status Win32Registry::CountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) {
  DWORD keys = 0;
  DWORD valueCount = 0;
  const LSTATUS status = ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                                            &valueCount, nullptr, nullptr, nullptr, nullptr);
  subkeys = keys;
  values = valueCount;
  return status;
}

namespace {

// What a security descriptor the system allocated holds; freed with it.
struct LocalMemory {
  void* memory = nullptr;
  ~LocalMemory() {
    if (memory) ::LocalFree(memory);
  }
};

// Administrators, the system, and the installer service: those who may
// change what every user relies on.
bool IsAdministrativeSid(PSID sid) {
  static const std::wstring kTrustedInstaller =
      L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid))
    return true;
  LocalMemory text;
  if (!::ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(&text.memory))) return false;
  return static_cast<const wchar_t*>(text.memory) == kTrustedInstaller;
}

// Whether only administrators and the system hold any of the `changes`
// rights to the object: one of them owns it, and its access list grants
// them to nobody else.
bool OnlyAdministratorsMay(HANDLE object, SE_OBJECT_TYPE type, ACCESS_MASK changes) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  LocalMemory descriptor;
  if (::GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor.memory) != ERROR_SUCCESS)
    return false;
  // The owner may always rewrite the access list; no list lets anyone in.
  if (!owner || !IsAdministrativeSid(owner) || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    // Entries for what the object holds alone, and refusals, grant nothing here.
    if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    // Any other kind of grant is one this check cannot weigh.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & changes) && !IsAdministrativeSid(&allowed->SidStart)) return false;
  }
  return true;
}

}  // namespace

Status Win32Registry::CreateProtectedKey(RegKey root, const std::wstring& path, RegKey& key) {
  // Administrators and the system may change it, everyone may read it; the
  // access list is protected, so nothing inherited loosens it.
  LocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)(A;OICI;KR;;;BU)", SDDL_REVISION_1, &descriptor.memory,
          nullptr))
    return static_cast<Status>(::GetLastError());
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.memory, FALSE};
  HKEY opened = nullptr;
  const LSTATUS status =
      ::RegCreateKeyExW(ToHkey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | READ_CONTROL, &attributes, &opened, nullptr);
  if (status == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
  return status;
}

bool Win32Registry::OnlyAdministratorsCanChange(RegKey key) {
  constexpr ACCESS_MASK kChanges = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
  return OnlyAdministratorsMay(ToHkey(key), SE_REGISTRY_KEY, kChanges);
}

Status Win32Registry::FlushKey(RegKey key) {
  return ::RegFlushKey(ToHkey(key));
}

// ---- files

bool Win32FileSystem::CanOpenForRead(const std::wstring& path) {
  UniqueFile file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

bool Win32FileSystem::Exists(const std::wstring& path) {
  return ::GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> Win32FileSystem::ReadAll(const std::wstring& path) {
  UniqueFile file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  // Nothing the program reads is anywhere near this size; a larger file is
  // not one of ours.
  constexpr LONGLONG kLimit = 256LL << 20;
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > kLimit) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                    nullptr)) {
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

std::unique_ptr<OutputFile> Win32FileSystem::Create(const std::wstring& path) {
  UniqueFile folder = HoldFolder(path);
  if (!folder.valid()) return nullptr;
  // A link at the name is removed, not written through.
  const DWORD existing = ::GetFileAttributesW(LongPath(path).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !::DeleteFileW(LongPath(path).c_str()))
    return nullptr;
  HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32OutputFile>(file, std::move(folder));
}

bool Win32FileSystem::Replace(const std::wstring& from, const std::wstring& to) {
  // A rename replaces the name's entry; a link there is replaced, not followed.
  const UniqueFile folder = HoldFolder(to);
  return folder.valid() && ::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool Win32FileSystem::Remove(const std::wstring& path) {
  const UniqueFile folder = HoldFolder(path);
  return folder.valid() && ::DeleteFileW(LongPath(path).c_str());
}

bool Win32FileSystem::RemoveEmptyFolder(const std::wstring& path) {
  // RemoveDirectory refuses a folder that holds anything.
  return ::RemoveDirectoryW(LongPath(path).c_str()) != 0;
}

bool Win32FileSystem::EnsureFolder(const std::wstring& path) {
  ::CreateDirectoryW(LongPath(path).c_str(), nullptr);
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  // A junction in its place would send what is written there elsewhere.
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<std::uint64_t> Win32FileSystem::FileSize(const std::wstring& path) {
  UniqueFile file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool Win32FileSystem::EnsureProtectedFolder(const std::wstring& path) {
  // Administrators and the system may change it, every user may read it; the
  // list is protected, so nothing inherited from above loosens it.
  LocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1,
          &descriptor.memory, nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.memory, FALSE};
  ::CreateDirectoryW(LongPath(path).c_str(), &attributes);
  const DWORD found = ::GetFileAttributesW(LongPath(path).c_str());
  return found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) &&
         !(found & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool Win32FileSystem::OnlyAdministratorsCanChange(const std::wstring& path) {
  // The folder itself, never what a link there points to.
  UniqueFile folder(::CreateFileW(LongPath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  constexpr ACCESS_MASK kChanges = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | FILE_WRITE_EA |
                                   FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                   GENERIC_ALL | MAXIMUM_ALLOWED;
  return OnlyAdministratorsMay(folder.get(), SE_FILE_OBJECT, kChanges);
}

// ---- shell

std::wstring Win32Shell::SystemDirectory() {
  return GrowingText(MAX_PATH,
                     [](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); });
}

std::wstring Win32Shell::ProgramFolder() {
  std::wstring path = GrowingText(MAX_PATH, [](wchar_t* buffer, DWORD size) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, size);
    return n >= size ? size : n;  // a cut name reports the buffer size
  });
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

namespace {

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = path;
  ::CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::wstring Win32Shell::LocalAppDataFolder() {
  return KnownFolder(FOLDERID_LocalAppData);
}

std::wstring Win32Shell::MachineAppDataFolder() {
  return KnownFolder(FOLDERID_ProgramData);
}

std::wstring Win32Shell::ExpandEnvironment(const std::wstring& text) {
  if (text.find(L'%') == std::wstring::npos) return text;
  const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::wstring expanded(needed, L'\0');
  const DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
  if (n == 0 || n > needed) return text;
  expanded.resize(n - 1);
  return expanded;
}

std::wstring Win32Shell::AnsiToWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::wstring Win32Shell::LowerCase(const std::wstring& text) {
  std::wstring lower = text;
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return lower;
}

bool Win32Shell::IconFileIsWhole(const std::wstring& file) {
  // Found as the system finds it; what it cannot find, it does not read.
  wchar_t found[MAX_PATH];
  const DWORD n = ::SearchPathW(nullptr, file.c_str(), nullptr, MAX_PATH, found, nullptr);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (n == 0 || n >= MAX_PATH || !::GetFileAttributesExW(found, GetFileExInfoStandard, &data)) return true;
  // A scan reads hundreds of icons from a few files: each file is read once,
  // and again only once it has changed.
  const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  std::lock_guard lock(checkedIconFilesMutex_);
  auto [entry, added] = checkedIconFiles_.try_emplace(found);
  CheckedFile& checked = entry->second;
  if (added || checked.size != size || ::CompareFileTime(&checked.written, &data.ftLastWriteTime) != 0)
    checked = {size, data.ftLastWriteTime, ReadsWhole(found)};
  return checked.whole;
}

int Win32Shell::CountIcons(const std::wstring& file) {
  if (file.empty() || !IconFileIsWhole(file)) return 0;
  const UINT n = ::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0);
  return n == UINT_MAX ? 0 : static_cast<int>(n);
}

std::vector<IconHandle> Win32Shell::ExtractIcons(const std::wstring& file, int first, int count, int sizePx) {
  std::vector<IconHandle> result;
  if (file.empty() || count <= 0) return result;
  if (first < 0) count = 1;
  if (!IconFileIsWhole(file)) return std::vector<IconHandle>(static_cast<std::size_t>(count), 0);
  std::vector<HICON> icons(static_cast<std::size_t>(count), nullptr);
  std::vector<UINT> ids(icons.size(), 0);
  const UINT got = ::PrivateExtractIconsW(file.c_str(), first, sizePx, sizePx, icons.data(), ids.data(),
                                          static_cast<UINT>(count), LR_DEFAULTCOLOR);
  if (got == UINT_MAX) return std::vector<IconHandle>(icons.size(), 0);
  for (HICON icon : icons) {
    if (icon) ++g_liveIcons;
    result.push_back(reinterpret_cast<IconHandle>(icon));
  }
  return result;
}

IconDirectory Win32Shell::ReadIconDirectory(const std::wstring& file) {
  const std::wstring found = file.empty() ? std::wstring() : SearchedPath(file);
  // A damaged file is refused here as it is before extraction.
  if (found.empty() || !ReadsWhole(LongPath(found).c_str())) return {};
  if (!LooksLikeIconFile(FrontOf(found, 6))) return ProgramIcons(found);
  IconDirectory directory;
  const auto bytes = Win32FileSystem().ReadAll(found);
  const auto images = bytes ? ParseIconFile(*bytes) : std::nullopt;
  if (!images) return directory;
  directory.readable = true;
  directory.icons.push_back(*images);
  return directory;
}

IconHandle Win32Shell::IconFromImage(const RgbaImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() !=
          static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
    return 0;
  // A top-down 32-bit colour bitmap carries the alpha; the mask is then unused
  // but must be there.
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = image.width;
  header.bV5Height = -image.height;
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  const UniqueBitmap colour(
      ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueBitmap mask(::CreateBitmap(image.width, image.height, 1, 1, nullptr));
  if (!colour || !mask || !bits) return 0;
  auto* out = static_cast<std::uint8_t*>(bits);
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    out[i] = image.pixels[i + 2];
    out[i + 1] = image.pixels[i + 1];
    out[i + 2] = image.pixels[i];
    out[i + 3] = image.pixels[i + 3];
  }
  ICONINFO info{TRUE, 0, 0, mask.get(), colour.get()};
  const HICON icon = ::CreateIconIndirect(&info);
  if (icon) ++g_liveIcons;
  return reinterpret_cast<IconHandle>(icon);
}

void Win32Shell::DestroyIcon(IconHandle icon) {
  if (icon && ::DestroyIcon(reinterpret_cast<HICON>(icon))) --g_liveIcons;
}

long Win32Shell::LiveIcons() {
  return g_liveIcons;
}

std::optional<std::wstring> Win32Shell::LoadIndirectString(const std::wstring& text) {
  // A name or a path: no documented bound, but none comes near this, and a
  // text cut at the buffer's end is refused rather than shown cut.
  std::wstring out(4096, L'\0');
  if (FAILED(::SHLoadIndirectString(text.c_str(), out.data(), static_cast<UINT>(out.size()), nullptr)))
    return std::nullopt;
  const std::size_t length = wcsnlen(out.c_str(), out.size());
  if (length + 1 >= out.size()) return std::nullopt;
  out.resize(length);
  return out;
}

std::optional<std::wstring> Win32Shell::AssociatedProgId(const std::wstring& extension) {
  if (!associationsAnswer_) return std::nullopt;
  wchar_t progId[256];
  DWORD chars = static_cast<DWORD>(std::size(progId));
  const HRESULT result =
      ::AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_PROGID, extension.c_str(), nullptr, progId, &chars);
  // A system that cannot answer for one extension cannot for any: stop asking.
  if (result == E_NOTIMPL) associationsAnswer_ = false;
  if (result != S_OK || chars == 0) return std::nullopt;
  return std::wstring(progId);
}

std::optional<std::wstring> Win32Shell::ShellIconLocation(const std::wstring& extension) {
  // The association's DefaultIcon as the shell merges it, after the user's
  // choice of program.
  std::wstring location(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD chars = static_cast<DWORD>(location.size());
    const HRESULT result = ::AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_DEFAULTICON, extension.c_str(),
                                               nullptr, location.data(), &chars);
    if (result == E_POINTER) {
      location.resize(std::max<std::size_t>(chars, location.size() * 2));
      continue;
    }
    if (result == S_OK) {
      location.resize(wcsnlen(location.c_str(), location.size()));
      return location;
    }
    break;
  }
  // No DefaultIcon of its own: what the shell draws for a file of the type,
  // asked of a name alone, so that no file is touched.
  const std::wstring name = L"x" + extension;
  const ComForCall com;
  SHFILEINFOW info{};
  if (!::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                        SHGFI_USEFILEATTRIBUTES | SHGFI_ICONLOCATION))
    return std::nullopt;
  if (info.szDisplayName[0] == L'\0') return std::wstring();
  return std::wstring(info.szDisplayName) + L"," + std::to_wstring(info.iIcon);
}

void Win32Shell::NotifyAssociationsChanged() {
  // 0x2000: the shell handles the notice without the caller waiting for it.
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, 0x2000, nullptr, nullptr);
}

void Win32Shell::NotifyIconImageChanged(const std::wstring& extension) {
  // The old icon's location and its place in the system image list, as
  // SHUpdateImage wants them; asked of a name alone, touching no file.
  const std::wstring name = L"x" + extension;
  const ComForCall com;
  SHFILEINFOW where{}, image{};
  if (!::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &where, sizeof where,
                        SHGFI_USEFILEATTRIBUTES | SHGFI_ICONLOCATION) ||
      where.szDisplayName[0] == L'\0' ||
      !::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &image, sizeof image,
                        SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX))
    return;
  ::SHUpdateImageW(where.szDisplayName, where.iIcon, 0, image.iIcon);
}

namespace {

// Runs the common file dialog `show` (GetOpenFileNameW or
// GetSaveFileNameW) with the request's settings and `flags`.
std::optional<std::wstring> RunFileDialog(const OpenDialogRequest& request, HWND owner, DWORD flags,
                                          BOOL(WINAPI* show)(LPOPENFILENAMEW)) {
  // Room for the longest path the file system allows.
  std::wstring file(32768, L'\0');
  std::wstring filter = request.filter;
  filter.push_back(L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = request.owner ? reinterpret_cast<HWND>(request.owner) : owner;
  ofn.hInstance = ::GetModuleHandleW(nullptr);
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
  ofn.lpstrTitle = request.title.c_str();
  ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
  ofn.Flags = flags | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (!show(&ofn)) return std::nullopt;
  return file.substr(0, file.find(L'\0'));
}

}  // namespace

std::optional<std::wstring> Win32Shell::ShowOpenDialog(const OpenDialogRequest& request) {
  return RunFileDialog(request, owner_, OFN_FILEMUSTEXIST, &::GetOpenFileNameW);
}

std::optional<std::wstring> Win32Shell::ShowSaveDialog(const OpenDialogRequest& request) {
  return RunFileDialog(request, owner_, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, &::GetSaveFileNameW);
}

bool Win32Shell::IsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool read = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  ::CloseHandle(token);
  return read && elevation.TokenIsElevated != 0;
}

namespace {

class MutexLock : public ChangeLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexLock() override {
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<ChangeLock> Win32Shell::LockChanges(unsigned waitMs) {
  // One for the machine, across sessions: the machine record is shared by
  // every administrator. Every user may wait for it and hold it.
  LocalMemory descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x100001;;;WD)(A;;GA;;;BA)(A;;GA;;;SY)",
                                                              SDDL_REVISION_1, &descriptor.memory, nullptr))
    return nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.memory, FALSE};
  constexpr wchar_t kName[] = L"Global\\TarrowChanges";
  constexpr DWORD kAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  HANDLE mutex = ::CreateMutexExW(&attributes, kName, 0, kAccess);
  if (!mutex) mutex = ::OpenMutexW(kAccess, FALSE, kName);
  if (!mutex) return nullptr;
  // A holder that died left the records whole: each is replaced at once.
  const DWORD waited = ::WaitForSingleObject(mutex, waitMs);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return nullptr;
  }
  return std::make_unique<MutexLock>(mutex);
}

int Win32Shell::MessageBox(const std::wstring& text, unsigned style) {
  return ::MessageBoxW(owner_, text.c_str(), L"Tarrow", style);
}

Os& RealOs() {
  static Win32Registry registry;
  static Win32FileSystem files;
  static Os os{registry, files, RealShell()};
  return os;
}

Win32Shell& RealShell() {
  static Win32Shell shell;
  return shell;
}

}  // namespace tarrow::win32
