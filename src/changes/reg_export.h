// Registry values as a .reg file, in the form the registry editor writes and
// imports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"

namespace tarrow {

struct RegFileValue {
  // The full key path from its root, as L"HKEY_CURRENT_USER\\Software\\Classes\\txtfile\\DefaultIcon".
  std::wstring key;
  std::wstring name;  // empty for the key's default value
  std::uint32_t type = kRegSz;
  std::wstring text;
};

// The file's bytes: UTF-16 LE with a byte order mark, CRLF line ends, each
// key once, in the order first given, with its values in order.
// REG_SZ text is quoted, unless it holds a line break or a NUL, which quoted
// text cannot carry: it is then written as bytes, as REG_EXPAND_SZ always is.
std::string RegFileBytes(const std::vector<RegFileValue>& values);

}  // namespace tarrow
