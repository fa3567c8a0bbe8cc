#include "changes/journal.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_os.h"

namespace tarrow {
namespace {

using namespace std::string_literals;

const std::wstring kJournal = L"C:\\Users\\me\\AppData\\Local\\Tarrow\\Changes.journal";

std::vector<unsigned char> Bytes(std::initializer_list<unsigned char> bytes) {
  return bytes;
}

JournalEntry Value(ClassLayer layer, std::wstring progId, std::uint32_t type,
                   std::vector<unsigned char> bytes) {
  return {layer, std::move(progId), true, true, true, type, std::move(bytes)};
}

JournalEntry NoValue(ClassLayer layer, std::wstring progId, bool classKey, bool iconKey) {
  return {layer, std::move(progId), classKey, iconKey, false, 0, {}};
}

// L"a,1" with its terminator, as UTF-16LE.
const std::vector<unsigned char> kTerminated = {0x61, 0, 0x2c, 0, 0x31, 0, 0, 0};

// Worked out by hand; the check is the CRC-32 of the three lines before it.
const std::string kTwoEntries =
    "TarrowJournal 2\n"
    "user 111 2 61002c0031000000 2 62002c0032000000 1 63002c0033000000 active txtfile\n"
    "machine 100 0 - 0 - 0 - settled My%0020Type,=%0009%0025%00e9\n"
    "check fa160332\n";
// The same two originals as an older version wrote them.
const std::string kTwoEntriesVersion1 =
    "TarrowJournal 1\n"
    "user 111 2 61002c0031000000 txtfile\n"
    "machine 100 0 - My%0020Type,=%0009%0025%00e9\n"
    "check c2ba4ab9\n";

std::vector<JournalEntry> TwoEntries() {
  std::vector<JournalEntry> entries = {Value(ClassLayer::User, L"txtfile", kRegExpandSz, kTerminated),
                                       NoValue(ClassLayer::Machine, L"My Type,=\t%\u00e9", true, false)};
  entries[0].written = StoredValue{kRegExpandSz, {0x62, 0, 0x2c, 0, 0x32, 0, 0, 0}};
  entries[0].earlier = StoredValue{kRegSz, {0x63, 0, 0x2c, 0, 0x33, 0, 0, 0}};
  entries[1].settled = true;
  return entries;
}

TEST(JournalFormatTest, WritesEachEntryOnOneLineWithACheckOverAllBefore) {
  EXPECT_EQ(SerializeJournal(TwoEntries()), kTwoEntries);
  EXPECT_EQ(ParseJournal(kTwoEntries), TwoEntries());
  EXPECT_EQ(SerializeJournal({}), "TarrowJournal 2\ncheck 10d15f9a\n");
}

// An older record still restores: its entries are active, and what was
// written is unknown.
TEST(JournalFormatTest, AnOlderRecordReadsAsActiveEntriesOfUnknownWrites) {
  auto expected = TwoEntries();
  expected[0].written.reset();
  expected[0].earlier.reset();
  expected[1].settled = false;
  EXPECT_EQ(ParseJournal(kTwoEntriesVersion1), expected);
  // A version 1 line does not pass for a version 2 one, nor the other way.
  std::string mixed = kTwoEntries;
  mixed.replace(0, 16, "TarrowJournal 1\n");
  EXPECT_EQ(ParseJournal(mixed), std::nullopt);
}

TEST(JournalFormatTest, OddProgIdsAndBytesReadBackExactly) {
  const std::vector<JournalEntry> entries = {
      Value(ClassLayer::User, L" lead and trail ", kRegSz, {}),
      Value(ClassLayer::Machine, L"a=b,c\td%25%", kRegSz, Bytes({0x41})),  // odd length, no terminator
      Value(ClassLayer::User, L"\u0416\u4e2d\uffff\u007f\u0001", kRegExpandSz,
            Bytes({0, 0, 0xff, 0x10, 0x0a, 0x0d, 0x20})),
      Value(ClassLayer::User, L"lone\xD800surrogate", kRegSz, kTerminated),
      NoValue(ClassLayer::Machine, L".", false, false),
      NoValue(ClassLayer::User, L"%0041", true, true),
  };
  const std::string text = SerializeJournal(entries);
  // One line per entry between the header and the check.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
  const auto read = ParseJournal(text);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, entries);
}

TEST(JournalFormatTest, AnyDamageRefusesTheWholeFile) {
  std::string flippedEntry = kTwoEntries;
  flippedEntry[30] ^= 0x01;  // one bit of the first entry's bytes
  std::string flippedCheck = kTwoEntries;
  flippedCheck[flippedCheck.size() - 2] = '8';
  std::string garbage;
  for (int i = 0; i < 300; ++i) garbage += static_cast<char>(i * 37 + 11);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"a bit flipped in an entry", flippedEntry},
      {"the check changed", flippedCheck},
      {"the last byte cut", kTwoEntries.substr(0, kTwoEntries.size() - 1)},
      {"the check line cut", kTwoEntries.substr(0, kTwoEntries.size() - 15)},
      {"cut inside an entry", kTwoEntries.substr(0, 40)},
      {"empty", ""},
      {"one line break", "\n"},
      {"garbage", garbage},
      {"something after the check", kTwoEntries + "\n"},
      {"a later version", "TarrowJournal 2\nuser 111 2 61002c0031000000 txtfile\ncheck 9fe9f2c4\n"},
      {"CR LF line ends", "TarrowJournal 1\r\nuser 111 2 61002c0031000000 txtfile\r\ncheck 8555c458\n"},
      {"upper-case hex bytes", "TarrowJournal 1\nuser 111 2 61002C0031000000 txtfile\ncheck c8fda2a8\n"},
      {"upper-case check", "TarrowJournal 1\ncheck 3BFC0C59\n"},
      {"a needless escape", "TarrowJournal 1\nuser 111 2 61002c0031000000 txt%0066ile\ncheck e168cbf3\n"},
      {"a leading zero", "TarrowJournal 1\nuser 111 02 61002c0031000000 txtfile\ncheck 4dd5646b\n"},
      {"a space in the name",
       "TarrowJournal 1\nuser 111 2 61002c0031000000 txtfile\nuser 111 2 61002c0031000000 txtfile "
       "extra\ncheck 8e804483\n"},
      {"odd hex digits", "TarrowJournal 1\nuser 111 2 61002c003100000 txtfile\ncheck 8694ea97\n"},
      {"an unknown layer",
       "TarrowJournal 1\nuser 111 2 61002c0031000000 txtfile\nMachine 111 2 - x\ncheck af18b97d\n"},
      {"a type beyond 32 bits", "TarrowJournal 1\nuser 111 4294967296 - txtfile\ncheck 82747596\n"},
      {"a flag that is not 0 or 1", "TarrowJournal 1\nuser 121 2 - txtfile\ncheck 1f6dd5d0\n"},
      {"an escape cut short", "TarrowJournal 1\nuser 111 2 - a%00e\ncheck d47062e1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ParseJournal(c.bytes));
  }
  // The format's limits, not the program's rules: a restore checks those.
  const auto odd = ParseJournal("TarrowJournal 1\nuser 111 4294967295 - txtfile\ncheck f5eaa766\n");
  ASSERT_TRUE(odd);
  ASSERT_EQ(odd->size(), 1u);
  EXPECT_EQ((*odd)[0].type, 4294967295u);
}

TEST(JournalFormatTest, AFileBeyondTheLimitIsRefusedUnread) {
  std::string huge(kJournalMaxBytes + 1, 'x');
  EXPECT_FALSE(ParseJournal(huge));
  std::vector<JournalEntry> many(kJournalMaxEntries + 1, NoValue(ClassLayer::User, L"t", true, true));
  EXPECT_FALSE(ParseJournal(SerializeJournal(many)));
  many.pop_back();
  const auto read = ParseJournal(SerializeJournal(many));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->size(), kJournalMaxEntries);
}

TEST(JournalRulesTest, OnlyEntriesOfTheShapeTheProgramRecordsAreRestorable) {
  const std::wstring longest(255, L'k');
  const struct {
    const char* name;
    JournalEntry entry;
    bool restorable;
  } cases[] = {
      {"text", Value(ClassLayer::User, L"txtfile", kRegSz, kTerminated), true},
      {"expandable text", Value(ClassLayer::Machine, L"txtfile", kRegExpandSz, {}), true},
      {"binary", Value(ClassLayer::User, L"txtfile", kRegBinary, kTerminated), false},
      {"number", Value(ClassLayer::User, L"txtfile", kRegDword, Bytes({1, 0, 0, 0})), false},
      {"no type", Value(ClassLayer::User, L"txtfile", 0, {}), false},
      {"nothing there", NoValue(ClassLayer::User, L"txtfile", false, false), true},
      {"a class key only", NoValue(ClassLayer::User, L"txtfile", true, false), true},
      {"an empty DefaultIcon key", NoValue(ClassLayer::User, L"txtfile", true, true), true},
      {"an icon key without its class key", NoValue(ClassLayer::User, L"txtfile", false, true), false},
      {"a value without its key", {ClassLayer::User, L"txtfile", true, false, true, kRegSz, {}}, false},
      {"no value but a type", {ClassLayer::User, L"txtfile", true, true, false, kRegSz, {}}, false},
      {"no value but bytes", {ClassLayer::User, L"txtfile", true, true, false, 0, Bytes({0x41})}, false},
      {"an unknown layer", Value(static_cast<ClassLayer>(2), L"txtfile", kRegSz, {}), false},
      {"no ProgID", Value(ClassLayer::User, L"", kRegSz, {}), false},
      {"a path", Value(ClassLayer::User, L"txtfile\\shell", kRegSz, {}), false},
      {"a nested class", Value(ClassLayer::User, L"CLSID\\{1}", kRegSz, {}), false},
      {"a program chosen by its file", Value(ClassLayer::User, L"Applications\\notepad++.exe", kRegSz, {}),
       true},
      {"a program, in other case", Value(ClassLayer::User, L"APPLICATIONS\\x.exe", kRegSz, {}), true},
      {"a path below a program", Value(ClassLayer::User, L"Applications\\x.exe\\shell", kRegSz, {}), false},
      {"no program", Value(ClassLayer::User, L"Applications\\", kRegSz, {}), false},
      {"a number was written",
       [] {
         auto entry = Value(ClassLayer::User, L"txtfile", kRegSz, {});
         entry.written = StoredValue{kRegDword, {1, 0, 0, 0}};
         return entry;
       }(),
       false},
      {"a NUL", Value(ClassLayer::User, L"txt"s + L'\0' + L"file", kRegSz, {}), false},
      {"255 characters", Value(ClassLayer::User, longest, kRegSz, {}), true},
      {"256 characters", Value(ClassLayer::User, longest + L"k", kRegSz, {}), false},
      {"blanks and dots, which the registry gives no meaning", Value(ClassLayer::User, L" .. ", kRegSz, {}),
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsRestorableEntry(c.entry), c.restorable);
  }
}

TEST(JournalRulesTest, TheFirstOriginalIsKeptWhileActiveAndASettledEntryStartsAnew) {
  fake::FakeShell shell;
  const StoredValue mine{kRegSz, Bytes({9})};
  std::vector<JournalEntry> journal = {Value(ClassLayer::User, L"TxtFile", kRegSz, Bytes({1})),
                                       Value(ClassLayer::User, L"docfile", kRegSz, Bytes({5}))};
  journal[1].settled = true;
  RecordWrite(shell, journal, Value(ClassLayer::User, L"txtfile", kRegSz, Bytes({2})), mine);
  RecordWrite(shell, journal, Value(ClassLayer::Machine, L"TXTFILE", kRegSz, Bytes({3})), mine);
  RecordWrite(shell, journal, Value(ClassLayer::User, L"DOCFILE", kRegSz, Bytes({6})), mine);
  RecordWrite(shell, journal, NoValue(ClassLayer::User, L"newfile", false, false), mine);
  std::vector<JournalEntry> expected = {Value(ClassLayer::User, L"TxtFile", kRegSz, Bytes({1})),
                                        Value(ClassLayer::User, L"docfile", kRegSz, Bytes({6})),
                                        Value(ClassLayer::Machine, L"TXTFILE", kRegSz, Bytes({3})),
                                        NoValue(ClassLayer::User, L"newfile", false, false)};
  for (auto& entry : expected) entry.written = mine;
  EXPECT_EQ(journal, expected);
}

TEST(JournalRegistryTest, ReadsWhatWasThereDownToKeysThatWereNot) {
  fake::FakeRegistry reg;
  reg.CreateKey(kCurrentUser, L"Software\\Classes\\bare");
  reg.CreateKey(kCurrentUser, L"Software\\Classes\\emptyicon\\DefaultIcon");
  reg.SetRaw(kCurrentUser, L"Software\\Classes\\raw\\DefaultIcon", L"", kRegSz, Bytes({0x41, 0, 0x42}));
  reg.SetRaw(kCurrentUser, L"Software\\Classes\\blank\\DefaultIcon", L"", kRegExpandSz, {});
  reg.SetRaw(kCurrentUser, L"Software\\Classes\\named\\DefaultIcon", L"other", kRegSz, Bytes({0x41, 0}));
  reg.SetRaw(kLocalMachine, L"Software\\Classes\\machine\\DefaultIcon", L"", kRegExpandSz, kTerminated);
  reg.SetRaw(kCurrentUser, L"Software\\Classes\\number\\DefaultIcon", L"", kRegDword, Bytes({1, 0, 0, 0}));
  reg.CreateKey(kCurrentUser, L"Software\\Classes\\locked");
  reg.SetReadOnly(kCurrentUser, L"Software\\Classes\\locked");

  const struct {
    const char* name;
    ClassLayer layer;
    const wchar_t* progId;
    std::optional<JournalEntry> original;
  } cases[] = {
      {"no class key", ClassLayer::User, L"absent", NoValue(ClassLayer::User, L"absent", false, false)},
      {"no DefaultIcon key", ClassLayer::User, L"bare", NoValue(ClassLayer::User, L"bare", true, false)},
      {"no default value", ClassLayer::User, L"emptyicon",
       NoValue(ClassLayer::User, L"emptyicon", true, true)},
      {"only a named value", ClassLayer::User, L"named", NoValue(ClassLayer::User, L"named", true, true)},
      {"odd bytes without a terminator", ClassLayer::User, L"raw",
       Value(ClassLayer::User, L"raw", kRegSz, Bytes({0x41, 0, 0x42}))},
      {"an empty value", ClassLayer::User, L"blank", Value(ClassLayer::User, L"blank", kRegExpandSz, {})},
      {"the machine layer", ClassLayer::Machine, L"machine",
       Value(ClassLayer::Machine, L"machine", kRegExpandSz, kTerminated)},
      {"the user layer is not the machine's", ClassLayer::User, L"machine",
       NoValue(ClassLayer::User, L"machine", false, false)},
      {"a number cannot be recorded", ClassLayer::User, L"number", std::nullopt},
      {"a path is not a class", ClassLayer::User, L"raw\\DefaultIcon", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadOriginal(reg, c.layer, c.progId), c.original);
  }
  EXPECT_EQ(reg.openHandles(), 0);
}

class JournalFileTest : public ::testing::Test {
 protected:
  fake::FakeOs fake_;
};

TEST_F(JournalFileTest, SavedEntriesLoadAsTheyWere) {
  EXPECT_EQ(JournalPath(fake_.shell), kJournal);
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).state, JournalState::Missing);
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::User, TwoEntries()));
  EXPECT_EQ(fake_.files.files[kJournal], kTwoEntries);
  EXPECT_TRUE(fake_.files.folders.count(L"C:\\Users\\me\\AppData\\Local\\Tarrow"));
  const auto load = LoadRecord(fake_.os, RecordScope::User);
  EXPECT_EQ(load.state, JournalState::Intact);
  EXPECT_EQ(load.entries, TwoEntries());

  // Settled entries stay, so a record never shrinks to nothing by itself;
  // an empty one is still a record.
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::User, {}));
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).state, JournalState::Intact);
}

TEST_F(JournalFileTest, AWriteThatFailsLeavesTheOldJournalAsItWasAndNoTemporaryFile) {
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::User, TwoEntries()));
  auto more = TwoEntries();
  more.push_back(NoValue(ClassLayer::User, L"docfile", false, false));
  const std::map<std::wstring, std::string> before = fake_.files.files;

  fake_.files.spaceLeft = 20;  // the header fits, the first entry does not
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::User, more));
  EXPECT_EQ(fake_.files.files, before);

  fake_.files.spaceLeft = -1;
  fake_.files.failCommits = true;
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::User, more));
  EXPECT_EQ(fake_.files.files, before);

  fake_.files.failCommits = false;
  // Left by a writer that was killed: neither in the way nor read.
  fake_.files.files[kJournal + L".tmp"] = "TarrowJournal 1\nuser 000 0 - stale\n";
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::User, more));
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).entries, more);
  EXPECT_EQ(fake_.files.files.size(), 1u);
}

TEST_F(JournalFileTest, WhatCannotBeWrittenWhollyIsNotWrittenAtAll) {
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::User, {Value(ClassLayer::User, L"a\\b", kRegSz, {})}));
  EXPECT_FALSE(SaveRecord(
      fake_.os, RecordScope::User,
      {Value(ClassLayer::User, L"txtfile", kRegSz, {}), NoValue(ClassLayer::User, L"TxtFile", true, true)}));
  std::vector<unsigned char> big(kJournalMaxBytes / 2, 0x41);
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::User, {Value(ClassLayer::User, L"big", kRegSz, big)}));
  EXPECT_TRUE(fake_.files.files.empty());
  fake_.shell.localAppData.clear();
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::User, TwoEntries()));
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).state, JournalState::Unreadable);
  EXPECT_TRUE(fake_.files.files.empty());
}

TEST_F(JournalFileTest, AJournalTheProgramCouldNotHaveWrittenIsDamagedAsAWhole) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"a bad check", kTwoEntries.substr(0, kTwoEntries.size() - 2) + "0\n"},
      // Checks that hold, over entries a restore must not write.
      {"a number value", "TarrowJournal 1\nuser 111 4294967295 - txtfile\ncheck f5eaa766\n"},
      {"an unknown state", SerializeJournal(TwoEntries()).replace(kTwoEntries.find("settled"), 7, "settles")},
      {"one value twice", SerializeJournal({NoValue(ClassLayer::User, L"txtfile", true, true),
                                            Value(ClassLayer::User, L"TXTFILE", kRegSz, {})})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake_.files.files[kJournal] = c.bytes;
    const auto load = LoadRecord(fake_.os, RecordScope::User);
    EXPECT_EQ(load.state, JournalState::Damaged);
    EXPECT_TRUE(load.entries.empty());
  }
  fake_.files.files[kJournal] = SerializeJournal({NoValue(ClassLayer::User, L"txtfile", true, true),
                                                  Value(ClassLayer::Machine, L"TXTFILE", kRegSz, {})});
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).state, JournalState::Intact);
  fake_.files.unreadable.insert(kJournal);
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::User).state, JournalState::Unreadable);
}

// The machine record lives in a key only administrators can change, and is
// trusted only while it is one.
TEST_F(JournalFileTest, TheMachineRecordIsGuardedLikeTheMachineLayer) {
  std::vector<JournalEntry> machine = {Value(ClassLayer::Machine, L"txtfile", kRegSz, kTerminated)};
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::Machine).state, JournalState::Missing);
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::Machine, machine));
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::Machine).entries, machine);
  EXPECT_GT(fake_.registry.flushes, 0);
  EXPECT_TRUE(fake_.files.files.empty()) << "no file of the user's holds it";

  // An entry of the user's layer is not the machine record's.
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::Machine, {Value(ClassLayer::User, L"a", kRegSz, {})}));
  const std::string planted = SerializeJournal({Value(ClassLayer::User, L"a", kRegSz, {})});
  fake_.registry.SetRaw(kLocalMachine, kMachineRecordKey, kMachineRecordValue, kRegBinary,
                        std::vector<unsigned char>(planted.begin(), planted.end()));
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::Machine).state, JournalState::Damaged);

  // A key whose access list was loosened is trusted no more, nor written.
  ASSERT_TRUE(SaveRecord(fake_.os, RecordScope::Machine, machine));
  fake_.registry.SetProtected(kLocalMachine, kMachineRecordKey, false);
  EXPECT_EQ(LoadRecord(fake_.os, RecordScope::Machine).state, JournalState::Untrusted);
  EXPECT_FALSE(SaveRecord(fake_.os, RecordScope::Machine, machine));

  // Without administrator rights it can be read, never written.
  fake::FakeOs standard;
  standard.StandardUser();
  EXPECT_FALSE(SaveRecord(standard.os, RecordScope::Machine, machine));
  EXPECT_FALSE(standard.registry.KeyExists(kLocalMachine, kMachineRecordKey));
}

}  // namespace
}  // namespace tarrow
