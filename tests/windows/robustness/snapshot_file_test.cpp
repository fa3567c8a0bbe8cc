// Restore Defaults from a damaged or unusual Defaults.dat, through the window
// as the button runs it, over the real registry and file.
#include <windows.h>

#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "changes/journal.h"
#include "platform/registry.h"
#include "robustness.h"

namespace tarrow::testing {
namespace {

using namespace std::string_literals;

constexpr char kBom[] = "\xEF\xBB\xBF";

// Bytes with no structure, the same on every run.
std::string Garbage(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 20240611;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::wstring Ansi(const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(static_cast<std::size_t>(::MultiByteToWideChar(
      CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), static_cast<int>(text.size()))));
  return text;
}

struct Case {
  const char* name;
  std::string file;
  // ProgID -> the DefaultIcon value the restore must leave; every other
  // DefaultIcon keeps the value it had.
  std::map<std::wstring, RawValue> restored;
  bool damaged;  // the warning after the question says Defaults.dat is damaged
};

class DamagedSnapshot : public WindowTest {
 protected:
  // The fixture types' icons, put back whatever a case wrote.
  KeptValue a_{L"Tarrow.TypeA\\DefaultIcon"}, b_{L"Tarrow.TypeB\\DefaultIcon"},
      c_{L"Tarrow.TypeC\\DefaultIcon"};
};

TEST_F(DamagedSnapshot, RestoresExactlyTheUsableLinesAndNeverTouchesTheFile) {
  const std::wstring plain = L"C:\\Icons\\plain.dll,2";
  const std::wstring expandable = L"%SystemRoot%\\System32\\imageres.dll,-7";
  const std::wstring huge = L"C:\\" + std::wstring(std::size_t{1} << 20, L'h') + L".dll,1";
  const std::string ansi = "C:\\Ic\xF4nes\\caf\xE9 \x80.dll,4";
  std::string utf16;
  for (const char c : "Tarrow.TypeA,"s + Utf8(plain) + "\r\n") utf16 += {c, '\0'};

  const std::vector<Case> cases = {
      {"binary garbage", Garbage(64 << 10), {}, true},
      {"a 1 MB location between usual lines",
       "Tarrow.TypeA," + Utf8(plain) + "\r\nTarrow.TypeC," + Utf8(huge) + "\r\nTarrow.TypeB," +
           Utf8(expandable) + "\r\n",
       {{L"Tarrow.TypeA", Text(REG_SZ, plain)},
        {L"Tarrow.TypeB", Text(REG_EXPAND_SZ, expandable)},
        {L"Tarrow.TypeC", Text(REG_SZ, huge)}},
       false},
      {"a 1 MB line without a comma",
       std::string(1 << 20, 'x') + "\r\nTarrow.TypeB," + Utf8(plain) + "\r\n",
       {{L"Tarrow.TypeB", Text(REG_SZ, plain)}},
       true},
      {"NUL bytes in lines",
       "Tarrow\0.TypeA,"s + Utf8(plain) + "\r\n\0\0\0\r\nTarrow.TypeB,"s + Utf8(plain) + "\0tail\r\n"s,
       {{L"Tarrow.TypeB", Text(REG_SZ, plain + L'\0' + L"tail")}},
       true},
      {"UTF-16, every other byte NUL", utf16, {}, true},
      {"CR-only line ends",
       "Tarrow.TypeA," + Utf8(expandable) + "\rTarrow.TypeB," + Utf8(plain) + "\r",
       {{L"Tarrow.TypeA", Text(REG_EXPAND_SZ, expandable)}, {L"Tarrow.TypeB", Text(REG_SZ, plain)}},
       false},
      // Cut short: the last line may have lost the end of its location.
      {"no final line end",
       "Tarrow.TypeA," + Utf8(plain) + "\r\nTarrow.TypeB," + Utf8(expandable),
       {{L"Tarrow.TypeA", Text(REG_SZ, plain)}},
       true},
      {"UTF-8 with a byte-order mark",
       kBom + "Tarrow.TypeA,%SystemRoot%\\Ic\xC3\xB4nes\\\xE4\xB8\xAD\xF0\x9F\x98\x80.dll,3\r\n"s,
       {{L"Tarrow.TypeA", Text(REG_EXPAND_SZ, L"%SystemRoot%\\Ic\u00f4nes\\\u4e2d\U0001F600.dll,3")}},
       false},
      {"ANSI without a byte-order mark",
       "Tarrow.TypeB," + ansi + "\r\n",
       {{L"Tarrow.TypeB", Text(REG_SZ, Ansi(ansi))}},
       false},
      {"no usable line", "no comma\r\n,C:\\a.dll,1\r\nTarrow.TypeA,\r\n", {}, true},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A type a record holds is never restored from Defaults.dat: each case
    // starts without records, as on a first restore.
    DeleteRecords();
    // Every fixture type starts from an icon no line restores.
    for (const KeptValue* kept : {&a_, &b_, &c_})
      ASSERT_TRUE(RegWriteValue(os_.registry, kClassesRoot, kept->key(), L"", std::wstring(L"changed.dll,9"),
                                kRegSz));
    ASSERT_TRUE(WriteFileBytes(SnapshotFile(), c.file));
    const FileStamp file = StampOf(SnapshotFile());
    std::map<std::wstring, RawValue> expected = ClassesRootIcons();
    for (const auto& [progId, value] : c.restored) expected[progId + L"\\DefaultIcon"] = value;
    shell_.shown.clear();
    shell_.answers = {kIdYes};

    window_->OnRestoreDefaults();
    Settle();

    EXPECT_EQ(Differences(ClassesRootIcons(), expected), std::vector<std::string>());
    // The question, then a warning; it says the file is damaged exactly
    // when it is. (Listed types no line names are named there too.)
    ASSERT_FALSE(shell_.shown.empty());
    EXPECT_EQ(shell_.shown.front().second, kRestoreQuestionStyle);
    EXPECT_TRUE(shell_.shown.front().first.starts_with(L"Restore all icons to their original state?"));
    std::wstring warning;
    for (std::size_t i = 1; i < shell_.shown.size(); ++i) {
      EXPECT_EQ(shell_.shown[i].second, kMbOk | kMbIconWarning);
      warning += shell_.shown[i].first;
    }
    EXPECT_EQ(
        warning.find(L"Defaults.dat, the record of the original icons, is damaged") != std::wstring::npos,
        c.damaged)
        << Utf8(warning.substr(0, 300));
    EXPECT_LT(warning.size(), 1500u) << "a message that fits on the screen";
    EXPECT_TRUE(StampOf(SnapshotFile()) == file) << "Defaults.dat was written";
    EXPECT_FALSE(PathExists(SnapshotFile() + L".tmp"));
    EXPECT_FALSE(PathExists(SnapshotPathPerUser(shell_))) << "a second snapshot was taken";
    EXPECT_FALSE(window_->walking()) << "the list was not read again";
  }
}

// A journal damaged after it was written (here: one character changed, so
// its check fails) is reported and none of it is used; Defaults.dat still is.
TEST_F(DamagedSnapshot, ADamagedJournalIsReportedAndNoneOfItIsUsed) {
  const std::wstring planted = L"C:\\planted.dll,1";
  const auto* first = reinterpret_cast<const unsigned char*>(planted.c_str());
  const JournalEntry entry{ClassLayer::Machine,
                           L"Tarrow.TypeB",
                           true,
                           true,
                           true,
                           REG_SZ,
                           std::vector<unsigned char>(first, first + (planted.size() + 1) * sizeof(wchar_t))};
  std::string journal = SerializeJournal({entry});
  journal[journal.find("Tarrow.TypeB") + 7] = 'b';
  ::CreateDirectoryW(JournalPath(shell_).substr(0, JournalPath(shell_).rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(JournalPath(shell_), journal));
  const std::wstring plain = L"C:\\Icons\\plain.dll,2";
  ASSERT_TRUE(WriteFileBytes(SnapshotFile(), "Tarrow.TypeA," + Utf8(plain) + "\r\n"));
  for (const KeptValue* kept : {&a_, &b_})
    ASSERT_TRUE(
        RegWriteValue(os_.registry, kClassesRoot, kept->key(), L"", std::wstring(L"changed.dll,9"), kRegSz));
  shell_.answers = {kIdYes};

  window_->OnRestoreDefaults();
  Settle();

  EXPECT_EQ(DefaultText(a_.key()), plain);
  EXPECT_EQ(DefaultText(b_.key()), L"changed.dll,9") << "a damaged journal was used";
  EXPECT_EQ(FileBytes(JournalPath(shell_)), journal) << "the damaged journal was touched";
  ASSERT_EQ(shell_.shown.size(), 2u);
  EXPECT_NE(
      shell_.shown[1].first.find(L"Changes.journal, is damaged or cannot be read, so none of it was used."),
      std::wstring::npos)
      << Utf8(shell_.shown[1].first);
}

}  // namespace
}  // namespace tarrow::testing
