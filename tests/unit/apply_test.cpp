#include "changes/apply.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/resolver.h"
#include "changes/change_model.h"
#include "changes/journal.h"
#include "fake_os.h"

namespace tarrow {
namespace {

using Texts = std::vector<std::wstring>;

// A type the user gave a new icon, not yet applied.
TypeItem Assigned(const std::wstring& progId, const std::wstring& location) {
  return TypeItem{L".x", progId, L"Type " + progId, L"C:\\old.dll,0", location, L"Change"};
}

TypeItem Stored(const std::wstring& progId) {
  return TypeItem{L".x", progId, L"Type " + progId, L"C:\\old.dll,0", std::nullopt, L"Index"};
}

ApplyOutcome ApplyChanges(Os& os, TypeList& types) {
  return ChangeModel(os, types).Apply();
}

class ApplyTest : public ::testing::Test {
 protected:
  ApplyTest() {
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile", L"Foo,Bar.1"}) {
      MachineIcon(progId, L"old.dll,0");
    }
  }
  void MachineIcon(const std::wstring& progId, const std::wstring& text, std::uint32_t type = kRegSz) {
    fake.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", text, type);
  }
  // The icon location Explorer shows for this user: the merged value.
  std::wstring Shown(const std::wstring& progId) {
    TypeResolver resolver(fake.registry, fake.shell);
    const auto value = resolver.ReadMerged(progId + L"\\DefaultIcon");
    return value ? value->text : L"<none>";
  }
  std::wstring MachineValue(const std::wstring& progId) {
    return fake.registry.Text(kLocalMachine, DefaultIconPath(progId));
  }
  std::wstring UserValue(const std::wstring& progId) {
    return fake.registry.Text(kCurrentUser, DefaultIconPath(progId));
  }

  fake::FakeOs fake;
  TypeList types;
};

TEST_F(ApplyTest, ChangedItemsAreWrittenInListOrder) {
  struct Case {
    const char* what;
    std::vector<TypeItem> items;
    Texts writes;
  };
  const std::wstring icon = L"Software\\Classes\\";
  const std::vector<Case> cases = {
      {"nothing changed", {Stored(L"txtfile"), Stored(L"htmlfile")}, {}},
      {"one of many",
       {Stored(L"txtfile"), Assigned(L"htmlfile", L"C:\\b.dll,4"), Stored(L"jpegfile")},
       {icon + L"htmlfile\\DefaultIcon|=C:\\b.dll,4"}},
      {"a ProgID with a comma",
       {Stored(L"txtfile"), Assigned(L"Foo,Bar.1", L"C:\\d.dll,4")},
       {icon + L"Foo,Bar.1\\DefaultIcon|=C:\\d.dll,4"}},
      {"two extensions of one type: one value, written once",
       {Assigned(L"txtfile", L"C:\\first.dll,1"), Stored(L"htmlfile"),
        Assigned(L"txtfile", L"C:\\first.dll,1")},
       {icon + L"txtfile\\DefaultIcon|=C:\\first.dll,1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile", L"Foo,Bar.1"}) {
      os.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", L"old.dll,0");
    }
    TypeList list;
    for (const auto& item : c.items) list.Add(item);
    const ApplyOutcome outcome = ApplyChanges(os.os, list);
    // The machine record is written first, into its own key.
    Texts writes;
    for (const auto& write : os.registry.writes)
      if (write.find(L"Software\\Tarrow") == std::wstring::npos) writes.push_back(write);
    EXPECT_EQ(writes, c.writes);
    // Counted as the list shows them: every changed extension.
    EXPECT_EQ(outcome.written,
              static_cast<std::size_t>(std::count_if(c.items.begin(), c.items.end(), IsChanged)));
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(os.shell.notifications, c.writes.empty() ? 0 : 1);
    EXPECT_TRUE(os.shell.messages.empty());
    EXPECT_EQ(os.registry.openHandles(), 0);
  }
}

// Where a change lands, as Windows documents the two layers: HKCR shows the
// per-user value over the machine's, and a user without administrator rights
// may write only the per-user layer.
TEST_F(ApplyTest, TheChangeLandsWhereItTakesEffectForThisUser) {
  struct Case {
    const char* what;
    bool machineWritable;
    const wchar_t* userValue;  // per-user DefaultIcon value before; nullptr: none
    const wchar_t* machineAfter;
    const wchar_t* userAfter;
    const char* recorded;    // whether the class key, the DefaultIcon key and the value existed
    bool noIconKey = false;  // the class has no DefaultIcon key in either layer
    bool userClass = false;  // the user's layer has the class key too
  };
  const std::vector<Case> cases = {
      {"administrator, machine-wide type: the machine's value", true, nullptr, L"C:\\new.dll,3", L"<missing>",
       "111"},
      {"standard user, machine-wide type: a per-user value, created", false, nullptr, L"old.dll,0",
       L"C:\\new.dll,3", "000"},
      {"per-user value already wins: it is the one changed", true, L"user.dll,1", L"old.dll,0",
       L"C:\\new.dll,3", "111"},
      {"administrator, machine class without an icon: its key is added", true, nullptr, L"C:\\new.dll,3",
       L"<missing>", "100", true},
      {"a machine class without an icon that may not be added to: a per-user key", false, nullptr,
       L"<missing>", L"C:\\new.dll,3", "000", true},
      {"a class of both layers without an icon: the user's, whose key wins", true, nullptr, L"<missing>",
       L"C:\\new.dll,3", "100", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    os.registry.SetText(kLocalMachine, ClassPath(L"txtfile"), L"", L"Text Document");
    if (!c.noIconKey) os.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"old.dll,0");
    if (!c.machineWritable)
      os.registry.SetReadOnly(kLocalMachine,
                              c.noIconKey ? ClassPath(L"txtfile") : DefaultIconPath(L"txtfile"));
    if (c.userValue) os.registry.SetText(kCurrentUser, DefaultIconPath(L"txtfile"), L"", c.userValue);
    if (c.userClass) os.registry.SetText(kCurrentUser, ClassPath(L"txtfile"), L"Other", L"x");
    TypeList list;
    list.Add(Assigned(L"txtfile", L"C:\\new.dll,3"));
    const ApplyOutcome outcome = ApplyChanges(os.os, list);
    EXPECT_EQ(os.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), c.machineAfter);
    EXPECT_EQ(os.registry.Text(kCurrentUser, DefaultIconPath(L"txtfile")), c.userAfter);
    TypeResolver resolver(os.registry, os.shell);
    EXPECT_EQ(resolver.ReadMerged(L"txtfile\\DefaultIcon")->text, L"C:\\new.dll,3");
    const bool forUser = std::wstring(c.userAfter) == L"C:\\new.dll,3";
    EXPECT_EQ(outcome.forUser, forUser ? 1u : 0u);
    EXPECT_EQ(outcome.forAll, forUser ? 0u : 1u);
    EXPECT_TRUE(os.shell.messages.empty());
    // A key that was not there is on record as such, for Restore to remove.
    const ClassLayer layer = forUser ? ClassLayer::User : ClassLayer::Machine;
    const auto entries = LoadRecord(os.os, ScopeOf(layer)).entries;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].layer, layer);
    const std::string recorded = {entries[0].classKeyExisted ? '1' : '0',
                                  entries[0].iconKeyExisted ? '1' : '0', entries[0].valueExisted ? '1' : '0'};
    EXPECT_EQ(recorded, c.recorded);
  }
}

// Keys are created for the machine layer only beside a class that is there.
TEST_F(ApplyTest, SettingAMachineValueNeverMakesItsClass) {
  const StoredValue value = LocationValue(L"C:\\a.dll,1");
  EXPECT_EQ(SetIconValue(fake.registry, ClassLayer::Machine, L"ghostfile", value, true), kErrorFileNotFound);
  EXPECT_FALSE(fake.registry.KeyExists(kLocalMachine, ClassPath(L"ghostfile")));
  fake.registry.CreateKey(kLocalMachine, ClassPath(L"bare"));
  EXPECT_EQ(SetIconValue(fake.registry, ClassLayer::Machine, L"bare", value, false), kErrorFileNotFound);
  EXPECT_EQ(SetIconValue(fake.registry, ClassLayer::Machine, L"bare", value, true), kSuccess);
  EXPECT_EQ(MachineValue(L"bare"), L"C:\\a.dll,1");
}

TEST_F(ApplyTest, ValueTypeFollowsTheTextsReferences) {
  struct Case {
    std::wstring location;
    std::uint32_t type;
  };
  const std::vector<Case> cases = {
      {L"%SystemRoot%\\System32\\imageres.dll,-102", kRegExpandSz},
      {L"C:\\100%%\\a.dll,1", kRegSz},
      {L"C:\\plain.dll,3", kRegSz},
  };
  // The old value was expandable; a plain location no longer is.
  MachineIcon(L"txtfile", L"%SystemRoot%\\old.dll,0", kRegExpandSz);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.location));
    types.Clear();
    types.Add(Assigned(L"txtfile", c.location));
    ApplyChanges(fake.os, types);
    const fake::StoredValue* stored = fake.registry.Find(kLocalMachine, DefaultIconPath(L"txtfile"), L"");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, c.type);
    EXPECT_EQ(MachineValue(L"txtfile"), c.location);
  }
}

TEST_F(ApplyTest, ReferencesNeedANameBetweenTwoPercentSigns) {
  for (const auto* text : {L"%a%", L"C:\\%x%\\a.dll,1", L"C:\\a%%b%\\c.dll", L"%a%%", L"%% %%"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    EXPECT_TRUE(HasEnvironmentReference(text));
  }
  for (const auto* text : {L"", L"%", L"%%%", L"%1,0", L"C:\\50%\\a.dll", L"a%%b", L"%%%%"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    EXPECT_FALSE(HasEnvironmentReference(text));
  }
}

TEST_F(ApplyTest, TheFirstOriginalIsRecordedBeforeAnyWriteAndNeverReplaced) {
  types.Add(Assigned(L"txtfile", L"C:\\a.dll,1"));
  ApplyChanges(fake.os, types);
  types[0].pending = L"C:\\b.dll,2";
  ApplyChanges(fake.os, types);
  EXPECT_EQ(MachineValue(L"txtfile"), L"C:\\b.dll,2");
  const JournalLoad journal = LoadRecord(fake.os, RecordScope::Machine);
  ASSERT_EQ(journal.state, JournalState::Intact);
  ASSERT_EQ(journal.entries.size(), 1u);
  const JournalEntry& entry = journal.entries[0];
  EXPECT_EQ(entry.layer, ClassLayer::Machine);
  EXPECT_EQ(entry.progId, L"txtfile");
  EXPECT_TRUE(entry.valueExisted);
  std::vector<unsigned char> original(sizeof(L"old.dll,0"), 0);
  std::memcpy(original.data(), L"old.dll,0", original.size());
  EXPECT_EQ(entry.bytes, original);
  ASSERT_TRUE(entry.written);
  EXPECT_EQ(*entry.written, LocationValue(L"C:\\b.dll,2"));
  EXPECT_FALSE(entry.settled);
}

// A full disk, or a record the program cannot trust: without the original
// on record, no value is written at all.
TEST_F(ApplyTest, NothingIsWrittenWhenTheOriginalsCannotBeRecorded) {
  struct Case {
    const char* what;
    bool standardUser;  // the change goes to the user's layer and record
    std::function<void(fake::FakeOs&)> setUp;
  };
  const std::vector<Case> cases = {
      {"the disk fills up half-way", true, [](fake::FakeOs& os) { os.files.spaceLeft = 20; }},
      {"the flush fails", true, [](fake::FakeOs& os) { os.files.failCommits = true; }},
      {"the user's record is damaged", true,
       [](fake::FakeOs& os) { os.files.files[JournalPath(os.shell)] = "TarrowJournal 2\nnonsense\n"; }},
      {"the machine record's key lets others change it", false,
       [](fake::FakeOs& os) {
         os.registry.SetRaw(kLocalMachine, kMachineRecordKey, kMachineRecordValue, kRegBinary,
                            {'T', 'a', 'r'});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    os.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"old.dll,0");
    if (c.standardUser) os.StandardUser();
    c.setUp(os);
    const auto journalBefore = os.files.files.count(JournalPath(os.shell))
                                   ? os.files.files[JournalPath(os.shell)]
                                   : std::string("<none>");
    const std::wstring machineBefore = os.registry.Dump(kLocalMachine);
    os.registry.writes.clear();
    TypeList list;
    list.Add(Assigned(L"txtfile", L"C:\\a.dll,1"));
    const ApplyOutcome outcome = ApplyChanges(os.os, list);
    EXPECT_TRUE(outcome.journalFailed);
    EXPECT_EQ(outcome.written, 0u);
    EXPECT_TRUE(os.registry.writes.empty());
    EXPECT_EQ(os.registry.Dump(kLocalMachine), machineBefore);
    EXPECT_EQ(os.registry.Text(kCurrentUser, DefaultIconPath(L"txtfile")), L"<missing>");
    const auto journalAfter = os.files.files.count(JournalPath(os.shell))
                                  ? os.files.files[JournalPath(os.shell)]
                                  : std::string("<none>");
    EXPECT_EQ(journalAfter, journalBefore);
    ASSERT_EQ(os.shell.messages.size(), 1u);
    EXPECT_NE(os.shell.messages[0].first.find(L"No icon was changed"), std::wstring::npos);
    // Nothing invites the user to throw the originals away.
    EXPECT_EQ(os.shell.messages[0].first.find(L"move it elsewhere"), std::wstring::npos);
  }
}

// A value whose original cannot be recorded exactly is never written: there
// would be no way back to it.
TEST_F(ApplyTest, AValueThatCannotBeRecordedIsNeverWritten) {
  fake.registry.SetRaw(kLocalMachine, DefaultIconPath(L"htmlfile"), L"", kRegDword, {1, 0, 0, 0});
  types.Add(Assigned(L"htmlfile", L"C:\\b.dll,2"));
  types.Add(Assigned(L"txtfile", L"C:\\a.dll,1"));
  const ApplyOutcome outcome = ApplyChanges(fake.os, types);
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"htmlfile"), L"")->type, kRegDword);
  EXPECT_EQ(UserValue(L"htmlfile"), L"<missing>");
  EXPECT_EQ(MachineValue(L"txtfile"), L"C:\\a.dll,1");
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].status, kUnrecordable);
  EXPECT_TRUE(types[0].pending.has_value());
  EXPECT_FALSE(types[1].pending.has_value());
}

// A class removed since the list was read gets no per-user keys made for it.
TEST_F(ApplyTest, AClassGoneSinceTheScanIsNamedAndNotCreated) {
  types.Add(Assigned(L"gonefile", L"C:\\b.dll,2"));
  const ApplyOutcome outcome = ApplyChanges(fake.os, types);
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, ClassPath(L"gonefile")));
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].status, kClassGone);
  ASSERT_EQ(fake.shell.messages.size(), 1u);
  EXPECT_NE(fake.shell.messages[0].first.find(L"no longer registered"), std::wstring::npos);
}

TEST_F(ApplyTest, AFailedWriteIsReportedByTheTypesNameAndTheOthersAreStillWritten) {
  // Neither layer may be written for htmlfile: not even the user's own.
  fake.registry.SetReadOnly(kLocalMachine, DefaultIconPath(L"htmlfile"));
  fake.registry.SetReadOnly(kCurrentUser, kClassesKey);
  fake.registry.SetText(kCurrentUser, DefaultIconPath(L"jpegfile"), L"", L"user.dll,0");
  types.Add(Assigned(L"txtfile", L"C:\\a.dll,1"));
  types.Add(Assigned(L"htmlfile", L"C:\\b.dll,2"));
  types.Add(Assigned(L"jpegfile", L"C:\\c.dll,3"));
  const ApplyOutcome outcome = ApplyChanges(fake.os, types);
  EXPECT_EQ(outcome.written, 2u);
  EXPECT_EQ(Shown(L"txtfile"), L"C:\\a.dll,1");
  EXPECT_EQ(Shown(L"htmlfile"), L"old.dll,0");
  EXPECT_EQ(Shown(L"jpegfile"), L"C:\\c.dll,3");
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].status, kErrorAccessDenied);
  ASSERT_EQ(fake.shell.messages.size(), 1u);
  const std::wstring& text = fake.shell.messages[0].first;
  EXPECT_EQ(text.rfind(L"1 file type was not changed: Type htmlfile (.x).", 0), 0u)
      << testing::PrintToString(text);
  EXPECT_EQ(fake.shell.messages[0].second, kMbOk | kMbIconWarning);
  EXPECT_EQ(fake.shell.notifications, 1);
  EXPECT_EQ(fake.registry.openHandles(), 0);
}

TEST_F(ApplyTest, TheMessageCountsTypesAndNamesTheFirstFew) {
  auto failures = [](std::initializer_list<const wchar_t*> names, Status status = kErrorFileNotFound) {
    std::vector<WriteFailure> list;
    for (const auto* name : names) list.push_back({name, std::wstring(L"Type ") + name, status});
    return list;
  };
  struct Case {
    std::vector<WriteFailure> failures;
    ChangeKind kind;
    std::wstring opening;
  };
  const std::vector<Case> cases = {
      {failures({L"a"}), ChangeKind::Apply, L"1 file type was not changed: Type a."},
      {failures({L"a", L"b"}), ChangeKind::Apply, L"2 file types were not changed: Type a and Type b."},
      {failures({L"a", L"b", L"c", L"d", L"e", L"f"}), ChangeKind::Apply,
       L"6 file types were not changed: Type a, Type b, Type c, Type d, Type e and 1 more."},
      {failures({L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}), ChangeKind::Restore,
       L"8 file types were not restored: Type a, Type b, Type c, Type d, Type e and 3 more."},
      // Two extensions of one type fail on the same key.
      {failures({L"a", L"b", L"a"}), ChangeKind::Restore,
       L"2 file types were not restored: Type a and Type b."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.opening));
    const std::wstring text = FailureMessage(c.failures, c.kind);
    EXPECT_EQ(text.substr(0, c.opening.size()), c.opening) << testing::PrintToString(text);
  }
  EXPECT_EQ(FailureMessage({}, ChangeKind::Apply), L"");
  // A 600-character description does not make the message wider than the screen.
  TypeItem wordy = Stored(L"wordy");
  wordy.description = std::wstring(600, L'w');
  wordy.extension = L".wordy";
  const std::wstring name = TypeName(wordy);
  EXPECT_EQ(name, std::wstring(59, L'w') + L"\u2026 (.wordy)");
}

}  // namespace
}  // namespace tarrow
