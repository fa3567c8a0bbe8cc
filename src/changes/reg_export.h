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

// Why the value cannot be written to a .reg file, in the user's words ("its
// key name holds a line break"); empty when it can. The registry editor reads
// a key's name up to its "]", with no escapes, and each line on its own: a
// key or value name with a control character or a "]" in the key would read
// back as another key, or add lines of its own. Key names must also be whole
// (no empty part) and must not start with "-", which deletes the key.
std::wstring RegFileProblem(const RegFileValue& value);

// The file's bytes: UTF-16 LE with a byte order mark, CRLF line ends, each
// key once, in the order first given, with its values in order. A value with
// a RegFileProblem is left out. REG_SZ text is quoted, unless it holds a
// control character (a line break would end the line, a NUL the text): it is
// then written as bytes ("hex(1):"), as REG_EXPAND_SZ always is.
std::string RegFileBytes(const std::vector<RegFileValue>& values);

}  // namespace tarrow
