#include "changes/reg_import.h"

#include <algorithm>

#include "catalog/snapshot.h"

namespace tarrow {
namespace {

constexpr std::wstring_view kUnicodeHeader = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kAnsiHeader = L"REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Wide text from UTF-16 LE bytes (an odd last byte is the caller's to
// refuse). Where wchar_t holds a whole code point, a pair becomes one.
std::wstring WideFromUtf16(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8);
    if constexpr (sizeof(wchar_t) > 2) {
      const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
      if (low && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        text.back() = static_cast<wchar_t>(0x10000 + ((text.back() - 0xD800) << 10) + (unit - 0xDC00));
        continue;
      }
    }
    text += unit;
  }
  return text;
}

// ASCII letters folded: the registry compares root and key names this way
// for the names the file may use.
bool SameName(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
           return fold(x) == fold(y);
         });
}

bool StartsWithName(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

std::wstring_view TrimSpaces(std::wstring_view text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Text fit to quote back to the user: control characters shown as "?", and
// a long text cut.
std::wstring Shown(std::wstring_view text) {
  constexpr std::size_t kShown = 60;
  std::wstring shown(text.substr(0, kShown));
  std::replace_if(
      shown.begin(), shown.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }, L'?');
  return L"\"" + shown + (text.size() > kShown ? L"...\"" : L"\"");
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

class Reader {
 public:
  Reader(std::wstring text, bool utf16, Shell& shell) : text_(std::move(text)), utf16_(utf16), shell_(shell) {}

  RegIconFile Read() {
    RegIconFile file;
    std::wstring_view header;
    const bool read = NextLine(header);
    header = TrimSpaces(header);
    // The header, not the file's encoding, says how text in hex is stored:
    // UTF-16 after version 5.00, ANSI after REGEDIT4.
    hexUtf16_ = header == kUnicodeHeader;
    if (!read || (!hexUtf16_ && (utf16_ || header != kAnsiHeader))) {
      return Refuse(utf16_
                        ? L"a registry file in Unicode starts with \"Windows Registry Editor Version 5.00\""
                        : L"the file does not start with \"Windows Registry Editor Version 5.00\" or "
                          L"\"REGEDIT4\": it is not a registry file");
    }
    std::wstring_view line;
    while (NextLine(line)) {
      const std::wstring_view trimmed = TrimSpaces(line);
      if (trimmed.empty() || trimmed[0] == L';') continue;
      std::wstring reason;
      if (trimmed[0] == L'[') {
        reason = ReadKey(trimmed);
      } else if (trimmed[0] == L'@' || trimmed[0] == L'"') {
        reason = ReadValue(trimmed, file);
      } else {
        reason = L"this line is neither a key in brackets, a value, nor a comment";
      }
      if (!reason.empty()) return Refuse(reason);
    }
    return file;
  }

 private:
  // The next physical line, without its line break (CR LF, LF or CR).
  bool NextLine(std::wstring_view& line) {
    if (at_ > text_.size() || (at_ == text_.size() && lineNumber_ > 0)) return false;
    const auto end = std::min(text_.find_first_of(L"\r\n", at_), text_.size());
    line = std::wstring_view(text_).substr(at_, end - at_);
    at_ =
        end + (end < text_.size() && text_[end] == L'\r' && end + 1 < text_.size() && text_[end + 1] == L'\n'
                   ? 2
                   : 1);
    ++lineNumber_;
    return true;
  }

  RegIconFile Refuse(std::wstring reason) {
    RegIconFile file;
    file.faultLine = std::max<std::size_t>(lineNumber_, 1);
    file.fault = std::move(reason);
    return file;
  }

  std::wstring ReadKey(std::wstring_view line) {
    key_.reset();
    if (line.size() < 2 || line.back() != L']') return L"the key's closing bracket is missing";
    const std::wstring_view path = line.substr(1, line.size() - 2);
    if (!path.empty() && path[0] == L'-')
      return L"the file deletes a key, and Tarrow only sets icons: it deletes nothing";
    static constexpr struct {
      std::wstring_view prefix;
      std::optional<ClassLayer> layer;
    } kRoots[] = {
        {L"HKEY_CURRENT_USER\\Software\\Classes\\", ClassLayer::User},
        {L"HKEY_LOCAL_MACHINE\\Software\\Classes\\", ClassLayer::Machine},
        {L"HKEY_CLASSES_ROOT\\", std::nullopt},
    };
    constexpr std::wstring_view kLeaf = L"\\DefaultIcon";
    const std::wstring notIconKey =
        L"the key " + Shown(path) +
        L" is not a file type's icon key (...\\Software\\Classes\\TYPE\\DefaultIcon)";
    const auto root = std::find_if(std::begin(kRoots), std::end(kRoots),
                                   [&](const auto& r) { return StartsWithName(path, r.prefix); });
    if (root == std::end(kRoots) || path.size() < root->prefix.size() + kLeaf.size() ||
        !SameName(path.substr(path.size() - kLeaf.size()), kLeaf))
      return notIconKey;
    const std::wstring_view className =
        path.substr(root->prefix.size(), path.size() - root->prefix.size() - kLeaf.size());
    if (className.empty()) return notIconKey;
    if (className.find(L'\\') != std::wstring_view::npos)
      return L"the file type's name " + Shown(className) + L" holds a backslash, so it is no single type";
    if (std::any_of(className.begin(), className.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }))
      return L"the file type's name " + Shown(className) + L" holds a control character";
    key_ = RegIconValue{root->layer, std::wstring(className), {}, kRegSz};
    return {};
  }

  std::wstring ReadValue(std::wstring_view line, RegIconFile& file) {
    if (line[0] == L'"') return L"only a key's default value (@) is an icon, not a named value";
    if (!key_) return L"a value comes before any key";
    std::wstring_view data = TrimSpaces(line.substr(1));
    if (data.empty() || data[0] != L'=') return L"an \"=\" must follow the @";
    data = TrimSpaces(data.substr(1));
    if (data == L"-") return L"the file deletes a value, and Tarrow only sets icons: it deletes nothing";
    RegIconValue value = *key_;
    std::wstring reason;
    if (!data.empty() && data[0] == L'"') {
      reason = ReadQuoted(data, value.location);
    } else if (StartsWithName(data, L"hex(2):") || StartsWithName(data, L"hex(1):")) {
      value.type = data[4] == L'2' ? kRegExpandSz : kRegSz;
      reason = ReadHex(data.substr(7), value.location);
    } else {
      reason = L"the value is not text (a quoted string, hex(1) or hex(2)), so it is no icon location";
    }
    if (reason.empty()) file.values.push_back(std::move(value));
    return reason;
  }

  static std::wstring ReadQuoted(std::wstring_view data, std::wstring& text) {
    std::size_t i = 1;
    for (; i < data.size() && data[i] != L'"'; ++i) {
      if (data[i] == L'\\') {
        if (++i == data.size() || (data[i] != L'\\' && data[i] != L'"'))
          return L"a backslash in quoted text must be doubled";
      }
      text += data[i];
    }
    if (i == data.size()) return L"the quoted text has no closing quote";
    if (i + 1 != data.size()) return L"something follows the closing quote";
    return {};
  }

  // Bytes as "xx,xx,..", a line ending in "\" going on in the next one.
  std::wstring ReadHex(std::wstring_view data, std::wstring& text) {
    std::string bytes;
    for (;;) {
      data = TrimSpaces(data);
      const bool continues = !data.empty() && data.back() == L'\\';
      if (continues) data = TrimSpaces(data.substr(0, data.size() - 1));
      std::size_t start = 0;
      while (start < data.size()) {
        const auto comma = std::min(data.find(L',', start), data.size());
        const std::wstring_view digits = TrimSpaces(data.substr(start, comma - start));
        if (digits.empty() || digits.size() > 2)
          return L"the value's data is not bytes in hex separated by commas";
        int byte = 0;
        for (const wchar_t c : digits) {
          const int digit = HexDigit(c);
          if (digit < 0) return L"the value's data is not bytes in hex separated by commas";
          byte = byte * 16 + digit;
        }
        bytes += static_cast<char>(byte);
        start = comma + 1;
        // A line that goes on ends with its comma; the last does not.
        if (comma == data.size() && continues)
          return L"a line of hex data that goes on must end with \",\\\"";
        if (comma + 1 == data.size() && !continues) return L"the value's data ends with a comma";
      }
      if (!continues) break;
      if (!NextLine(data)) return L"the value's data goes on past the end of the file";
    }
    if (hexUtf16_) {
      if (bytes.size() % 2 != 0) return L"the value's data is not whole UTF-16 characters";
      text = WideFromUtf16(bytes);
    } else {
      text = shell_.AnsiToWide(bytes);
    }
    // The registry keeps text with its terminator, which is not part of it.
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return {};
  }

  std::wstring text_;
  bool utf16_;             // the file is UTF-16
  bool hexUtf16_ = false;  // its text in hex is
  Shell& shell_;
  std::size_t at_ = 0;
  std::size_t lineNumber_ = 0;
  std::optional<RegIconValue> key_;  // the key the values belong to, its class
};


// The encodings the registry editor cannot read, which a text editor may
// save: named, so that the user knows which to choose instead.
std::wstring UnreadEncoding(std::string_view bytes) {
  const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts(std::string_view("\xFF\xFE\0\0", 4))) return L"UTF-32";
  if (starts(std::string_view("\0\0\xFE\xFF", 4))) return L"UTF-32 big-endian";
  if (starts("\xFE\xFF")) return L"UTF-16 big-endian";
  // A header's first letter, then a zero byte: UTF-16 without its mark.
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return L"UTF-16 without a byte order mark";
  if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0') return L"UTF-16 big-endian";
  return {};
}

}  // namespace

RegIconFile ReadRegIconFile(std::string_view bytes, Shell& shell) {
  if (const std::wstring encoding = UnreadEncoding(bytes); !encoding.empty()) {
    RegIconFile file;
    file.faultLine = 1;
    file.fault = L"the file is saved as " + encoding +
                 L", which the registry editor does not read: save it as Unicode (UTF-16 LE), UTF-8 or ANSI";
    return file;
  }
  const bool utf16 = bytes.starts_with("\xFF\xFE");
  std::wstring text;
  if (utf16) {
    text = WideFromUtf16(bytes.substr(2));
  } else if (bytes.starts_with(kUtf8Bom)) {
    text = FromUtf8(bytes.substr(kUtf8Bom.size()));
  } else {
    // As a text editor saves it: UTF-8 where the bytes are, else ANSI (all
    // ASCII reads the same either way).
    text = FromUtf8(bytes);
    if (text.find(L'\xFFFD') != std::wstring::npos && bytes.find("\xEF\xBF\xBD") == std::string_view::npos)
      text = shell.AnsiToWide(bytes);
  }
  if (utf16 && bytes.size() % 2 != 0) {
    RegIconFile file;
    file.faultLine = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n'));
    file.fault = L"the file ends in the middle of a character";
    return file;
  }
  return Reader(std::move(text), utf16, shell).Read();
}

}  // namespace tarrow
