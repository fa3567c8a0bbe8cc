// A .reg file handed to --import can hold anything: reading it must never
// fail but by refusing, and what it accepts must be exactly what the export
// would write again.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "changes/reg_export.h"
#include "changes/reg_import.h"
#include "fake_os.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarrow;
  using fuzz::Require;
  fake::FakeShell shell;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const RegIconFile file = ReadRegIconFile(bytes, shell);
  const std::size_t lines = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n') +
                                                         std::count(bytes.begin(), bytes.end(), '\r'));
  if (!file.ok()) {
    Require(file.values.empty(), "a refused file gives no values");
    Require(file.faultLine >= 1 && file.faultLine <= lines, "the line at fault is a line of the file");
    return 0;
  }
  Require(file.faultLine == 0, "an accepted file names no line");
  std::vector<RegFileValue> again;
  for (const RegIconValue& value : file.values) {
    Require(!value.className.empty(), "a class has a name");
    Require(std::none_of(value.className.begin(), value.className.end(),
                         [](wchar_t c) { return c == L'\\' || c < 0x20; }),
            "a class name holds no backslash and no control character");
    Require(value.type == kRegSz || value.type == kRegExpandSz, "a location is text");
    const std::wstring root = !value.layer ? L"HKEY_CLASSES_ROOT\\" + value.className
                              : value.layer == ClassLayer::User
                                  ? L"HKEY_CURRENT_USER\\" + ClassPath(value.className)
                                  : L"HKEY_LOCAL_MACHINE\\" + ClassPath(value.className);
    again.push_back({root + L"\\DefaultIcon", L"", value.type, value.location});
  }
  // The export writes each key once, its values together, in the order the
  // keys first come.
  std::vector<RegIconValue> grouped;
  std::vector<bool> placed(again.size(), false);
  for (std::size_t i = 0; i < again.size(); ++i) {
    if (placed[i]) continue;
    for (std::size_t k = i; k < again.size(); ++k) {
      if (placed[k] || again[k].key != again[i].key) continue;
      placed[k] = true;
      grouped.push_back(file.values[k]);
    }
  }
  const RegIconFile reread = ReadRegIconFile(RegFileBytes(again), shell);
  Require(reread.ok() && reread.values == grouped, "the values written again read back the same");
  return 0;
}
