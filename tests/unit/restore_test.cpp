#include "changes/restore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "fake_os.h"

namespace tarrow {
namespace {

using Texts = std::vector<std::wstring>;

// Where the machine layer's values are written.
const std::wstring kIcon = L"Software\\Classes\\";

// Records the window's steps, and what had happened by each of them.
class RecordingHost : public RestoreHost {
 public:
  explicit RecordingHost(fake::FakeOs& fake) : fake_(fake) {}
  void HideMainWindow() override { Note(L"hide"); }
  void Rescan() override {
    Note(L"rescan");
    if (rescanWrites)
      fake_.files.files[SnapshotPathBesideProgram(fake_.shell)] = "\xEF\xBB\xBFtxtfile,now.dll,0\r\n";
  }
  void ShowMainWindow() override { Note(L"show"); }

  // "step writes/messages"
  Texts steps;
  bool rescanWrites = true;

 private:
  void Note(const std::wstring& step) {
    steps.push_back(step + L" " + std::to_wstring(fake_.registry.writes.size()) + L"/" +
                    std::to_wstring(fake_.shell.messages.size()));
  }
  fake::FakeOs& fake_;
};

class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() {
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile"}) {
      fake.registry.SetText(kClassesRoot, std::wstring(progId) + L"\\DefaultIcon", L"", L"changed.dll,9");
    }
  }
  void Snapshot(const std::string& bytes) { fake.files.files[SnapshotPathBesideProgram(fake.shell)] = bytes; }
  std::wstring Value(const std::wstring& progId) {
    return fake.registry.Text(kClassesRoot, progId + L"\\DefaultIcon");
  }

  fake::FakeOs fake;
  RecordingHost host{fake};
};

TEST_F(RestoreTest, UsableLinesAreWrittenBackInFileOrder) {
  struct Case {
    const char* what;
    std::string file;
    Texts writes;
  };
  const std::vector<Case> cases = {
      {"three lines",
       "\xEF\xBB\xBFtxtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\njpegfile,C:\\j.dll,3\r\n",
       {kIcon + L"txtfile\\DefaultIcon|=C:\\t.dll,1", kIcon + L"htmlfile\\DefaultIcon|=C:\\h.dll,2",
        kIcon + L"jpegfile\\DefaultIcon|=C:\\j.dll,3"}},
      {"split at the first comma",
       "htmlfile,C:\\x.dll,4\r\n",
       {kIcon + L"htmlfile\\DefaultIcon|=C:\\x.dll,4"}},
      {"odd lines skipped",
       "txtfile,\r\n,C:\\a.dll,1\r\nno comma\r\n\r\nhtmlfile,C:\\h.dll,2\r\njpegfile,C:\\j.dll,3\r\n",
       {kIcon + L"htmlfile\\DefaultIcon|=C:\\h.dll,2", kIcon + L"jpegfile\\DefaultIcon|=C:\\j.dll,3"}},
      {"a last line cut short is not restored",
       "htmlfile,C:\\h.dll,2\r\njpegfile,C:\\j.dll,3",
       {kIcon + L"htmlfile\\DefaultIcon|=C:\\h.dll,2"}},
      {"a type's DefaultIcon gone",
       "txtfile,C:\\t.dll,1\r\ngonefile,C:\\g.dll,0\r\njpegfile,C:\\j.dll,3\r\n",
       {kIcon + L"txtfile\\DefaultIcon|=C:\\t.dll,1", kIcon + L"jpegfile\\DefaultIcon|=C:\\j.dll,3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile", L"gonefile"}) {
      os.registry.CreateKey(kClassesRoot, progId);
    }
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile"}) {
      os.registry.CreateKey(kClassesRoot, std::wstring(progId) + L"\\DefaultIcon");
    }
    os.files.files[SnapshotPathBesideProgram(os.shell)] = c.file;
    const RestoreOutcome outcome = RestoreOriginals(os.os, TypeList{});
    EXPECT_EQ(outcome.snapshot, SnapshotState::Read);
    EXPECT_EQ(os.registry.writes, c.writes);
    EXPECT_EQ(outcome.written, c.writes.size());
    EXPECT_FALSE(os.registry.KeyExists(kClassesRoot, L"gonefile\\DefaultIcon"));
    // Only a restore that wrote something is worth the shell's attention.
    EXPECT_EQ(os.shell.notifications, c.writes.empty() ? 0 : 1);
    EXPECT_TRUE(os.shell.messages.empty());
    EXPECT_EQ(os.registry.openHandles(), 0);
  }
}

TEST_F(RestoreTest, TheLaterLineForOneTypeWins) {
  Snapshot("txtfile,C:\\first.dll,1\r\nhtmlfile,C:\\h.dll,2\r\ntxtfile,C:\\second.dll,2\r\n");
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.written, 3u);
  EXPECT_EQ(Value(L"txtfile"), L"C:\\second.dll,2");
  EXPECT_EQ(Value(L"htmlfile"), L"C:\\h.dll,2");
}

TEST_F(RestoreTest, ExpandableLocationsComeBackExpandable) {
  Snapshot("txtfile,%SystemRoot%\\System32\\imageres.dll,-102\r\nhtmlfile,C:\\100%%\\h.dll,2\r\n");
  RestoreOriginals(fake.os, TypeList{});
  const fake::StoredValue* txt = fake.registry.Find(kClassesRoot, L"txtfile\\DefaultIcon", L"");
  const fake::StoredValue* html = fake.registry.Find(kClassesRoot, L"htmlfile\\DefaultIcon", L"");
  ASSERT_TRUE(txt && html);
  EXPECT_EQ(txt->type, kRegExpandSz);
  EXPECT_EQ(Value(L"txtfile"), L"%SystemRoot%\\System32\\imageres.dll,-102");
  EXPECT_EQ(html->type, kRegSz);
}

TEST_F(RestoreTest, WithoutAReadableSnapshotNothingIsWritten) {
  for (const bool unreadable : {false, true}) {
    SCOPED_TRACE(unreadable ? "unreadable" : "missing");
    fake::FakeOs os;
    os.registry.CreateKey(kClassesRoot, L"txtfile\\DefaultIcon");
    if (unreadable) {
      const auto path = SnapshotPathBesideProgram(os.shell);
      os.files.files[path] = "txtfile,C:\\t.dll,1\r\n";
      os.files.unreadable.insert(path);
    }
    const RestoreOutcome outcome = RestoreOriginals(os.os, TypeList{});
    EXPECT_NE(outcome.snapshot, SnapshotState::Read);
    EXPECT_EQ(outcome.written, 0u);
    EXPECT_TRUE(os.registry.writes.empty());
    EXPECT_EQ(os.shell.notifications, 0);
  }
}

TEST_F(RestoreTest, AnsweringNoChangesNothing) {
  Snapshot("txtfile,C:\\t.dll,1\r\n");
  fake.shell.messageAnswers = {kIdNo};
  EXPECT_FALSE(RestoreDefaults(fake.os, host, TypeList{}));
  EXPECT_TRUE(host.steps.empty());
  EXPECT_TRUE(fake.registry.writes.empty());
  EXPECT_EQ(fake.shell.notifications, 0);
  ASSERT_EQ(fake.shell.messages.size(), 1u);
  EXPECT_EQ(fake.shell.messages[0].first,
            L"Restore all icons to original state?\r(Before Tarrow was installed)");
  EXPECT_EQ(fake.shell.messages[0].second, 0x1024u);
}

TEST_F(RestoreTest, YesRestoresWhileTheWindowIsHiddenThenRescans) {
  Snapshot("txtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\n");
  fake.shell.messageAnswers = {kIdYes};
  EXPECT_TRUE(RestoreDefaults(fake.os, host, TypeList{}));
  EXPECT_EQ(host.steps, (Texts{L"hide 0/1", L"rescan 2/1", L"show 2/1"}));
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1");
  EXPECT_EQ(Value(L"jpegfile"), L"changed.dll,9");
  EXPECT_EQ(fake.shell.messages.size(), 1u);
  EXPECT_EQ(fake.shell.notifications, 1);
}

TEST_F(RestoreTest, AMissingSnapshotIsToldOverTheRescannedList) {
  struct Case {
    const char* what;
    bool rescanWrites;
    bool mentionsNewDefaults;
  };
  for (const auto& c :
       std::vector<Case>{{"rescan takes a snapshot", true, true}, {"rescan cannot take one", false, false}}) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    RecordingHost recorder(os);
    recorder.rescanWrites = c.rescanWrites;
    os.shell.messageAnswers = {kIdYes};
    EXPECT_TRUE(RestoreDefaults(os.os, recorder, TypeList{}));
    EXPECT_EQ(recorder.steps, (Texts{L"hide 0/1", L"rescan 0/1", L"show 0/1"}));
    ASSERT_EQ(os.shell.messages.size(), 2u);
    const auto& [text, style] = os.shell.messages[1];
    EXPECT_NE(text.find(L"could not be found or read"), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_EQ(text.find(L"new defaults") != std::wstring::npos, c.mentionsNewDefaults)
        << testing::PrintToString(text);
    EXPECT_EQ(style, kMbOk | kMbIconWarning);
    EXPECT_EQ(os.shell.notifications, 0);
  }
}

TEST_F(RestoreTest, FailedWritesAreReportedAfterTheRescan) {
  // Neither layer may be written: not even the user's own.
  fake.registry.SetReadOnly(kClassesRoot, L"htmlfile\\DefaultIcon");
  fake.registry.SetReadOnly(kCurrentUser, kClassesKey);
  Snapshot("txtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\njpegfile,C:\\j.dll,3\r\n");
  fake.shell.messageAnswers = {kIdYes};
  EXPECT_TRUE(RestoreDefaults(fake.os, host, TypeList{}));
  EXPECT_EQ(host.steps, (Texts{L"hide 0/1", L"rescan 2/1", L"show 2/1"}));
  EXPECT_EQ(Value(L"jpegfile"), L"C:\\j.dll,3");
  EXPECT_EQ(Value(L"htmlfile"), L"changed.dll,9");
  ASSERT_EQ(fake.shell.messages.size(), 2u);
  const std::wstring& text = fake.shell.messages[1].first;
  EXPECT_EQ(text.rfind(L"1 file type was not restored: htmlfile.", 0), 0u) << testing::PrintToString(text);
  EXPECT_NE(text.find(L"refused access"), std::wstring::npos);
  EXPECT_EQ(fake.shell.notifications, 1);
}

// The journal holds the exact original; Defaults.dat has no value types, so
// what it records is written only where the icon differs from it.
TEST_F(RestoreTest, TheJournalWinsAndAnUnchangedExpandableValueStaysExpandable) {
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\plain.dll,0", kRegExpandSz);
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"htmlfile"), L"", L"C:\\h.dll,2", kRegExpandSz);
  Snapshot("txtfile,C:\\plain.dll,0\r\nhtmlfile,C:\\older.dll,1\r\n");
  JournalEntry original{ClassLayer::Machine, L"htmlfile", true, true, true, kRegExpandSz, {}};
  const std::wstring text = L"C:\\j.dll,7";  // stored without its terminator
  const auto* first = reinterpret_cast<const unsigned char*>(text.data());
  original.bytes.assign(first, first + text.size() * sizeof(wchar_t));
  ASSERT_TRUE(SaveJournal(fake.os, {original}));
  fake.registry.writes.clear();

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.written, 1u);
  EXPECT_EQ(fake.registry.writes, (Texts{kIcon + L"htmlfile\\DefaultIcon|=C:\\j.dll,7"}));
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"txtfile"), L"")->type, kRegExpandSz);
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"htmlfile"), L"")->type, kRegExpandSz);
  EXPECT_EQ(LoadJournal(fake.os).state, JournalState::Missing);
  EXPECT_EQ(RestoreMessage(fake.os, outcome), L"");
}

// Where the journal's original cannot be put back, the older line of
// Defaults.dat must not be written in its place.
TEST_F(RestoreTest, AJournalEntryThatFailsIsKeptAndDefaultsDoNotStandIn) {
  Snapshot("htmlfile,C:\\older.dll,1\r\n");
  // Tarrow made a per-user value, whose key now refuses to be written.
  const JournalEntry original{ClassLayer::User, L"htmlfile", true, true, false, 0, {}};
  ASSERT_TRUE(SaveJournal(fake.os, {original}));
  fake.registry.CreateKey(kCurrentUser, DefaultIconPath(L"htmlfile"));
  fake.registry.SetReadOnly(kCurrentUser, DefaultIconPath(L"htmlfile"));

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.written, 0u);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(Value(L"htmlfile"), L"changed.dll,9");
  EXPECT_EQ(LoadJournal(fake.os).entries, std::vector<JournalEntry>{original}) << "kept for the next restore";
}

TEST_F(RestoreTest, ADamagedRecordIsReportedAndNeverHalfUsed) {
  JournalEntry planted{ClassLayer::Machine, L"htmlfile", true, true, true, kRegSz, {'x', 0}};
  std::string bytes = SerializeJournal({planted});
  bytes[bytes.find("htmlfile")] = 'H';  // damaged after its check was taken
  fake.files.files[JournalPath(fake.shell)] = bytes;
  Snapshot("garbage\r\ntxtfile,C:\\t.dll,1\r\n,x\r\n");

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.journal, JournalState::Damaged);
  EXPECT_EQ(Value(L"htmlfile"), L"changed.dll,9");
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1") << "the usable lines of Defaults.dat still count";
  EXPECT_EQ(fake.files.files[JournalPath(fake.shell)], bytes) << "the damaged record is left for the user";
  const std::wstring message = RestoreMessage(fake.os, outcome);
  EXPECT_NE(message.find(L"Changes.journal, is damaged"), std::wstring::npos)
      << testing::PrintToString(message);
  EXPECT_NE(
      message.find(
          L"Defaults.dat, the record of the original icons, is damaged: lines 1 and 3 could not be used."),
      std::wstring::npos)
      << testing::PrintToString(message);
}

TEST_F(RestoreTest, OneTypeAloneAndTypesWithoutAnyRecordAreNamed) {
  Snapshot("txtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\n");
  TypeList listed;
  listed.Add({L".txt", L"txtfile", L"Text Document", L"changed.dll,9", std::nullopt, L"Index1"});
  listed.Add({L".htm", L"htmlfile", L"HTML Document", L"changed.dll,9", std::nullopt, L"Index2"});
  listed.Add({L".jpg", L"jpegfile", L"JPEG Image", L"changed.dll,9", std::nullopt, L"Index3"});

  const RestoreOutcome one = RestoreTypeIcons(fake.os, {L"HTMLFILE"}, listed);
  EXPECT_EQ(Value(L"htmlfile"), L"C:\\h.dll,2");
  EXPECT_EQ(Value(L"txtfile"), L"changed.dll,9");
  EXPECT_TRUE(one.unrecorded.empty());

  const RestoreOutcome all = RestoreOriginals(fake.os, listed);
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1");
  EXPECT_EQ(all.unrecorded, (Texts{L"JPEG Image (.jpg)"}));
  EXPECT_EQ(RestoreMessage(fake.os, all),
            L"1 file type has no recorded original icon and was left as it is: JPEG Image (.jpg).");
}

}  // namespace
}  // namespace tarrow
