#include "catalog/icon_location.h"

#include <algorithm>
#include <limits>

namespace tarrow {

namespace {

// The size an icon is drawn at only to see that it is there.
constexpr int kProbeSizePx = 16;

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// Blanks, an optional sign, at least one digit, blanks: nothing else.
bool IsIndexText(std::wstring_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) ++pos;
  const std::size_t digits = pos;
  while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') ++pos;
  if (pos == digits) return false;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos == text.size();
}

}  // namespace

IconLocation SplitIconLocation(const std::wstring& location) {
  const auto comma = location.rfind(L',');
  if (comma == std::wstring::npos) return {location, 0};
  const std::wstring_view index = std::wstring_view(location).substr(comma + 1);
  if (!IsIndexText(index)) return {location, 0};
  return {location.substr(0, comma), ParseIconIndex(index)};
}

int ParseIconIndex(std::wstring_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t')) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) negative = text[pos++] == L'-';
  const std::size_t firstDigit = pos;
  // One past the magnitude of the most negative 32-bit value marks "too big";
  // leading zeros never reach it, so they may be as many as they like.
  constexpr std::int64_t kTooBig = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
    if (magnitude < kTooBig) magnitude = magnitude * 10 + (text[pos] - L'0');
  }
  if (pos == firstDigit) return 0;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return 0;
  }
  return static_cast<int>(value);
}

bool IsPerFileIcon(const std::wstring& location) {
  return location == L"%1";
}

std::wstring LocationProblem(Shell& shell, const std::wstring& location) {
  if (std::any_of(location.begin(), location.end(),
                  [](wchar_t c) { return static_cast<std::uint32_t>(c) < 0x20; }))
    return L"the icon location holds a line break or another control character";
  if (IsPerFileIcon(location))
    return L"\"%1\" makes each file its own icon, so the type would have none to list; give a file and an "
           L"icon index, as in C:\\Icons\\set.dll,3";
  const IconLocation icon = SplitIconLocation(location);
  if (icon.file.empty()) return L"the icon location names no file";
  const std::wstring quoted = L"\"" + icon.file + L"\"";
  const int count = shell.CountIcons(IconFileForExtraction(shell, icon.file));
  if (count <= 0)
    return quoted + L" holds no icons, or cannot be read: give a .dll, .exe or .ico file that holds icons";
  if (icon.index >= count) {
    const std::wstring held =
        count == 1 ? L"1 icon, numbered 0"
                   : std::to_wstring(count) + L" icons, numbered from 0 to " + std::to_wstring(count - 1);
    return quoted + L" holds " + held + L": there is no icon " + std::to_wstring(icon.index);
  }
  if (icon.index < 0) {
    const IconHandle found = ExtractOneIcon(shell, icon.file, icon.index, kProbeSizePx);
    if (found == 0) {
      return quoted + L" holds no icon with the resource id " + std::to_wstring(-std::int64_t{icon.index}) +
             L" (the index " + std::to_wstring(icon.index) + L")";
    }
    shell.DestroyIcon(found);
  }
  return {};
}

bool IsPackagedIcon(std::wstring_view location) {
  return location.size() > 3 && location.substr(0, 2) == L"@{" && location.back() == L'}';
}

std::wstring BuildIconLocation(const std::wstring& file, std::int64_t index) {
  if (index == 0 && IsPackagedIcon(file)) return file;
  return file + L"," + std::to_wstring(index);
}

std::wstring IconFileForExtraction(Shell& shell, const std::wstring& file) {
  if (IsPackagedIcon(file)) {
    // The system answers with the picture's path; text that still names a
    // resource is no file.
    std::wstring path = shell.LoadIndirectString(file).value_or(L"");
    return path.empty() || path[0] == L'@' ? std::wstring() : path;
  }
  std::wstring path = shell.ExpandEnvironment(file);
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
  return path;
}

IconHandle ExtractOneIcon(Shell& shell, const std::wstring& file, int index, int sizePx) {
  const std::wstring resolved = IconFileForExtraction(shell, file);
  if (resolved.empty()) return 0;
  IconHandle icon = 0;
  for (const IconHandle extracted : shell.ExtractIcons(resolved, index, 1, sizePx)) {
    if (!IsIcon(extracted)) continue;
    if (icon == 0) {
      icon = extracted;
    } else {
      shell.DestroyIcon(extracted);
    }
  }
  return icon;
}

}  // namespace tarrow
