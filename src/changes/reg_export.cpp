#include "changes/reg_export.h"

#include <algorithm>
#include <string_view>

namespace tarrow {
namespace {

bool IsControl(wchar_t c) {
  return static_cast<std::uint32_t>(c) < 0x20;
}

bool HasControl(const std::wstring& text) {
  return std::any_of(text.begin(), text.end(), IsControl);
}

// The text as UTF-16 code units, whatever the width of wchar_t.
std::u16string Utf16(const std::wstring& text) {
  std::u16string units;
  for (const wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code > 0xFFFF) {
      units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
  }
  return units;
}

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string Escaped(const std::u16string& text) {
  std::u16string quoted = u"\"";
  for (const char16_t c : text) {
    if (c == u'\\' || c == u'"') quoted += u'\\';
    quoted += c;
  }
  return quoted + u"\"";
}

std::string HexPrefix(std::uint32_t type) {
  static const char kDigits[] = "0123456789abcdef";
  if (type == kRegBinary) return "hex:";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[type % 16]);
    type /= 16;
  } while (type != 0);
  return "hex(" + digits + "):";
}

// The value's data as bytes, folded as the registry editor folds them: a
// line ends with ",\" once it reaches 77 columns, the next is indented by two.
std::u16string HexData(std::size_t column, std::uint32_t type, const std::u16string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string bytes;
  for (const char16_t unit : text + u'\0') {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  const std::string prefix = HexPrefix(type);
  std::string hex = prefix;
  column += prefix.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
    if (i + 1 == bytes.size()) break;
    hex += ',';
    column += 3;
    if (column >= 77) {
      hex += "\\\r\n  ";
      column = 2;
    }
  }
  return Ascii(hex);
}

}  // namespace

std::wstring RegFileProblem(const RegFileValue& value) {
  if (HasControl(value.key)) return L"its key name holds a line break or another control character";
  if (value.key.find(L']') != std::wstring::npos) return L"its key name holds a \"]\"";
  if (value.key.empty() || value.key.front() == L'\\' || value.key.back() == L'\\' ||
      value.key.find(L"\\\\") != std::wstring::npos)
    return L"its key name has an empty part";
  if (value.key.front() == L'-') return L"its key name starts with \"-\"";
  if (HasControl(value.name)) return L"its value name holds a line break or another control character";
  return {};
}

std::string RegFileBytes(const std::vector<RegFileValue>& values) {
  std::vector<std::wstring> keys;
  for (const auto& value : values) {
    if (!RegFileProblem(value).empty()) continue;
    if (std::find(keys.begin(), keys.end(), value.key) == keys.end()) keys.push_back(value.key);
  }
  std::u16string file = u"\uFEFFWindows Registry Editor Version 5.00\r\n";
  for (const auto& key : keys) {
    file += u"\r\n[" + Utf16(key) + u"]\r\n";
    for (const auto& value : values) {
      if (value.key != key || !RegFileProblem(value).empty()) continue;
      const std::u16string name = value.name.empty() ? u"@=" : Escaped(Utf16(value.name)) + u"=";
      const std::u16string text = Utf16(value.text);
      const bool quotable = value.type == kRegSz && !HasControl(value.text);
      file += name + (quotable ? Escaped(text) : HexData(name.size(), value.type, text)) + u"\r\n";
    }
  }
  file += u"\r\n";
  std::string bytes;
  bytes.reserve(file.size() * 2);
  for (const char16_t unit : file) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace tarrow
