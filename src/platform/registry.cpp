#include "platform/registry.h"

#include <algorithm>

#include "platform/text.h"

namespace tarrow {
namespace {

bool IsText(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz;
}

// Reads a text value whose probe reported `bytes`. The value may grow between
// probe and read, so a too-small buffer is sized anew a few times.
Status ReadText(Registry& reg, RegKey key, const std::wstring& name, std::uint32_t bytes,
                std::wstring& text) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    // One spare character, so that an odd byte count never reads past the end.
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    std::uint32_t type = 0;
    std::uint32_t got = bytes;
    const Status status = reg.QueryValue(key, name, type, buffer.data(), got);
    if (status == kErrorMoreData) {
      bytes = std::max<std::uint32_t>(got, bytes + 2);
      continue;
    }
    if (status != kSuccess) return status;
    if (!IsText(type)) return kUnhandledType;
    text.assign(buffer.data(), std::min<std::size_t>(got / sizeof(wchar_t), buffer.size()));
    return kSuccess;
  }
  return kErrorMoreData;
}

}  // namespace

ScopedKey::ScopedKey(Registry& reg, RegKey root, const std::wstring& path, RegAccess access) : reg_(reg) {
  Open(root, path, access);
}

ScopedKey::~ScopedKey() {
  Close();
}

void ScopedKey::Close() {
  if (key_ != 0) reg_.CloseKey(key_);
  key_ = 0;
}

Status ScopedKey::Open(RegKey root, const std::wstring& path, RegAccess access) {
  Close();
  status_ = reg_.OpenKey(root, path, access, key_);
  if (status_ != kSuccess) key_ = 0;
  return status_;
}

Status ScopedKey::CreateProtected(RegKey root, const std::wstring& path) {
  Close();
  status_ = reg_.CreateProtectedKey(root, path, key_);
  if (status_ != kSuccess) key_ = 0;
  return status_;
}

Status ScopedKey::Create(RegKey root, const std::wstring& path, bool* created) {
  Close();
  bool made = false;
  status_ = reg_.CreateKey(root, path, key_, made);
  if (status_ != kSuccess) key_ = 0;
  if (created) *created = status_ == kSuccess && made;
  return status_;
}

Status RegWriteOpenValue(Registry& reg, RegKey key, const std::wstring& name, std::uint32_t type,
                         const RegValue& value) {
  if (IsText(type)) {
    std::wstring text;
    if (const auto* s = std::get_if<std::wstring>(&value)) {
      text = *s;
    } else if (const auto* n = std::get_if<std::int32_t>(&value)) {
      text = std::to_wstring(*n);
    }
    const auto bytes = static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t));
    return reg.SetValue(key, name, type, text.c_str(), bytes);
  }
  if (type == kRegDword) {
    std::int32_t number = 0;
    if (const auto* n = std::get_if<std::int32_t>(&value)) {
      number = *n;
    } else if (const auto* s = std::get_if<std::wstring>(&value)) {
      try {
        number = static_cast<std::int32_t>(std::stol(*s));
      } catch (...) {
        return kErrorInvalidParameter;
      }
    }
    return reg.SetValue(key, name, kRegDword, &number, sizeof number);
  }
  return kSuccess;
}

bool RegWriteValue(Registry& reg, RegKey root, const std::wstring& path, const std::wstring& name,
                   const RegValue& value, std::uint32_t type, Status* status) {
  ScopedKey key(reg, root, path, RegAccess::SetValue);
  Status result = key.status();
  if (result == kSuccess) result = RegWriteOpenValue(reg, key.get(), name, type, value);
  if (status) *status = result;
  return result == kSuccess;
}

Status RegReadOpenValue(Registry& reg, RegKey key, const std::wstring& name, RegValue& value,
                        std::uint32_t* storedType) {
  std::uint32_t type = 0;
  std::uint32_t bytes = 0;
  Status status = reg.QueryValue(key, name, type, nullptr, bytes);
  if (status != kSuccess) return status;
  if (storedType) *storedType = type;
  if (IsText(type)) {
    std::wstring text;
    status = ReadText(reg, key, name, bytes, text);
    if (status == kSuccess) {
      value = type == kRegExpandSz ? TrimBlanks(text) : text;
    } else {
      value = std::wstring();
    }
    return status;
  }
  if (type == kRegDword) {
    // A number stored in more or fewer than four bytes is not a number.
    if (bytes != sizeof(std::int32_t)) return kUnhandledType;
    std::int32_t number = 0;
    std::uint32_t got = sizeof number;
    status = reg.QueryValue(key, name, type, &number, got);
    if (status == kSuccess && type == kRegDword && got == sizeof number) value = number;
    return status;
  }
  return kUnhandledType;
}

std::wstring RegReadValue(Registry& reg, RegKey root, const std::wstring& path, const std::wstring& name) {
  ScopedKey key(reg, root, path, RegAccess::Read);
  if (key.get() == 0) return {};
  RegValue value;
  RegReadOpenValue(reg, key.get(), name, value);
  const auto* text = std::get_if<std::wstring>(&value);
  if (!text) return {};
  std::wstring result = *text;
  if (!result.empty() && result.back() == L'\0') result.pop_back();
  return result;
}

bool RegKeyExists(Registry& reg, RegKey root, const std::wstring& path) {
  return ScopedKey(reg, root, path, RegAccess::Read).get() != 0;
}

void RegListSubkeys(Registry& reg, RegKey root, const std::wstring& path, std::vector<std::wstring>& names,
                    std::int32_t& index) {
  ScopedKey key(reg, root, path, RegAccess::Read);
  if (key.get() == 0) return;
  wchar_t buffer[1024];
  for (;;) {
    std::uint32_t chars = static_cast<std::uint32_t>(std::size(buffer));
    if (reg.EnumKey(key.get(), static_cast<std::uint32_t>(index), buffer, chars) != kSuccess) break;
    names.resize(static_cast<std::size_t>(index) + 1);
    names[static_cast<std::size_t>(index)].assign(buffer, std::min<std::size_t>(chars, std::size(buffer)));
    ++index;
  }
}

}  // namespace tarrow
