#include "changes/journal.h"

#include <array>
#include <climits>
#include <set>
#include <utility>

#include "platform/files.h"
#include "platform/text.h"

namespace tarrow {
namespace {

constexpr std::string_view kHeader = "TarrowJournal 1\n";
constexpr std::string_view kCheck = "check ";
constexpr char kHexDigits[] = "0123456789abcdef";
// The longest key name the registry allows.
constexpr std::size_t kMaxKeyName = 255;

std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

// CRC-32 as zip and PNG compute it.
std::uint32_t Crc32(std::string_view bytes) {
  static const auto table = MakeCrcTable();
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char b : bytes) c = table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

// Lower-case hex only, so that every file has one spelling.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint32_t> ParseHex(std::string_view text) {
  std::uint32_t value = 0;
  for (const char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

// Printable ASCII, except the escape itself, stays readable.
bool WrittenAsIs(std::uint32_t unit) {
  return unit > 0x20 && unit < 0x7F && unit != '%';
}

void AppendUnit(std::string& out, std::uint32_t unit) {
  if (WrittenAsIs(unit)) {
    out += static_cast<char>(unit);
  } else {
    out += '%';
    AppendHex(out, unit, 4);
  }
}

// As UTF-16 code units, whatever the size of wchar_t, so that a name reads
// back with exactly the units the registry holds.
void AppendProgId(std::string& out, const std::wstring& progId) {
  for (const wchar_t c : progId) {
    auto unit = static_cast<std::uint32_t>(c);
    if (unit > 0xFFFF) {
      if (unit > 0x10FFFF) unit = 0xFFFD;  // never from the registry
      if (unit > 0xFFFF) {
        unit -= 0x10000;
        AppendUnit(out, 0xD800 + (unit >> 10));
        AppendUnit(out, 0xDC00 + (unit & 0x3FF));
        continue;
      }
    }
    AppendUnit(out, unit);
  }
}

std::optional<std::wstring> ParseProgId(std::string_view text) {
  std::wstring progId;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      if (!WrittenAsIs(static_cast<unsigned char>(text[i]))) return std::nullopt;
      progId += static_cast<wchar_t>(text[i++]);
      continue;
    }
    if (text.size() - i < 5) return std::nullopt;
    const auto unit = ParseHex(text.substr(i + 1, 4));
    if (!unit || WrittenAsIs(*unit)) return std::nullopt;
    i += 5;
    if constexpr (WCHAR_MAX > 0xFFFF) {
      // A pair is one character where wide text is UTF-32.
      if (!progId.empty() && *unit >= 0xDC00 && *unit <= 0xDFFF) {
        const auto high = static_cast<std::uint32_t>(progId.back());
        if (high >= 0xD800 && high <= 0xDBFF) {
          progId.back() = static_cast<wchar_t>(0x10000 + ((high - 0xD800) << 10) + (*unit - 0xDC00));
          continue;
        }
      }
    }
    progId += static_cast<wchar_t>(*unit);
  }
  return progId;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
  // One spelling: no sign, no leading zero, nothing beyond 32 bits.
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<std::vector<unsigned char>> ParseBytes(std::string_view text) {
  if (text == "-") return std::vector<unsigned char>();
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  return bytes;
}

std::optional<bool> ParseFlag(char c) {
  if (c == '0') return false;
  if (c == '1') return true;
  return std::nullopt;
}

std::optional<JournalEntry> ParseEntry(std::string_view line) {
  std::string_view fields[5];
  for (int i = 0; i < 4; ++i) {
    const auto space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    fields[i] = line.substr(0, space);
    line.remove_prefix(space + 1);
  }
  fields[4] = line;  // the ProgID, which holds no space

  JournalEntry entry;
  if (fields[0] == "user") {
    entry.layer = ClassLayer::User;
  } else if (fields[0] == "machine") {
    entry.layer = ClassLayer::Machine;
  } else {
    return std::nullopt;
  }
  if (fields[1].size() != 3) return std::nullopt;
  const auto classKey = ParseFlag(fields[1][0]);
  const auto iconKey = ParseFlag(fields[1][1]);
  const auto value = ParseFlag(fields[1][2]);
  const auto type = ParseDecimal(fields[2]);
  auto bytes = ParseBytes(fields[3]);
  auto progId = ParseProgId(fields[4]);
  if (!classKey || !iconKey || !value || !type || !bytes || !progId) return std::nullopt;
  entry.classKeyExisted = *classKey;
  entry.iconKeyExisted = *iconKey;
  entry.valueExisted = *value;
  entry.type = *type;
  entry.bytes = std::move(*bytes);
  entry.progId = std::move(*progId);
  return entry;
}

bool IsKeyName(const std::wstring& name) {
  return !name.empty() && name.size() <= kMaxKeyName &&
         name.find_first_of(std::wstring(L"\\\0", 2)) == std::wstring::npos;
}

// Opens a key for reading; nullopt when it could not be told whether it exists.
std::optional<bool> OpenIfPresent(Registry& registry, RegKey root, const std::wstring& path, RegKey& key) {
  key = 0;
  const Status status = registry.OpenKey(root, path, RegAccess::Read, key);
  if (status == kErrorFileNotFound) return false;
  if (status != kSuccess) return std::nullopt;
  return true;
}

// The default value of an open DefaultIcon key into `entry`; false when it
// cannot be recorded.
bool ReadDefaultValue(Registry& registry, RegKey key, JournalEntry& entry) {
  // A value that grows between the probe and the read is probed again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    entry.valueExisted = false;
    entry.type = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const Status probe = registry.QueryValue(key, L"", type, nullptr, size);
    if (probe == kErrorFileNotFound) return true;
    if (probe != kSuccess || (type != kRegSz && type != kRegExpandSz)) return false;
    entry.valueExisted = true;
    entry.type = type;
    if (size == 0) return true;
    std::vector<unsigned char> bytes(size);
    std::uint32_t copied = size;
    const Status read = registry.QueryValue(key, L"", type, bytes.data(), copied);
    if (read == kErrorMoreData) continue;
    if (read != kSuccess || (type != kRegSz && type != kRegExpandSz) || copied > size) return false;
    bytes.resize(copied);
    entry.type = type;
    entry.bytes = std::move(bytes);
    return true;
  }
  return false;
}

// The program writes only restorable entries, one per value: a file with
// anything else was not written by it, and none of it is trusted.
bool Writable(Shell& shell, const std::vector<JournalEntry>& entries) {
  std::set<std::pair<ClassLayer, std::wstring>> seen;
  for (const auto& entry : entries) {
    if (!IsRestorableEntry(entry) || !seen.emplace(entry.layer, shell.LowerCase(entry.progId)).second) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::wstring JournalPath(Shell& shell) {
  const std::wstring base = WithoutTrailingBackslashes(shell.LocalAppDataFolder());
  return base.empty() ? base : base + L"\\Tarrow\\" + kJournalName;
}

std::string SerializeJournal(const std::vector<JournalEntry>& entries) {
  std::string out(kHeader);
  for (const auto& entry : entries) {
    out += entry.layer == ClassLayer::User ? "user " : entry.layer == ClassLayer::Machine ? "machine " : "? ";
    out += entry.classKeyExisted ? '1' : '0';
    out += entry.iconKeyExisted ? '1' : '0';
    out += entry.valueExisted ? '1' : '0';
    out += ' ';
    out += std::to_string(entry.type);
    out += ' ';
    if (entry.bytes.empty()) out += '-';
    const std::size_t at = out.size();
    out.resize(at + entry.bytes.size() * 2);
    for (std::size_t i = 0; i < entry.bytes.size(); ++i) {
      out[at + 2 * i] = kHexDigits[entry.bytes[i] >> 4];
      out[at + 2 * i + 1] = kHexDigits[entry.bytes[i] & 0xF];
    }
    out += ' ';
    AppendProgId(out, entry.progId);
    out += '\n';
  }
  const std::uint32_t crc = Crc32(out);
  out += kCheck;
  AppendHex(out, crc, 8);
  out += '\n';
  return out;
}

std::optional<std::vector<JournalEntry>> ParseJournal(std::string_view bytes) {
  if (bytes.size() > kJournalMaxBytes || bytes.empty() || bytes.back() != '\n') return std::nullopt;
  const auto lastLine = bytes.rfind('\n', bytes.size() - 2);
  if (lastLine == std::string_view::npos) return std::nullopt;
  const std::string_view body = bytes.substr(0, lastLine + 1);
  const std::string_view check = bytes.substr(lastLine + 1, bytes.size() - lastLine - 2);
  if (check.size() != kCheck.size() + 8 || check.substr(0, kCheck.size()) != kCheck) return std::nullopt;
  const auto crc = ParseHex(check.substr(kCheck.size()));
  if (!crc || *crc != Crc32(body)) return std::nullopt;
  // A later format is not read as this one: its lines may mean other things.
  if (body.substr(0, kHeader.size()) != kHeader) return std::nullopt;

  std::vector<JournalEntry> entries;
  std::string_view rest = body.substr(kHeader.size());
  while (!rest.empty()) {
    if (entries.size() == kJournalMaxEntries) return std::nullopt;
    const auto end = rest.find('\n');
    auto entry = ParseEntry(rest.substr(0, end));
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
    rest.remove_prefix(end + 1);
  }
  return entries;
}

bool IsRestorableEntry(const JournalEntry& entry) {
  if (entry.layer != ClassLayer::User && entry.layer != ClassLayer::Machine) return false;
  if (!IsKeyName(entry.progId)) return false;
  if (entry.iconKeyExisted && !entry.classKeyExisted) return false;
  if (entry.valueExisted && !entry.iconKeyExisted) return false;
  if (!entry.valueExisted) return entry.type == 0 && entry.bytes.empty();
  return entry.type == kRegSz || entry.type == kRegExpandSz;
}

JournalLoad LoadJournal(Os& os) {
  const std::wstring path = JournalPath(os.shell);
  if (path.empty()) return {JournalState::Unreadable, {}};
  if (!os.files.Exists(path)) return {JournalState::Missing, {}};
  const auto bytes = os.files.ReadAll(path);
  if (!bytes) return {JournalState::Unreadable, {}};
  auto entries = ParseJournal(*bytes);
  if (!entries) return {JournalState::Damaged, {}};
  if (!Writable(os.shell, *entries)) return {JournalState::Damaged, {}};
  return {JournalState::Intact, std::move(*entries)};
}

bool SaveJournal(Os& os, const std::vector<JournalEntry>& entries) {
  const std::wstring path = JournalPath(os.shell);
  if (path.empty()) return false;
  if (entries.empty()) {
    os.files.Remove(path);
    return !os.files.Exists(path);
  }
  if (entries.size() > kJournalMaxEntries || !Writable(os.shell, entries)) return false;
  const std::string bytes = SerializeJournal(entries);
  // A file the reader would refuse is no record at all.
  if (bytes.size() > kJournalMaxBytes) return false;
  if (!os.files.EnsureFolder(path.substr(0, path.rfind(L'\\')))) return false;
  return WriteWholeFile(os.files, path, bytes);
}

void RecordOriginals(Shell& shell, std::vector<JournalEntry>& journal,
                     const std::vector<JournalEntry>& originals) {
  std::set<std::pair<ClassLayer, std::wstring>> recorded;
  for (const auto& entry : journal) recorded.emplace(entry.layer, shell.LowerCase(entry.progId));
  for (const auto& original : originals) {
    if (recorded.emplace(original.layer, shell.LowerCase(original.progId)).second)
      journal.push_back(original);
  }
}

std::optional<JournalEntry> ReadOriginal(Registry& registry, ClassLayer layer, const std::wstring& progId) {
  // A name with a backslash would be another key than the one written.
  if (!IsKeyName(progId)) return std::nullopt;
  JournalEntry entry;
  entry.layer = layer;
  entry.progId = progId;
  const RegKey root = LayerRoot(layer);
  RegKey key = 0;
  const auto classKey = OpenIfPresent(registry, root, ClassPath(progId), key);
  if (!classKey) return std::nullopt;
  if (!*classKey) return entry;
  registry.CloseKey(key);
  entry.classKeyExisted = true;
  const auto iconKey = OpenIfPresent(registry, root, DefaultIconPath(progId), key);
  if (!iconKey) return std::nullopt;
  if (!*iconKey) return entry;
  entry.iconKeyExisted = true;
  const bool read = ReadDefaultValue(registry, key, entry);
  registry.CloseKey(key);
  if (!read) return std::nullopt;
  return entry;
}

}  // namespace tarrow
