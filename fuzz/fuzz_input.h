// What the fuzz targets share: the fuzzer's bytes as the wide text the code
// takes, and a loud stop when a property does not hold. Nothing the code under
// test throws is caught: an exception that escapes ends the run as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarrow::fuzz {

// Every two bytes (little-endian) are one UTF-16 code unit, as wide text holds
// it on Windows, so NULs, lone surrogates and every character of the first
// plane occur. An odd last byte is dropped.
inline std::wstring WideFromUnits(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  text.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
  }
  return text;
}

// Aborts, which both the fuzzer and the corpus replay report as a failure with
// the input that caused it.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "Property does not hold: %s\n", property);
  std::abort();
}

}  // namespace tarrow::fuzz
