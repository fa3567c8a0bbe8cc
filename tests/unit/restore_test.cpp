#include "changes/restore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/snapshot.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "fake_os.h"

namespace tarrow {
namespace {

using Texts = std::vector<std::wstring>;

// Where the machine layer's values are written.
const std::wstring kIcon = L"Software\\Classes\\";

// The writes to DefaultIcon values, without those of the records.
Texts IconWrites(const fake::FakeRegistry& registry) {
  Texts writes;
  for (const auto& write : registry.writes)
    if (write.find(L"DefaultIcon") != std::wstring::npos) writes.push_back(write);
  return writes;
}

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
  std::wstring UserValue(const std::wstring& progId) {
    return fake.registry.Text(kCurrentUser, DefaultIconPath(progId));
  }
  ApplyOutcome Set(const std::wstring& progId, const std::wstring& location) {
    return WriteIcons(fake.os, {{progId, progId, location}});
  }

  fake::FakeOs fake;
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
      {"the later line of one type wins",
       "txtfile,C:\\first.dll,1\r\nhtmlfile,C:\\h.dll,2\r\ntxtfile,C:\\second.dll,2\r\n",
       {kIcon + L"htmlfile\\DefaultIcon|=C:\\h.dll,2", kIcon + L"txtfile\\DefaultIcon|=C:\\second.dll,2"}},
      {"an empty file: no types, nothing to write", "", {}},
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
    EXPECT_EQ(IconWrites(os.registry), c.writes);
    EXPECT_EQ(outcome.written, c.writes.size());
    EXPECT_FALSE(os.registry.KeyExists(kClassesRoot, L"gonefile\\DefaultIcon"));
    // Only a restore that wrote something is worth the shell's attention.
    EXPECT_EQ(os.shell.notifications, c.writes.empty() ? 0 : 1);
    EXPECT_TRUE(os.shell.messages.empty());
    EXPECT_EQ(os.registry.openHandles(), 0);
    // Every write is on record, settled: a second restore writes nothing.
    os.registry.writes.clear();
    EXPECT_EQ(RestoreOriginals(os.os, TypeList{}).written, 0u);
    EXPECT_TRUE(os.registry.writes.empty());
  }
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

TEST_F(RestoreTest, FailedWritesAreNamed) {
  // Neither layer may be written: not even the user's own.
  fake.registry.SetReadOnly(kClassesRoot, L"htmlfile\\DefaultIcon");
  fake.registry.SetReadOnly(kCurrentUser, kClassesKey);
  Snapshot("txtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\njpegfile,C:\\j.dll,3\r\n");
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(Value(L"jpegfile"), L"C:\\j.dll,3");
  EXPECT_EQ(Value(L"htmlfile"), L"changed.dll,9");
  const std::wstring text = RestoreMessage(fake.os, outcome);
  EXPECT_EQ(text.rfind(L"1 file type was not restored: htmlfile.", 0), 0u) << testing::PrintToString(text);
  EXPECT_NE(text.find(L"refused access"), std::wstring::npos);
  EXPECT_TRUE(RestoreFell(outcome));
  EXPECT_EQ(fake.shell.notifications, 1);
}

// The record holds the exact original; Defaults.dat has no value types, so
// what it records is written only where the icon differs from it.
TEST_F(RestoreTest, TheRecordWinsAndAnUnchangedExpandableValueStaysExpandable) {
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\plain.dll,0", kRegExpandSz);
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"htmlfile"), L"", L"C:\\h.dll,2", kRegExpandSz);
  Snapshot("txtfile,C:\\plain.dll,0\r\nhtmlfile,C:\\older.dll,1\r\n");
  JournalEntry original{ClassLayer::Machine, L"htmlfile", true, true, true, kRegExpandSz, {}};
  const std::wstring text = L"C:\\j.dll,7";  // stored without its terminator
  const auto* first = reinterpret_cast<const unsigned char*>(text.data());
  original.bytes.assign(first, first + text.size() * sizeof(wchar_t));
  original.written = StoredValue{kRegExpandSz, LocationValue(L"C:\\h.dll,2").bytes};
  ASSERT_TRUE(SaveRecord(fake.os, RecordScope::Machine, {original}));
  fake.registry.writes.clear();

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.written, 1u);
  EXPECT_EQ(IconWrites(fake.registry), (Texts{kIcon + L"htmlfile\\DefaultIcon|=C:\\j.dll,7"}));
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"txtfile"), L"")->type, kRegExpandSz);
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"htmlfile"), L"")->type, kRegExpandSz);
  const JournalLoad after = LoadRecord(fake.os, RecordScope::Machine);
  ASSERT_EQ(after.entries.size(), 1u);
  EXPECT_TRUE(after.entries[0].settled) << "kept, so that Defaults.dat never speaks for it again";
  EXPECT_EQ(RestoreMessage(fake.os, outcome), L"");
}

// Where the record's original cannot be put back, the older line of
// Defaults.dat must not be written in its place.
TEST_F(RestoreTest, AnEntryThatFailsIsKeptAndDefaultsDoNotStandIn) {
  Snapshot("htmlfile,C:\\older.dll,1\r\n");
  // Tarrow made a per-user value, whose key now refuses to be written.
  JournalEntry original{ClassLayer::User, L"htmlfile", true, true, false, 0, {}};
  original.written = LocationValue(L"mine.dll,1");
  ASSERT_TRUE(SaveRecord(fake.os, RecordScope::User, {original}));
  fake.registry.SetText(kCurrentUser, DefaultIconPath(L"htmlfile"), L"", L"mine.dll,1");
  fake.registry.SetReadOnly(kCurrentUser, DefaultIconPath(L"htmlfile"));

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.written, 0u);
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(UserValue(L"htmlfile"), L"mine.dll,1");
  EXPECT_EQ(Value(L"htmlfile"), L"changed.dll,9");
  EXPECT_EQ(LoadRecord(fake.os, RecordScope::User).entries, std::vector<JournalEntry>{original})
      << "kept for the next restore";
}

TEST_F(RestoreTest, ADamagedRecordIsReportedAndNeverHalfUsed) {
  JournalEntry planted{ClassLayer::User, L"htmlfile", true, true, true, kRegSz, {'x', 0}};
  std::string bytes = SerializeJournal({planted});
  bytes[bytes.find("htmlfile")] = 'H';  // damaged after its check was taken
  fake.files.files[JournalPath(fake.shell)] = bytes;
  Snapshot("garbage\r\ntxtfile,C:\\t.dll,1\r\n,x\r\n");

  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.userRecord, JournalState::Damaged);
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
  EXPECT_TRUE(RestoreFell(outcome));
}

// Restore never names a type Tarrow never changed, and one type alone leaves
// the others as they are.
TEST_F(RestoreTest, OneTypeAloneAndNoWordOfTypesNeverChanged) {
  Snapshot("txtfile,C:\\t.dll,1\r\nhtmlfile,C:\\h.dll,2\r\n");
  TypeList listed;
  listed.Add({L".txt", L"txtfile", L"Text Document", L"changed.dll,9", std::nullopt, L"p"});
  listed.Add({L".htm", L"htmlfile", L"HTML Document", L"changed.dll,9", std::nullopt, L"p"});
  listed.Add({L".jpg", L"jpegfile", L"JPEG Image", L"changed.dll,9", std::nullopt, L"p"});

  RestoreOriginals(fake.os, listed, std::set<std::wstring>{L"HTMLFILE"});
  EXPECT_EQ(Value(L"htmlfile"), L"C:\\h.dll,2");
  EXPECT_EQ(Value(L"txtfile"), L"changed.dll,9");

  const RestoreOutcome all = RestoreOriginals(fake.os, listed);
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1");
  EXPECT_EQ(Value(L"jpegfile"), L"changed.dll,9");
  EXPECT_EQ(RestoreMessage(fake.os, all), L"");
  EXPECT_FALSE(RestoreFell(all));
}

// An app that updates its icon after Tarrow's restore keeps its update: the
// second restore gives the state the first gave, and Defaults.dat never
// speaks for a type a record held.
TEST_F(RestoreTest, RestoringAgainAfterAnUpdateChangesNothing) {
  Snapshot("txtfile,C:\\first-run.dll,0\r\n");
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\app.dll,1");
  Set(L"txtfile", L"C:\\mine.dll,3");
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(Value(L"txtfile"), L"C:\\app.dll,1");
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\app-2.dll,1");
  const std::wstring before = fake.registry.Dump(kLocalMachine) + fake.registry.Dump(kCurrentUser);
  const RestoreOutcome again = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(fake.registry.Dump(kLocalMachine) + fake.registry.Dump(kCurrentUser), before);
  EXPECT_EQ(again.written, 0u);
  EXPECT_EQ(RestoreMessage(fake.os, again), L"");
}

TEST_F(RestoreTest, AValueAnotherProgramChangedSinceIsLeftAndNamed) {
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\app.dll,1");
  Set(L"txtfile", L"C:\\mine.dll,3");
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\other.dll,5");
  TypeList listed;
  listed.Add({L".txt", L"txtfile", L"Text Document", L"C:\\other.dll,5", std::nullopt, L"p"});
  const RestoreOutcome outcome = RestoreOriginals(fake.os, listed);
  EXPECT_EQ(Value(L"txtfile"), L"C:\\other.dll,5");
  EXPECT_EQ(RestoreMessage(fake.os, outcome),
            L"1 file type was changed by another program since Tarrow's change; left as it is: Text "
            L"Document (.txt).");
  // Said once: the next restore has nothing more to say of it.
  EXPECT_EQ(RestoreMessage(fake.os, RestoreOriginals(fake.os, listed)), L"");
}

// Keys Tarrow created go again, but only while nothing else lives in them:
// the per-user keys a standard user's change makes, and the DefaultIcon key
// an administrator adds beside a machine class that had none.
TEST_F(RestoreTest, AKeyTarrowCreatedStaysOnceAnotherProgramUsesIt) {
  struct Case {
    const char* what;
    const wchar_t* valueName;  // another program's value in the created key; nullptr: none
    const wchar_t* subkey;     // another program's subkey in it; nullptr: none
    bool keyStays;
    bool machineKey = false;         // the class has no icon, and an administrator gives it one
    const wchar_t* other = nullptr;  // another program's default value over Tarrow's
  };
  const std::vector<Case> cases = {
      {"nothing else: gone", nullptr, nullptr, false},
      {"another value in it", L"Other", nullptr, true},
      {"another subkey in it", nullptr, L"Child", true},
      {"machine key beside the class: gone", nullptr, nullptr, false, true},
      {"machine key with another value in it", L"Other", nullptr, true, true},
      {"machine key with another subkey in it", nullptr, L"Child", true, true},
      {"machine key whose value another program changed", nullptr, nullptr, true, true, L"C:\\o.dll,2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    os.registry.CreateKey(kCurrentUser, kClassesKey);  // as every user's hive has it
    os.registry.SetText(kLocalMachine, ClassPath(L"newfile"), L"", L"New File");
    if (!c.machineKey) {
      os.StandardUser();
      os.registry.SetText(kLocalMachine, DefaultIconPath(L"newfile"), L"", L"C:\\m.dll,0");
    }
    const RegKey root = c.machineKey ? kLocalMachine : kCurrentUser;
    const std::wstring before = os.registry.Dump(kLocalMachine) + os.registry.Dump(kCurrentUser);
    const ApplyOutcome written = WriteIcons(os.os, {{L"newfile", L"New File", L"C:\\mine.dll,1"}});
    ASSERT_EQ(written.forUser + written.forAll, 1u);
    ASSERT_EQ(os.registry.Text(root, DefaultIconPath(L"newfile")), L"C:\\mine.dll,1");
    if (c.valueName) os.registry.SetText(root, DefaultIconPath(L"newfile"), c.valueName, L"x");
    if (c.subkey) os.registry.CreateKey(root, DefaultIconPath(L"newfile") + L"\\" + c.subkey);
    if (c.other) os.registry.SetText(root, DefaultIconPath(L"newfile"), L"", c.other);
    const RestoreOutcome outcome = RestoreOriginals(os.os, TypeList{});
    EXPECT_EQ(os.registry.Text(root, DefaultIconPath(L"newfile")), c.other ? c.other : L"<missing>");
    EXPECT_EQ(os.registry.KeyExists(root, DefaultIconPath(L"newfile")), c.keyStays);
    EXPECT_EQ(os.registry.KeyExists(root, ClassPath(L"newfile")), c.keyStays || c.machineKey);
    EXPECT_EQ(outcome.changedSince, c.other ? Texts{L"newfile"} : Texts{});
    if (!c.keyStays) {
      // Restoring gives back both layers as they were, keys included.
      os.registry.DeleteKey(kLocalMachine, kMachineRecordKey);
      EXPECT_EQ(os.registry.Dump(kLocalMachine) + os.registry.Dump(kCurrentUser), before);
    }
  }
}

// Older versions kept machine originals in the user's record, which any
// program of the user can write: an administrator's restore never uses them.
TEST_F(RestoreTest, MachineEntriesInTheUsersRecordNeverSteerAnAdministrator) {
  for (const bool elevated : {true, false}) {
    SCOPED_TRACE(elevated ? "administrator" : "standard user");
    fake::FakeOs os;
    if (!elevated) os.StandardUser();
    os.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\now.dll,1");
    JournalEntry planted{ClassLayer::Machine, L"txtfile", true, true, true, kRegSz, {}};
    planted.bytes = LocationValue(L"C:\\planted.dll,0").bytes;
    ASSERT_TRUE(SaveRecord(os.os, RecordScope::User, {planted}));
    const RestoreOutcome outcome = RestoreOriginals(os.os, TypeList{});
    EXPECT_EQ(os.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")),
              elevated ? L"C:\\now.dll,1" : L"C:\\planted.dll,0");
    EXPECT_EQ(outcome.refusedEntries, elevated ? 1u : 0u);
  }
}

TEST_F(RestoreTest, AMachineRecordOthersCanChangeIsNotUsed) {
  JournalEntry planted{ClassLayer::Machine, L"txtfile", true, true, true, kRegSz, {}};
  planted.bytes = LocationValue(L"C:\\planted.dll,0").bytes;
  const std::string bytes = SerializeJournal({planted});
  fake.registry.SetRaw(kLocalMachine, kMachineRecordKey, kMachineRecordValue, kRegBinary,
                       std::vector<unsigned char>(bytes.begin(), bytes.end()));
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(outcome.machineRecord, JournalState::Untrusted);
  EXPECT_EQ(Value(L"txtfile"), L"changed.dll,9");
  EXPECT_NE(RestoreMessage(fake.os, outcome).find(L"can be changed by others than administrators"),
            std::wstring::npos);
  fake.registry.SetProtected(kLocalMachine, kMachineRecordKey);
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(Value(L"txtfile"), L"C:\\planted.dll,0") << "the same record, guarded, is used";
}

// Defaults.dat is any program's to write: its lines name classes, nothing
// else, and are written only into keys that exist.
TEST_F(RestoreTest, DefaultsLinesThatNameOtherKeysAreRefused) {
  fake.registry.SetText(kLocalMachine, L"Software\\Classes\\CLSID\\{1}\\DefaultIcon", L"", L"c.dll,0");
  fake.registry.SetText(kLocalMachine, ClassPath(L"bare"), L"", L"No icon key");
  Snapshot("CLSID\\{1},C:\\evil.dll,0\r\nbare,C:\\b.dll,0\r\ntxtfile,C:\\t.dll,1\r\n");
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(fake.registry.Text(kLocalMachine, L"Software\\Classes\\CLSID\\{1}\\DefaultIcon"), L"c.dll,0");
  EXPECT_FALSE(fake.registry.KeyExists(kLocalMachine, DefaultIconPath(L"bare")));
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, ClassPath(L"bare")));
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1");
  EXPECT_EQ(outcome.unusableLines, (std::vector<std::size_t>{1}));
}

// A Defaults.dat line is written where the value Explorer shows lives, so no
// restore leaves a per-user value over the machine's.
TEST_F(RestoreTest, DefaultsNeverMakeAPerUserShadow) {
  fake.StandardUser();
  fake.registry.SetReadOnly(kLocalMachine, DefaultIconPath(L"txtfile"));
  Snapshot("txtfile,C:\\t.dll,1\r\n");
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(UserValue(L"txtfile"), L"<missing>");
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, ClassPath(L"txtfile")));
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_NE(RestoreMessage(fake.os, outcome).find(L"administrator"), std::wstring::npos);
}

TEST_F(RestoreTest, AnotherProcessChangingIconsMeansNothingIsDone) {
  Snapshot("txtfile,C:\\t.dll,1\r\n");
  fake.shell.lockedElsewhere = true;
  const RestoreOutcome outcome = RestoreOriginals(fake.os, TypeList{});
  EXPECT_TRUE(outcome.busy);
  EXPECT_TRUE(fake.registry.writes.empty());
  EXPECT_NE(RestoreMessage(fake.os, outcome).find(L"Another Tarrow is changing icons"), std::wstring::npos);
  fake.shell.lockedElsewhere = false;
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(Value(L"txtfile"), L"C:\\t.dll,1");
}

}  // namespace
}  // namespace tarrow
