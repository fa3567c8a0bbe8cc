// Icon locations read from a .reg file, as --export writes it or the registry
// editor exports it. The file is untrusted: it is read only when it sets
// nothing but the default value of file types' DefaultIcon keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/class_layer.h"
#include "platform/os.h"

namespace tarrow {

struct RegIconValue {
  // The layer the key names; nullopt for HKEY_CLASSES_ROOT, which names none.
  std::optional<ClassLayer> layer;
  std::wstring className;  // the class whose DefaultIcon key it is
  std::wstring location;   // the value's text, without its terminating NUL
  std::uint32_t type = kRegSz;
  bool operator==(const RegIconValue&) const = default;
};

struct RegIconFile {
  std::vector<RegIconValue> values;  // in the file's order
  // When the file holds anything else: the first line at fault (1-based)
  // and why, in words for the user. Then `values` is empty.
  std::size_t faultLine = 0;
  std::wstring fault;
  bool ok() const { return fault.empty(); }
};

// Reads a file in either form the registry editor writes: UTF-16 LE with a
// byte order mark after "Windows Registry Editor Version 5.00", or ANSI
// after "REGEDIT4" (converted by the shell's code page).
RegIconFile ReadRegIconFile(std::string_view bytes, Shell& shell);

}  // namespace tarrow
