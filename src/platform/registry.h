// The registry procedures: the program's only way into the
// registry. Every outcome is a result; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/os.h"

namespace tarrow {

// A value to write or a value read: nothing, text, or a 32-bit number.
using RegValue = std::variant<std::monostate, std::wstring, std::int32_t>;

// An open registry key, closed on every way out. Opening or creating again
// closes the key held before.
class ScopedKey {
 public:
  explicit ScopedKey(Registry& reg) : reg_(reg) {}
  ScopedKey(Registry& reg, RegKey root, const std::wstring& path, RegAccess access);
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  Status Open(RegKey root, const std::wstring& path, RegAccess access);
  // Opens root\path for setting values, creating every missing key on the way.
  Status Create(RegKey root, const std::wstring& path, bool* created = nullptr);
  // Opens it for setting values, made when new with the access list of
  // Registry::CreateProtectedKey.
  Status CreateProtected(RegKey root, const std::wstring& path);
  void Close();
  RegKey get() const { return key_; }
  Status status() const { return status_; }
  explicit operator bool() const { return key_ != 0; }

 private:
  Registry& reg_;
  RegKey key_ = 0;
  Status status_ = kErrorFileNotFound;
};

// Status of a value type the procedures do not handle.
inline constexpr Status kUnhandledType = -1;

// Writes one value into an open key. Types 1 and 2 take the value as text,
// stored with exactly one terminating NUL; type 4 as a 32-bit number. Any
// other type writes nothing and gives kSuccess.
Status RegWriteOpenValue(Registry& reg, RegKey key, const std::wstring& name, std::uint32_t type,
                         const RegValue& value);

// Opens root\path for setting values (never creating it), writes, closes.
// True when the value was written; `status`, when given, receives the reason.
bool RegWriteValue(Registry& reg, RegKey root, const std::wstring& path, const std::wstring& name,
                   const RegValue& value, std::uint32_t type, Status* status = nullptr);

// Reads one value of an open key. Text comes back with the characters stored,
// its terminator included when it has one; REG_EXPAND_SZ text loses leading
// and trailing blanks. On failure `value` is left as it was, except that text
// which could not be read after a successful probe comes back empty.
// `storedType`, when given, receives the type a successful probe reported,
// and is left as it was when the value is not there.
Status RegReadOpenValue(Registry& reg, RegKey key, const std::wstring& name, RegValue& value,
                        std::uint32_t* storedType = nullptr);

// The text of root\path's value `name` without its terminating NUL; empty
// when nothing could be read.
std::wstring RegReadValue(Registry& reg, RegKey root, const std::wstring& path, const std::wstring& name);

// Whether root\path is a key that can be opened for reading.
bool RegKeyExists(Registry& reg, RegKey root, const std::wstring& path);

// Appends the names of root\path's subkeys to `names`, from enumeration
// position `index` on; afterwards `index` is one past the last name stored.
void RegListSubkeys(Registry& reg, RegKey root, const std::wstring& path, std::vector<std::wstring>& names,
                    std::int32_t& index);

}  // namespace tarrow
