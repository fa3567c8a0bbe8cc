// Icon locations are read from any registry value, so splitting one has to
// cope with every text and keep the meaning of its parts.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <regex>
#include <string>
#include <string_view>

#include "catalog/icon_location.h"
#include "fuzz_input.h"

namespace tarrow {
namespace {

using fuzz::Require;

constexpr std::int64_t kMinIndex = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxIndex = std::numeric_limits<std::int32_t>::max();

// The index as the shell reads it, worked out another way: the digits as text
// without leading zeros; more than ten are too big, fewer are compared with
// the 32-bit limits.
int ExpectedIndex(std::wstring_view text) {
  auto pos = std::min(text.find_first_not_of(L" \t"), text.size());
  const bool negative = pos < text.size() && text[pos] == L'-';
  if (pos < text.size() && (text[pos] == L'+' || negative)) ++pos;
  std::wstring_view digits = text.substr(pos);
  digits = digits.substr(0, digits.find_first_not_of(L"0123456789"));
  if (digits.empty()) return 0;
  digits.remove_prefix(std::min(digits.find_first_not_of(L'0'), digits.size() - 1));
  if (digits.size() > 10) return 0;
  std::int64_t magnitude = 0;
  for (const wchar_t digit : digits) magnitude = magnitude * 10 + (digit - L'0');
  const std::int64_t value = negative ? -magnitude : magnitude;
  return value < kMinIndex || value > kMaxIndex ? 0 : static_cast<int>(value);
}

}  // namespace
}  // namespace tarrow

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarrow;
  const std::wstring text = fuzz::WideFromUnits(data, size);
  Require(ParseIconIndex(text) == ExpectedIndex(text), "an index is read as the shell reads it");

  const IconLocation split = SplitIconLocation(text);
  static const std::wregex kIndexText(L"[ \\t]*[+-]?[0-9]+[ \\t]*");
  auto comma = text.rfind(L',');
  if (comma != std::wstring::npos &&
      !std::regex_match(text.begin() + static_cast<std::ptrdiff_t>(comma) + 1, text.end(), kIndexText))
    comma = std::wstring::npos;
  Require(split.file == text.substr(0, comma), "the file is the text before the index's comma, unchanged");
  const int index =
      comma == std::wstring::npos ? 0 : ExpectedIndex(std::wstring_view(text).substr(comma + 1));
  Require(split.index == index, "the index is read from the text after the last comma");

  // A file without a comma comes back whole, with any index that fits in 32
  // bits; a larger one reads as 0.
  std::int64_t fuzzedIndex = 0;
  if (size > 0) std::memcpy(&fuzzedIndex, data, std::min(size, sizeof fuzzedIndex));
  for (const std::int64_t built :
       {fuzzedIndex, std::int64_t{0}, std::int64_t{-1}, kMinIndex, kMaxIndex, kMinIndex - 1, kMaxIndex + 1,
        std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
    const IconLocation back = SplitIconLocation(BuildIconLocation(split.file, built));
    Require(back.file == split.file, "a built location gives back its file");
    Require(back.index == (built >= kMinIndex && built <= kMaxIndex ? built : 0),
            "a built location gives back its index");
  }
  return 0;
}
