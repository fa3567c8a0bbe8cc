// Registry values of odd types and sizes where the scan reads ProgIDs,
// descriptions and icon locations: what is listed, what Defaults.dat records,
// and what Restore Defaults writes back.
#include <windows.h>

#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "robustness.h"

namespace tarrow::testing {
namespace {

using namespace std::string_literals;

// Where a value stands: the extension's ProgID, the ProgID's description,
// its DefaultIcon.
enum class Place { ProgId, Description, Icon };

// A value that carries the text it stands for, in a form that is not text
// (or is text, but 64 KB of it).
struct OddValue {
  const char* name;
  DWORD type;
  std::vector<BYTE> (*bytes)(const std::wstring& text);
  bool readsAsText;
};

std::vector<BYTE> BytesOf(const std::wstring& text) {
  const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
  return {first, first + (text.size() + 1) * sizeof(wchar_t)};
}

template <typename Number>
std::vector<BYTE> BytesOfNumber(Number number) {
  const auto* first = reinterpret_cast<const BYTE*>(&number);
  return {first, first + sizeof number};
}

const OddValue kOddValues[] = {
    {"REG_BINARY", REG_BINARY, [](const std::wstring& text) { return BytesOf(text); }, false},
    {"REG_MULTI_SZ", REG_MULTI_SZ,
     [](const std::wstring& text) { return BytesOf(text + L'\0' + text + L'\0'); }, false},
    {"REG_DWORD of 8 bytes", REG_DWORD, [](const std::wstring&) { return BytesOfNumber(ULONGLONG{3}); },
     false},
    {"REG_DWORD", REG_DWORD, [](const std::wstring&) { return BytesOfNumber(DWORD{3}); }, false},
    // The text padded inside to 32,767 characters and its terminator: 64 KB.
    {"REG_SZ of 64 KB", REG_SZ,
     [](const std::wstring& text) {
       const auto comma = std::min(text.find(L','), text.size());
       return BytesOf(text.substr(0, comma) + std::wstring(32767 - text.size(), L'n') + text.substr(comma));
     },
     true},
};

// Texts or lines cut short for failure messages, with their length and a
// hash so that they still compare exactly: a list of 64 KB texts is no help
// to read.
template <typename Text>
std::vector<Text> Readable(const std::vector<Text>& texts) {
  std::vector<Text> cut;
  for (const Text& text : texts) {
    if (text.size() <= 100) {
      cut.push_back(text);
      continue;
    }
    const std::string note = "... (" + std::to_string(text.size()) + " characters, hash " +
                             std::to_string(std::hash<Text>{}(text)) + ")";
    cut.push_back(text.substr(0, 60) + Text(note.begin(), note.end()));
  }
  return cut;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class OddRegistryValues : public WindowTest {};

TEST_F(OddRegistryValues, AreListedAndRecordedOnlyAsTextAndRestoreChangesNothingElse) {
  const std::wstring shell32 = L"C:\\windows\\system32\\shell32.dll";
  // The value at `place` of type n is `value`, standing for the text it
  // would have there.
  struct OddType {
    OddType(const OddValue& v, Place p, const std::wstring& n)
        : value(v), place(p), type(L".tarrowodd" + n, L"TarrowOdd." + n, L"Odd " + n) {}
    const OddValue& value;
    Place place;
    ScratchType type;
  };
  std::deque<OddType> odd;
  for (const OddValue& value : kOddValues) {
    for (const Place place : {Place::ProgId, Place::Description, Place::Icon}) {
      const std::size_t k = odd.size();
      const std::wstring n = std::to_wstring(k);
      const ScratchType& type = odd.emplace_back(value, place, n).type;
      const std::wstring icon = shell32 + L"," + std::to_wstring(k % 10);
      type.SetIcon(icon);
      const std::wstring text = place == Place::ProgId        ? type.progId()
                                : place == Place::Description ? L"Odd " + n
                                                              : icon;
      const auto bytes = value.bytes(text);
      (place == Place::ProgId ? type.extensionKey() : type.progIdKey())
          .SetRaw(place == Place::Icon ? L"DefaultIcon" : L"", L"", value.type, bytes.data(),
                  static_cast<DWORD>(bytes.size()));
    }
  }
  // Names that are listed but could not be read back from Defaults.dat as
  // their own type, and one beyond Latin-1.
  const ScratchType comma(L".tarrowcomma", L"TarrowTest.Com,ma", L"Comma");
  comma.SetIcon(shell32 + L",5");
  const ScratchType lineBreak(L".tarrowbreak", L"TarrowTest.Line\r\nBreak", L"Break");
  lineBreak.SetIcon(shell32 + L",6");
  const ScratchType unicode(L".tarrowunicode", L"TarrowTest.\u00dcn\u00ef\u4e2d\U0001F600",
                            L"\u00dcn\u00ef\u4e2d");
  unicode.SetIcon(L"%SystemRoot%\\system32\\shell32.dll,7", REG_EXPAND_SZ);

  const auto recorded = ClassesRootIcons();
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  std::vector<std::wstring> listed, expected;
  for (const auto& item : window_->types()) listed.push_back(ItemText(item));
  for (const auto& type : ExpectedTypes()) expected.push_back(type.text);
  EXPECT_EQ(Readable(listed), Readable(expected));
  for (const OddType& o : odd) {
    SCOPED_TRACE(::testing::Message() << o.value.name << " as the "
                                      << (o.place == Place::ProgId        ? "ProgID"
                                          : o.place == Place::Description ? "description"
                                                                          : "DefaultIcon"));
    // A 64 KB ProgID names no key: no key name is that long. A description
    // that is no text is no name: the type is named as Explorer names it.
    EXPECT_EQ(Listed(o.type.extension()) != nullptr,
              o.place == Place::Description || (o.value.readsAsText && o.place == Place::Icon));
  }
  for (const ScratchType* type : {&comma, &lineBreak, &unicode}) EXPECT_TRUE(Listed(type->extension()));
  const auto snapshot = FileBytes(SnapshotFile());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(Readable(Lines(*snapshot)), Readable(Lines(ExpectedSnapshot())));
  EXPECT_EQ(snapshot->find("TarrowTest.Com"), std::string::npos);
  EXPECT_EQ(snapshot->find("TarrowTest.Line"), std::string::npos);
  EXPECT_TRUE(shell_.shown.empty());

  // Every recorded type's icon changed, then restored: the registry is as it
  // was, values never recorded included.
  for (const OddType& o : odd) {
    if (Listed(o.type.extension())) o.type.SetIcon(L"changed.dll,9");
  }
  unicode.SetIcon(L"changed.dll,9");
  shell_.answers = {kIdYes};
  window_->OnRestoreDefaults();
  Settle();
  // The two types Defaults.dat cannot hold were never changed by Tarrow:
  // nothing to say of them, only the question was shown.
  ASSERT_EQ(shell_.shown.size(), 1u) << Utf8(shell_.shown.back().first);
  EXPECT_EQ(Differences(ClassesRootIcons(), recorded), std::vector<std::string>());
}

}  // namespace
}  // namespace tarrow::testing
