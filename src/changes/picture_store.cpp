#include "changes/picture_store.h"

#include <algorithm>

#include "catalog/icon_location.h"
#include "changes/records.h"
#include "platform/files.h"
#include "platform/icon_directory.h"

namespace tarrow {
namespace {

// "<64 lower-case hex digits>.ico", as MakePictureIcon names its files.
bool IsIconFileName(std::wstring_view name) {
  constexpr std::size_t kDigits = 64;
  if (name.size() != kDigits + 4 || name.substr(kDigits) != L".ico") return false;
  return std::all_of(name.begin(), name.begin() + kDigits,
                     [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); });
}

}  // namespace

std::optional<std::wstring> PictureFileOf(const std::wstring& location) {
  const IconLocation icon = SplitIconLocation(location);
  if (icon.index != 0 || !IsPictureFile(icon.file)) return std::nullopt;
  return icon.file;
}

std::optional<std::wstring> MadeIconFileOf(Shell& shell, const std::wstring& location) {
  const IconLocation icon = SplitIconLocation(location);
  const std::size_t slash = icon.file.rfind(L'\\');
  if (icon.index != 0 || !IsIconFileName(shell.LowerCase(icon.file.substr(slash + 1)))) return std::nullopt;
  return icon.file;
}

std::wstring CarriedIconsFolder(const std::wstring& regFile) {
  std::wstring stem = regFile;
  if (const std::size_t dot = stem.rfind(L'.');
      dot != std::wstring::npos && stem.find(L'\\', dot) == std::wstring::npos)
    stem.resize(dot);
  return stem + L" icons";
}

PictureIcon CarriedIcon(Os& os, const std::wstring& path) {
  PictureIcon icon;
  const auto size = os.files.FileSize(path);
  const auto bytes = size && *size <= kMaxPictureBytes ? os.files.ReadAll(path) : std::nullopt;
  if (!bytes) {
    icon.problem = path + L" cannot be read.";
  } else if (!ParseIconFile(*bytes)) {
    icon.problem = path + L" is not an icon file.";
  } else {
    icon.bytes = *bytes;
    icon.fileName = Sha256Hex(icon.bytes) + L".ico";
  }
  return icon;
}

std::wstring IconsFolder(Shell& shell, RecordScope scope) {
  const std::wstring data =
      scope == RecordScope::User ? shell.LocalAppDataFolder() : shell.MachineAppDataFolder();
  return data.empty() ? std::wstring() : data + L"\\Tarrow\\Icons";
}

bool PrepareIconsFolder(Os& os, RecordScope scope) {
  const std::wstring folder = IconsFolder(os.shell, scope);
  if (folder.empty()) return false;
  const std::wstring tarrow = folder.substr(0, folder.rfind(L'\\'));
  if (scope == RecordScope::User) return os.files.EnsureFolder(tarrow) && os.files.EnsureFolder(folder);
  // A folder a user made first, or could rename, would let that user choose
  // what every user's icons are. One made here and found unsafe goes again:
  // no empty folder is left behind.
  const bool hadTarrow = os.files.Exists(tarrow), hadFolder = os.files.Exists(folder);
  if (os.files.EnsureProtectedFolder(tarrow) && os.files.OnlyAdministratorsCanChange(tarrow) &&
      os.files.EnsureProtectedFolder(folder) && os.files.OnlyAdministratorsCanChange(folder))
    return true;
  if (!hadFolder) os.files.RemoveEmptyFolder(folder);
  if (!hadTarrow) os.files.RemoveEmptyFolder(tarrow);
  return false;
}

std::wstring StoredIconLocation(const std::wstring& folder, const std::wstring& fileName) {
  return folder + L"\\" + fileName + L",0";
}

bool StoreIconFile(FileSystem& files, const std::wstring& path, std::string_view bytes) {
  if (const auto there = files.ReadAll(path); there && *there == bytes) return true;
  return WriteWholeFile(files, path, bytes);
}

std::optional<std::wstring> OwnIconFile(Shell& shell, const std::wstring& folder,
                                        const std::optional<StoredValue>& value) {
  if (!value || folder.empty()) return std::nullopt;
  const IconLocation icon = SplitIconLocation(StoredText(value->bytes));
  const std::wstring file = shell.LowerCase(shell.ExpandEnvironment(icon.file));
  const std::wstring prefix = shell.LowerCase(folder) + L"\\";
  if (icon.index != 0 || !file.starts_with(prefix) || !IsIconFileName(file.substr(prefix.size())))
    return std::nullopt;
  return folder + L"\\" + file.substr(prefix.size());
}

std::size_t RemoveUnusedIcons(Os& os, ChangeRecords& records, const std::set<std::wstring>& candidates) {
  std::set<std::wstring> unused;
  for (const std::wstring& file : candidates) {
    if (os.files.Exists(file)) unused.insert(os.shell.LowerCase(file));
  }
  if (unused.empty()) return 0;
  if (!records.Usable(RecordScope::User) || !records.Usable(RecordScope::Machine)) return 0;
  for (const RecordScope scope : {RecordScope::User, RecordScope::Machine}) {
    for (const JournalEntry& entry : records.Entries(scope)) {
      const auto now = ReadOriginal(os.registry, entry.layer, entry.progId);
      // A value that cannot be read might name any file.
      if (!now) return 0;
      if (!now->valueExisted) continue;
      const IconLocation icon = SplitIconLocation(StoredText(now->bytes));
      unused.erase(os.shell.LowerCase(os.shell.ExpandEnvironment(icon.file)));
    }
  }
  std::size_t removed = 0;
  for (const std::wstring& file : candidates) {
    if (unused.count(os.shell.LowerCase(file)) && os.files.Remove(file)) ++removed;
  }
  return removed;
}

}  // namespace tarrow
