#include "catalog/snapshot.h"

#include <climits>
#include <cstdint>
#include <type_traits>

#include "platform/files.h"
#include "platform/text.h"

namespace tarrow {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr char32_t kReplacement = 0xFFFD;

// An empty folder gives no path at all rather than one at the drive's root.
std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
  const std::wstring base = WithoutTrailingBackslashes(folder);
  return base.empty() ? std::wstring() : base + L"\\" + name;
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\'));
}

char32_t CodeUnit(wchar_t c) {
  return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Wide text is UTF-16 on Windows, so characters beyond the first plane come
// as surrogate pairs; a surrogate without its partner has no UTF-8 form.
std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = CodeUnit(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = CodeUnit(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

void AppendWide(std::wstring& out, char32_t c) {
  if constexpr (WCHAR_MAX <= 0xFFFF) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(c);
}

}  // namespace

// Strict UTF-8: overlong forms, encoded surrogates, values beyond U+10FFFF and
// cut sequences each become one U+FFFD, and decoding resumes at the first byte
// that did not fit.
std::wstring FromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i++]);
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      continue;
    }
    int trailing = 0;
    char32_t c = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trailing = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trailing = 2;
      c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trailing = 3;
      c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      AppendWide(out, kReplacement);
      continue;
    }
    bool complete = true;
    for (int k = 0; k < trailing; ++k) {
      const auto next = i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
      if (i >= bytes.size() || next < low || next > high) {
        complete = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
      ++i;
    }
    AppendWide(out, complete ? c : kReplacement);
  }
  return out;
}

namespace {

// What a line can carry and still be read back as the same type: the reader
// splits at the first comma, so a comma in the ProgID would put the location
// under another type's key, and a line break would cut the line.
bool Recordable(const std::wstring& progId, const std::wstring& location) {
  return !progId.empty() && !location.empty() &&
         progId.find_first_of(std::wstring(L",\r\n\0", 4)) == std::wstring::npos &&
         location.find_first_of(L"\r\n") == std::wstring::npos;
}

// One line's text; false when it cannot be used.
bool AddLine(std::vector<SnapshotLine>& lines, std::wstring_view line, std::size_t number) {
  const auto comma = line.find(L',');
  if (comma == std::wstring_view::npos || comma == 0 || comma + 1 == line.size()) return false;
  const auto progId = line.substr(0, comma);
  if (progId.find(L'\0') != std::wstring_view::npos) return false;
  lines.push_back({std::wstring(progId), std::wstring(line.substr(comma + 1)), number});
  return true;
}

}  // namespace

std::wstring SnapshotPathBesideProgram(Shell& shell) {
  return InFolder(shell.ProgramFolder(), kSnapshotName);
}

std::wstring SnapshotPathPerUser(Shell& shell) {
  const std::wstring folder = InFolder(shell.LocalAppDataFolder(), L"Tarrow");
  return folder.empty() ? folder : folder + L"\\" + kSnapshotName;
}

std::wstring FindSnapshot(Os& os) {
  for (const auto& path : {SnapshotPathBesideProgram(os.shell), SnapshotPathPerUser(os.shell)}) {
    if (FileExists(os.files, path)) return path;
  }
  return {};
}

struct SnapshotWriter::State {
  explicit State(FileSystem& files, const std::wstring& path) : writer(files, path) {}
  WholeFileWriter writer;
};

SnapshotWriter::SnapshotWriter(Os& os) : os_(os) {}

SnapshotWriter::~SnapshotWriter() = default;

bool SnapshotWriter::active() const {
  return state_ && state_->writer.open();
}

void SnapshotWriter::Begin() {
  if (active() || !FindSnapshot(os_).empty()) return;
  // Beside the program first; a program folder that cannot be written (as
  // under Program Files) must not keep the originals from being saved.
  const std::wstring places[] = {SnapshotPathBesideProgram(os_.shell), SnapshotPathPerUser(os_.shell)};
  // A snapshot we cannot read is still the user's originals: never replace it.
  for (const auto& path : places) {
    if (!path.empty() && os_.files.Exists(path)) return;
  }
  for (const auto& finalPath : places) {
    if (finalPath.empty()) continue;
    if (&finalPath == &places[1] && !os_.files.EnsureFolder(FolderOf(finalPath))) continue;
    auto state = std::make_unique<State>(os_.files, finalPath);
    if (!state->writer.Open()) continue;
    state_ = std::move(state);
    state_->writer.Write(kUtf8Bom);
    return;
  }
}

void SnapshotWriter::Record(const std::wstring& progId, const std::wstring& location) {
  if (!active() || !Recordable(progId, location)) return;
  state_->writer.Write(ToUtf8(progId + L"," + location + L"\r\n"));
}

bool SnapshotWriter::End() {
  if (!active()) return false;
  const auto state = std::move(state_);
  return state->writer.Finish();
}

SnapshotContents ParseSnapshot(Shell& shell, std::string_view bytes) {
  const std::string_view bom(kUtf8Bom);
  const bool marked = bytes.substr(0, bom.size()) == bom;
  const std::wstring text = marked ? FromUtf8(bytes.substr(bom.size())) : shell.AnsiToWide(bytes);
  SnapshotContents contents;
  contents.empty = bytes.size() == (marked ? bom.size() : 0);
  const std::wstring_view all(text);
  std::size_t start = 0;
  std::size_t number = 0;
  while (start < all.size()) {
    ++number;
    const auto end = all.find_first_of(L"\r\n", start);
    const auto line =
        all.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
    if (end == std::wstring_view::npos) {
      contents.unusable.push_back(number);
      break;
    }
    if (!line.empty() && !AddLine(contents.lines, line, number)) contents.unusable.push_back(number);
    start = end + (all[end] == L'\r' && end + 1 < all.size() && all[end + 1] == L'\n' ? 2 : 1);
  }
  return contents;
}

SnapshotReading ReadSnapshot(Os& os) {
  SnapshotReading reading;
  std::wstring path = FindSnapshot(os);
  // One that is there but cannot be read is not missing.
  for (const auto& place : {SnapshotPathBesideProgram(os.shell), SnapshotPathPerUser(os.shell)}) {
    if (path.empty() && !place.empty() && os.files.Exists(place)) path = place;
  }
  if (path.empty()) return reading;
  const auto bytes = os.files.ReadAll(path);
  reading.state = bytes ? SnapshotState::Read : SnapshotState::Unreadable;
  if (bytes) reading.contents = ParseSnapshot(os.shell, *bytes);
  return reading;
}

}  // namespace tarrow
