#include "catalog/snapshot.h"

#include <climits>
#include <gtest/gtest.h>
#include <random>

#include "fake_os.h"

namespace tarrow {
namespace {

using namespace std::string_literals;

const std::wstring kBeside = L"C:\\Tarrow\\Defaults.dat";
const std::wstring kPerUserFolder = L"C:\\Users\\me\\AppData\\Local\\Tarrow";
const std::wstring kPerUser = kPerUserFolder + L"\\Defaults.dat";
const std::string kBom = "\xEF\xBB\xBF";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return out;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// A character beyond the first plane as wide text holds it: one unit, or a
// surrogate pair where wchar_t is 16 bits.
std::wstring GrinningFace() {
  if constexpr (WCHAR_MAX <= 0xFFFF) {
    return std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  } else {
    return std::wstring(1, static_cast<wchar_t>(0x1F600));
  }
}

void ExpectWellFormed(const std::vector<SnapshotLine>& lines) {
  for (const auto& line : lines) {
    EXPECT_FALSE(line.progId.empty());
    EXPECT_FALSE(line.location.empty());
    EXPECT_EQ(line.progId.find_first_of(L",\r\n"s + L'\0'), std::wstring::npos) << Narrow(line.progId);
    EXPECT_EQ(line.location.find_first_of(L"\r\n"), std::wstring::npos) << Narrow(line.location);
  }
}

TEST(SnapshotPathTest, BesideTheProgramAndPerUserWithoutDoubledOrRootedSeparators) {
  fake::FakeShell shell;
  EXPECT_EQ(SnapshotPathBesideProgram(shell), kBeside);
  EXPECT_EQ(SnapshotPathPerUser(shell), kPerUser);
  shell.programFolder = L"D:\\";
  shell.localAppData = L"C:\\Users\\me\\AppData\\Local\\";
  EXPECT_EQ(SnapshotPathBesideProgram(shell), L"D:\\Defaults.dat");
  EXPECT_EQ(SnapshotPathPerUser(shell), kPerUser);
  shell.programFolder = L"";
  shell.localAppData = L"";
  EXPECT_EQ(SnapshotPathBesideProgram(shell), L"");
  EXPECT_EQ(SnapshotPathPerUser(shell), L"");
}

TEST(FindSnapshotTest, PrefersTheFileBesideTheProgramThenThePerUserOne) {
  const struct {
    const char* name;
    bool beside, besideReadable, perUser;
    std::wstring found;
  } cases[] = {
      {"none", false, true, false, L""},
      {"beside only", true, true, false, kBeside},
      {"per-user only", false, true, true, kPerUser},
      {"both", true, true, true, kBeside},
      {"beside unreadable", true, false, true, kPerUser},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeOs fake;
    if (c.beside) fake.files.files[kBeside] = "";
    if (!c.besideReadable) fake.files.unreadable.insert(kBeside);
    if (c.perUser) fake.files.files[kPerUser] = "";
    EXPECT_EQ(FindSnapshot(fake.os), c.found);
  }
}

TEST(SnapshotWriterTest, FileAppearsOnlyAtEndAsUtf8WithBomAndCrLfAfterEveryLine) {
  fake::FakeOs fake;
  SnapshotWriter writer(fake.os);
  writer.Begin();
  ASSERT_TRUE(writer.active());
  writer.Record(L"txtfile", L"%SystemRoot%\\system32\\imageres.dll,-102");
  writer.Record(L"caf\u00e9file", L"C:\\\u4e2d\\a.dll,-1,x");
  writer.Record(L"emoji", GrinningFace() + L".ico");
  EXPECT_FALSE(fake.files.files.count(kBeside));
  EXPECT_TRUE(writer.End());
  EXPECT_FALSE(writer.active());
  EXPECT_EQ(fake.files.commits, 1);
  ASSERT_TRUE(fake.files.files.count(kBeside));
  EXPECT_EQ(Printable(fake.files.files[kBeside]),
            Printable(kBom + "txtfile,%SystemRoot%\\system32\\imageres.dll,-102\r\n" +
                      "caf\xC3\xA9"
                      "file,C:\\\xE4\xB8\xAD\\a.dll,-1,x\r\n" +
                      "emoji,\xF0\x9F\x98\x80.ico\r\n"));
  EXPECT_EQ(fake.files.files.size(), 1u) << "the temporary file is gone";
}

TEST(SnapshotWriterTest, SurrogatesArePairedOrReplaced) {
  fake::FakeOs fake;
  SnapshotWriter writer(fake.os);
  writer.Begin();
  const std::wstring high(1, static_cast<wchar_t>(0xD83D));
  const std::wstring low(1, static_cast<wchar_t>(0xDE00));
  writer.Record(L"p", L"a" + high + L"b" + low + low + high);
  writer.Record(L"q", high + low);
  ASSERT_TRUE(writer.End());
  EXPECT_EQ(Printable(fake.files.files[kBeside]), Printable(kBom +
                                                            "p,a\xEF\xBF\xBD"
                                                            "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\r\n" +
                                                            "q,\xF0\x9F\x98\x80\r\n"));
}

TEST(SnapshotWriterTest, StaysInactiveWhenASnapshotExistsAnywhere) {
  for (const auto& existing : {kBeside, kPerUser}) {
    SCOPED_TRACE(Narrow(existing));
    fake::FakeOs fake;
    fake.files.files[existing] = "old,a.dll\r\n";
    SnapshotWriter writer(fake.os);
    writer.Begin();
    EXPECT_FALSE(writer.active());
    writer.Record(L"new", L"b.dll");
    EXPECT_FALSE(writer.End());
    EXPECT_EQ(fake.files.files.size(), 1u);
    EXPECT_EQ(fake.files.files[existing], "old,a.dll\r\n");
  }
}

TEST(SnapshotWriterTest, NeverReplacesASnapshotThatCannotBeRead) {
  for (const auto& existing : {kBeside, kPerUser}) {
    SCOPED_TRACE(Narrow(existing));
    fake::FakeOs fake;
    fake.files.files[existing] = "old,a.dll\r\n";
    fake.files.unreadable.insert(existing);
    SnapshotWriter writer(fake.os);
    writer.Begin();
    EXPECT_FALSE(writer.active());
    writer.Record(L"new", L"b.dll");
    writer.End();
    EXPECT_EQ(fake.files.files.size(), 1u);
    EXPECT_EQ(fake.files.files[existing], "old,a.dll\r\n");
  }
}

TEST(SnapshotWriterTest, ReadOnlyProgramFolderPutsTheSnapshotInThePerUserFolder) {
  fake::FakeOs fake;
  fake.files.readOnlyFolders.insert(L"C:\\Tarrow");
  {
    SnapshotWriter writer(fake.os);
    writer.Begin();
    ASSERT_TRUE(writer.active());
    writer.Record(L"txtfile", L"a.dll,1");
    EXPECT_TRUE(writer.End());
  }
  EXPECT_TRUE(fake.files.folders.count(kPerUserFolder));
  EXPECT_FALSE(fake.files.files.count(kBeside));
  EXPECT_EQ(fake.files.files[kPerUser], kBom + "txtfile,a.dll,1\r\n");
  EXPECT_EQ(fake.files.files.size(), 1u);
  const auto lines = ReadSnapshot(fake.os).contents.lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].location, L"a.dll,1");
}

TEST(SnapshotWriterTest, NowhereToWriteIsSilentAndLeavesNothing) {
  fake::FakeOs fake;
  fake.files.readOnlyFolders = {L"C:\\Tarrow", L"C:\\Users\\me\\AppData\\Local"};
  SnapshotWriter writer(fake.os);
  writer.Begin();
  EXPECT_FALSE(writer.active());
  writer.Record(L"txtfile", L"a.dll");
  EXPECT_FALSE(writer.End());
  EXPECT_TRUE(fake.files.files.empty());

  fake.shell.localAppData = L"";
  SnapshotWriter unknownFolder(fake.os);
  unknownFolder.Begin();
  EXPECT_FALSE(unknownFolder.active());
  EXPECT_TRUE(fake.files.files.empty());
}

TEST(SnapshotWriterTest, AnUnfinishedOrFailedSnapshotLeavesNoFileAndTheNextOneIsTaken) {
  fake::FakeOs fake;
  {
    SnapshotWriter interrupted(fake.os);
    interrupted.Begin();
    ASSERT_TRUE(interrupted.active());
    interrupted.Record(L"txtfile", L"a.dll");
  }
  EXPECT_TRUE(fake.files.files.empty());

  fake.files.failCommits = true;
  {
    SnapshotWriter failing(fake.os);
    failing.Begin();
    ASSERT_TRUE(failing.active());
    failing.Record(L"txtfile", L"a.dll");
    EXPECT_FALSE(failing.End());
  }
  EXPECT_TRUE(fake.files.files.empty());

  fake.files.failCommits = false;
  // A temporary file left by a crash must not end up inside the next snapshot.
  fake.files.files[kBeside + L".tmp"] = "stale,x.dll\r\n";
  SnapshotWriter next(fake.os);
  next.Begin();
  next.Record(L"txtfile", L"b.dll");
  EXPECT_TRUE(next.End());
  EXPECT_EQ(fake.files.files[kBeside], kBom + "txtfile,b.dll\r\n");
  EXPECT_EQ(fake.files.files.size(), 1u);
}

TEST(SnapshotWriterTest, LeavesOutTypesThatCouldNotBeReadBackAsThemselves) {
  fake::FakeOs fake;
  SnapshotWriter writer(fake.os);
  writer.Begin();
  writer.Record(L"a,b", L"x.dll");
  writer.Record(L"a\nb", L"x.dll");
  writer.Record(L"a"s + L'\0' + L"b", L"x.dll");
  writer.Record(L"ok", L"x.dll\r\nevil,y.dll");
  writer.Record(L"ok", L"x.dll\ry.dll");
  writer.Record(L"", L"x.dll");
  writer.Record(L"ok", L"");
  writer.Record(L"ok", L"\"x y.dll\" , 3");
  ASSERT_TRUE(writer.End());
  EXPECT_EQ(fake.files.files[kBeside], kBom + "ok,\"x y.dll\" , 3\r\n");
}

TEST(SnapshotRoundTripTest, EveryRecordedLocationComesBackUnchanged) {
  const std::vector<SnapshotLine> recorded = {
      {L"txtfile", L"%SystemRoot%\\system32\\imageres.dll,-102"},
      {L"htmlfile", L"C:\\x.dll,4"},
      {L"weird", L"C:\\My,Icons\\set.dll,-2,,"},
      {L"blanks", L"  \"C:\\Program Files\\a b\\c.exe\" ,  1  "},
      {L"caf\u00e9", L"C:\\\u00dcbung\\\u4e2d\u6587.ico"},
      {L"far", L"C:\\" + GrinningFace() + L".ico,0"},
      {L"txtfile", L"%SystemRoot%\\system32\\imageres.dll,-102"},
      // A program chosen by its file: the class name holds a backslash.
      {L"Applications\\notepad++.exe", L"C:\\Program Files\\Notepad++\\notepad++.exe,0"},
  };
  fake::FakeOs fake;
  SnapshotWriter writer(fake.os);
  writer.Begin();
  for (const auto& line : recorded) writer.Record(line.progId, line.location);
  ASSERT_TRUE(writer.End());
  const SnapshotReading reading = ReadSnapshot(fake.os);
  EXPECT_FALSE(reading.damaged());
  const auto& read = reading.contents.lines;
  ASSERT_EQ(read.size(), recorded.size());
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(read[i].progId, recorded[i].progId);
    EXPECT_EQ(read[i].location, recorded[i].location);
  }
}

TEST(ReadSnapshotTest, ACutOrGarbledFileIsDamagedAndNamesItsUnusableLinesAndAnEmptyOneHoldsNoTypes) {
  fake::FakeOs fake;
  EXPECT_EQ(ReadSnapshot(fake.os).state, SnapshotState::Missing);
  fake.files.files[kBeside] = "a,b\r\n";
  fake.files.unreadable.insert(kBeside);
  EXPECT_EQ(ReadSnapshot(fake.os).state, SnapshotState::Unreadable);
  fake.files.unreadable.clear();
  const struct {
    std::string bytes;
    bool damaged;
    std::size_t usable;
    std::vector<std::size_t> unusable;
  } cases[] = {
      {"txtfile,a.dll,1\r\n", false, 1, {}},
      // The record of a first run that listed no types: nothing to restore.
      {"", false, 0, {}},
      {kBom, false, 0, {}},
      // Text and no type: the writer never leaves blank lines alone.
      {kBom + "\r\n\r\n", true, 0, {}},
      {"\r\n", true, 0, {}},
      {std::string("\x01\x02garbage\xff"), true, 0, {1}},
      {kBom + "no commas here\r\n", true, 0, {1}},
      {"garbage\r\nhtmlfile,C:\\x.dll,4\r\n,x\r\n", true, 1, {1, 3}},
      // Cut short: the last line may have lost the end of its location.
      {"txtfile,a.dll,1\r\nhtmlfile,C:\\Windows\\sys", true, 1, {2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.bytes));
    fake.files.files[kBeside] = c.bytes;
    const SnapshotReading reading = ReadSnapshot(fake.os);
    EXPECT_EQ(reading.state, SnapshotState::Read);
    EXPECT_EQ(reading.damaged(), c.damaged);
    EXPECT_EQ(reading.contents.lines.size(), c.usable);
    EXPECT_EQ(reading.contents.unusable, c.unusable);
  }
}

TEST(ParseSnapshotTest, SplitsLinesAtTheFirstCommaAndSkipsUnusableOnes) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::pair<std::wstring, std::wstring>> lines;
  } cases[] = {
      {"crlf", "a,1\r\nb,2\r\n", {{L"a", L"1"}, {L"b", L"2"}}},
      {"no final line end", "a,1\r\nb,2", {{L"a", L"1"}}},
      {"lf only", "a,1\nb,2\n", {{L"a", L"1"}, {L"b", L"2"}}},
      {"cr only", "a,1\rb,2\r", {{L"a", L"1"}, {L"b", L"2"}}},
      {"mixed and doubled ends", "a,1\r\r\nb,2\n\r\n\nc,3\n", {{L"a", L"1"}, {L"b", L"2"}, {L"c", L"3"}}},
      {"later commas belong to the location",
       "htmlfile,C:\\x.dll,-4,\r\n",
       {{L"htmlfile", L"C:\\x.dll,-4,"}}},
      {"blanks kept", " a , b \r\n", {{L" a ", L" b "}}},
      {"no comma, empty ProgID, empty location", "nocomma\r\n,x.dll\r\nempty,\r\n,\r\n\r\n", {}},
      {"NUL in ProgID", "a\0b,x.dll\r\nc,d\r\n"s, {{L"c", L"d"}}},
      {"NUL in location kept", "a,x\0y\r\n"s, {{L"a", L"x"s + L'\0' + L"y"}}},
      {"empty", "", {}},
      {"BOM only", kBom, {}},
      {"BOM then UTF-8", kBom + "caf\xC3\xA9,\xE2\x82\xAC.ico\r\n", {{L"caf\u00e9", L"\u20ac.ico"}}},
      {"no BOM is ANSI", "caf\xE9,\x80.ico\r\n", {{L"caf\u00e9", L"\u20ac.ico"}}},
      {"UTF-8 without BOM is ANSI", "a,\xC3\xA9\r\n", {{L"a", L"\u00c3\u00a9"}}},
      {"BOM not at the start is text", "a,\xEF\xBB\xBF\r\n", {{L"a", L"\u00ef\u00bb\u00bf"}}},
      {"invalid UTF-8 is replaced",
       kBom + "a,\xC0\x80|\xE0\x80\x80|\xED\xA0\x80|\xF4\x90\x80\x80|\xE2\x82|\xFF\r\nb,\xE2\x82\r\n",
       {{L"a", L"\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd\ufffd\ufffd|\ufffd|\ufffd"},
        {L"b", L"\ufffd"}}},
  };
  fake::FakeShell shell;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto lines = ParseSnapshot(shell, c.bytes).lines;
    ASSERT_EQ(lines.size(), c.lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].progId, c.lines[i].first);
      EXPECT_EQ(lines[i].location, c.lines[i].second);
    }
  }
}

TEST(ParseSnapshotTest, CorruptInputNeverGivesAnUnusableLine) {
  fake::FakeShell shell;
  const std::string longLine = "big," + std::string(1 << 20, 'x');
  const auto big = ParseSnapshot(shell, longLine + "\r\nnext,y\r\n").lines;
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big[0].location.size(), std::size_t{1} << 20);
  EXPECT_EQ(big[1].progId, L"next");
  EXPECT_TRUE(ParseSnapshot(shell, std::string(1 << 20, '\0')).lines.empty());
  EXPECT_TRUE(ParseSnapshot(shell, std::string(1 << 20, ',')).lines.empty());

  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 200);
  std::uniform_int_distribution<int> byte(0, 255);
  // Mostly separators and UTF-8 lead bytes, where the parser has decisions to make.
  const char interesting[] = {',', '\r', '\n', '\0', '\xEF', '\xBB', '\xBF', '\xC3', '\xE2', '\xF0', '\x80'};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(interesting) - 1);
  for (int round = 0; round < 4000; ++round) {
    std::string bytes = round % 2 ? kBom : "";
    const int n = length(random);
    for (int i = 0; i < n; ++i) {
      bytes += byte(random) < 128 ? interesting[pick(random)] : static_cast<char>(byte(random));
    }
    SCOPED_TRACE(Printable(bytes));
    ExpectWellFormed(ParseSnapshot(shell, bytes).lines);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tarrow
