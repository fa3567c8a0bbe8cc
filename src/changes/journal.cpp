#include "changes/journal.h"

#include <array>
#include <climits>
#include <cstring>
#include <set>
#include <utility>

#include "changes/apply.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace tarrow {
namespace {

constexpr std::string_view kHeader = "TarrowJournal 2\n";
constexpr std::string_view kHeaderVersion1 = "TarrowJournal 1\n";
constexpr std::string_view kCheck = "check ";
constexpr char kHexDigits[] = "0123456789abcdef";

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

std::optional<std::string_view> NextField(std::string_view& line) {
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::string_view field = line.substr(0, space);
  line.remove_prefix(space + 1);
  return field;
}

// A written value's two fields: type 0 and no bytes for none.
bool ParseWritten(std::string_view& line, std::optional<StoredValue>& value) {
  const auto typeText = NextField(line);
  const auto bytesText = NextField(line);
  if (!typeText || !bytesText) return false;
  const auto type = ParseDecimal(*typeText);
  auto bytes = ParseBytes(*bytesText);
  if (!type || !bytes) return false;
  if (*type == 0) return bytes->empty();
  value = StoredValue{*type, std::move(*bytes)};
  return true;
}

std::optional<JournalEntry> ParseEntry(std::string_view line, bool version1) {
  const auto layer = NextField(line);
  const auto flags = NextField(line);
  const auto typeText = NextField(line);
  const auto bytesText = NextField(line);
  if (!layer || !flags || !typeText || !bytesText) return std::nullopt;
  JournalEntry entry;
  if (*layer == "user") {
    entry.layer = ClassLayer::User;
  } else if (*layer == "machine") {
    entry.layer = ClassLayer::Machine;
  } else {
    return std::nullopt;
  }
  if (flags->size() != 3) return std::nullopt;
  const auto classKey = ParseFlag((*flags)[0]);
  const auto iconKey = ParseFlag((*flags)[1]);
  const auto value = ParseFlag((*flags)[2]);
  const auto type = ParseDecimal(*typeText);
  auto bytes = ParseBytes(*bytesText);
  if (!classKey || !iconKey || !value || !type || !bytes) return std::nullopt;
  if (!version1) {
    if (!ParseWritten(line, entry.written) || !ParseWritten(line, entry.earlier)) return std::nullopt;
    const auto state = NextField(line);
    if (!state) return std::nullopt;
    if (*state == "settled") {
      entry.settled = true;
    } else if (*state != "active") {
      return std::nullopt;
    }
  }
  auto progId = ParseProgId(line);  // the rest: a ProgID holds no space
  if (!progId) return std::nullopt;
  entry.classKeyExisted = *classKey;
  entry.iconKeyExisted = *iconKey;
  entry.valueExisted = *value;
  entry.type = *type;
  entry.bytes = std::move(*bytes);
  entry.progId = std::move(*progId);
  return entry;
}

void AppendBytes(std::string& out, const std::vector<unsigned char>& bytes) {
  if (bytes.empty()) out += '-';
  const std::size_t at = out.size();
  out.resize(at + bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[at + 2 * i] = kHexDigits[bytes[i] >> 4];
    out[at + 2 * i + 1] = kHexDigits[bytes[i] & 0xF];
  }
}

bool IsText(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz;
}

// A value exactly as stored; a value that grows between the probe and the
// read is probed again. kErrorMoreData when it never held still.
Status ReadRawValue(Registry& registry, RegKey key, const std::wstring& name, StoredValue& value) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint32_t size = 0;
    Status status = registry.QueryValue(key, name, value.type, nullptr, size);
    if (status != kSuccess) return status;
    value.bytes.assign(size, 0);
    if (size == 0) return kSuccess;
    std::uint32_t copied = size;
    status = registry.QueryValue(key, name, value.type, value.bytes.data(), copied);
    if (status == kErrorMoreData) continue;
    if (status != kSuccess) return status;
    if (copied > size) return kErrorMoreData;
    value.bytes.resize(copied);
    return kSuccess;
  }
  return kErrorMoreData;
}

// The program writes only restorable entries, one per value, and the machine
// record only the machine layer's: a record with anything else was not
// written by it, and none of it is trusted.
bool Writable(Shell& shell, RecordScope scope, const std::vector<JournalEntry>& entries) {
  std::set<std::pair<ClassLayer, std::wstring>> seen;
  for (const auto& entry : entries) {
    if (!IsRestorableEntry(entry) || !seen.emplace(entry.layer, shell.LowerCase(entry.progId)).second)
      return false;
    if (scope == RecordScope::Machine && entry.layer != ClassLayer::Machine) return false;
  }
  return true;
}

JournalLoad Parsed(Shell& shell, RecordScope scope, std::optional<std::string> bytes) {
  if (!bytes) return {JournalState::Unreadable, {}};
  auto entries = ParseJournal(*bytes);
  if (!entries || !Writable(shell, scope, *entries)) return {JournalState::Damaged, {}};
  return {JournalState::Intact, std::move(*entries)};
}

JournalLoad LoadMachineRecord(Os& os) {
  ScopedKey key(os.registry, kLocalMachine, kMachineRecordKey, RegAccess::Read);
  if (key.status() == kErrorFileNotFound) return {JournalState::Missing, {}};
  if (!key) return {JournalState::Unreadable, {}};
  StoredValue value;
  const Status status = ReadRawValue(os.registry, key.get(), kMachineRecordValue, value);
  if (status == kErrorFileNotFound) return {JournalState::Missing, {}};
  // Whoever else could change the key could have written any of it.
  if (!os.registry.OnlyAdministratorsCanChange(key.get())) return {JournalState::Untrusted, {}};
  if (status != kSuccess || value.type != kRegBinary) return {JournalState::Unreadable, {}};
  return Parsed(os.shell, RecordScope::Machine, std::string(value.bytes.begin(), value.bytes.end()));
}

bool SaveMachineRecord(Os& os, const std::string& bytes) {
  ScopedKey key(os.registry);
  return key.CreateProtected(kLocalMachine, kMachineRecordKey) == kSuccess &&
         os.registry.OnlyAdministratorsCanChange(key.get()) &&
         os.registry.SetValue(key.get(), kMachineRecordValue, kRegBinary, bytes.data(),
                              static_cast<std::uint32_t>(bytes.size())) == kSuccess &&
         os.registry.FlushKey(key.get()) == kSuccess;
}

}  // namespace

std::wstring JournalPath(Shell& shell) {
  const std::wstring base = WithoutTrailingBackslashes(shell.LocalAppDataFolder());
  return base.empty() ? base : base + L"\\Tarrow\\" + kJournalName;
}

std::wstring RecordPlace(Shell& shell, RecordScope scope) {
  return scope == RecordScope::User ? JournalPath(shell)
                                    : std::wstring(L"HKEY_LOCAL_MACHINE\\") + kMachineRecordKey;
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
    AppendBytes(out, entry.bytes);
    out += ' ';
    for (const auto* written : {&entry.written, &entry.earlier}) {
      out += std::to_string(*written ? (*written)->type : 0);
      out += ' ';
      AppendBytes(out, *written ? (*written)->bytes : std::vector<unsigned char>());
      out += ' ';
    }
    out += entry.settled ? "settled " : "active ";
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
  const bool version1 = body.substr(0, kHeaderVersion1.size()) == kHeaderVersion1;
  if (!version1 && body.substr(0, kHeader.size()) != kHeader) return std::nullopt;

  std::vector<JournalEntry> entries;
  std::string_view rest = body.substr(kHeader.size());
  while (!rest.empty()) {
    if (entries.size() == kJournalMaxEntries) return std::nullopt;
    const auto end = rest.find('\n');
    auto entry = ParseEntry(rest.substr(0, end), version1);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
    rest.remove_prefix(end + 1);
  }
  return entries;
}

bool IsRestorableEntry(const JournalEntry& entry) {
  if (entry.layer != ClassLayer::User && entry.layer != ClassLayer::Machine) return false;
  if (!IsWritableClass(entry.progId)) return false;
  if (entry.iconKeyExisted && !entry.classKeyExisted) return false;
  if (entry.valueExisted && !entry.iconKeyExisted) return false;
  if (entry.written && !IsText(entry.written->type)) return false;
  if (entry.earlier && (!entry.written || !IsText(entry.earlier->type))) return false;
  if (!entry.valueExisted) return entry.type == 0 && entry.bytes.empty();
  return IsText(entry.type);
}

JournalLoad LoadRecord(Os& os, RecordScope scope) {
  if (scope == RecordScope::Machine) return LoadMachineRecord(os);
  const std::wstring path = JournalPath(os.shell);
  if (path.empty()) return {JournalState::Unreadable, {}};
  if (!os.files.Exists(path)) return {JournalState::Missing, {}};
  return Parsed(os.shell, scope, os.files.ReadAll(path));
}

bool SaveRecord(Os& os, RecordScope scope, const std::vector<JournalEntry>& entries) {
  if (entries.size() > kJournalMaxEntries || !Writable(os.shell, scope, entries)) return false;
  const std::string bytes = SerializeJournal(entries);
  // A record the reader would refuse is no record at all.
  if (bytes.size() > kJournalMaxBytes) return false;
  if (scope == RecordScope::Machine) return SaveMachineRecord(os, bytes);
  const std::wstring path = JournalPath(os.shell);
  if (path.empty()) return false;
  if (!os.files.EnsureFolder(path.substr(0, path.rfind(L'\\')))) return false;
  return WriteWholeFile(os.files, path, bytes);
}

JournalEntry* FindEntry(Shell& shell, std::vector<JournalEntry>& record, ClassLayer layer,
                        const std::wstring& progId) {
  const std::wstring wanted = shell.LowerCase(progId);
  for (JournalEntry& entry : record) {
    if (entry.layer == layer && shell.LowerCase(entry.progId) == wanted) return &entry;
  }
  return nullptr;
}

void RecordWrite(Shell& shell, std::vector<JournalEntry>& record, const JournalEntry& now,
                 const StoredValue& written) {
  RecordWriteAt(record, FindEntry(shell, record, now.layer, now.progId), now, written);
}

void RecordWriteAt(std::vector<JournalEntry>& record, JournalEntry* entry, const JournalEntry& now,
                   const StoredValue& written) {
  if (!entry) {
    record.push_back(now);
    entry = &record.back();
  } else if (entry->settled) {
    // Whatever is there now is what a restore must give back from here on.
    const std::wstring progId = entry->progId;
    *entry = now;
    entry->progId = progId;
  } else if (entry->written && *entry->written != written) {
    entry->earlier = entry->written;
  }
  entry->written = written;
  entry->settled = false;
}

std::optional<JournalEntry> ReadOriginal(Registry& registry, ClassLayer layer, const std::wstring& progId) {
  // A name with another backslash would be another key than the one written.
  if (!IsWritableClass(progId)) return std::nullopt;
  JournalEntry entry;
  entry.layer = layer;
  entry.progId = progId;
  const RegKey root = LayerRoot(layer);
  ScopedKey key(registry, root, ClassPath(progId), RegAccess::Read);
  if (key.status() == kErrorFileNotFound) return entry;
  if (!key) return std::nullopt;
  entry.classKeyExisted = true;
  key.Open(root, DefaultIconPath(progId), RegAccess::Read);
  if (key.status() == kErrorFileNotFound) return entry;
  if (!key) return std::nullopt;
  entry.iconKeyExisted = true;
  StoredValue value;
  const Status status = ReadRawValue(registry, key.get(), L"", value);
  if (status == kErrorFileNotFound) return entry;
  if (status != kSuccess || !IsText(value.type)) return std::nullopt;
  entry.valueExisted = true;
  entry.type = value.type;
  entry.bytes = std::move(value.bytes);
  return entry;
}

bool HoldsOriginal(const JournalEntry& entry, const JournalEntry& now) {
  if (entry.valueExisted != now.valueExisted) return false;
  return !entry.valueExisted || (entry.type == now.type && entry.bytes == now.bytes);
}

bool HoldsWritten(const JournalEntry& entry, const JournalEntry& now) {
  if (!now.valueExisted) return false;
  const StoredValue value{now.type, now.bytes};
  return entry.written == value || entry.earlier == value;
}

StoredValue LocationValue(const std::wstring& location) {
  StoredValue value;
  value.type = IconLocationValueType(location);
  value.bytes.resize((location.size() + 1) * sizeof(wchar_t));
  std::memcpy(value.bytes.data(), location.c_str(), value.bytes.size());
  return value;
}

std::wstring StoredText(const std::vector<unsigned char>& bytes) {
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace tarrow
