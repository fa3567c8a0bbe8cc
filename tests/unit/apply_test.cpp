#include "changes/apply.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fake_os.h"

namespace tarrow {
namespace {

using Texts = std::vector<std::wstring>;

class ApplyTest : public ::testing::Test {
 protected:
  ApplyTest() {
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile", L"Foo,Bar.1"}) {
      fake.registry.SetText(kClassesRoot, std::wstring(progId) + L"\\DefaultIcon", L"", L"old.dll,0");
    }
  }

  std::wstring Value(const std::wstring& progId) {
    return fake.registry.Text(kClassesRoot, progId + L"\\DefaultIcon");
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
  const auto stored = [](const wchar_t* progId, const wchar_t* file) {
    return TypeItem{L".x", progId, L"", file, std::nullopt, L"Index"};
  };
  const auto assigned = [](const wchar_t* progId, const wchar_t* location) {
    return TypeItem{L".x", progId, L"", L"C:\\old.dll", location, L"Change"};
  };
  const std::vector<Case> cases = {
      {"nothing changed", {stored(L"txtfile", L"C:\\a.dll"), stored(L"htmlfile", L"C:\\b.dll")}, {}},
      {"one of many",
       {stored(L"txtfile", L"C:\\a.dll"), assigned(L"htmlfile", L"C:\\b.dll,4"),
        stored(L"jpegfile", L"C:\\c.dll")},
       {L"htmlfile\\DefaultIcon|=C:\\b.dll,4"}},
      {"a ProgID with a comma",
       {stored(L"txtfile", L"C:\\a.dll,1"), assigned(L"Foo,Bar.1", L"C:\\d.dll,4")},
       {L"Foo,Bar.1\\DefaultIcon|=C:\\d.dll,4"}},
      {"two extensions of one type, the later one wins",
       {assigned(L"txtfile", L"C:\\first.dll,1"), stored(L"htmlfile", L"C:\\b.dll"),
        assigned(L"txtfile", L"C:\\second.dll,2")},
       {L"txtfile\\DefaultIcon|=C:\\first.dll,1", L"txtfile\\DefaultIcon|=C:\\second.dll,2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeOs os;
    for (const auto* progId : {L"txtfile", L"htmlfile", L"jpegfile", L"Foo,Bar.1"}) {
      os.registry.CreateKey(kClassesRoot, std::wstring(progId) + L"\\DefaultIcon");
    }
    TypeList list;
    for (const auto& item : c.items) list.Add(item);
    const ApplyOutcome outcome = ApplyChanges(os.os, list);
    EXPECT_EQ(os.registry.writes, c.writes);
    EXPECT_EQ(outcome.written, c.writes.size());
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(os.shell.notifications, 1);
    EXPECT_TRUE(os.shell.messages.empty());
    EXPECT_EQ(os.registry.openHandles(), 0);
  }
}

TEST_F(ApplyTest, ValueTypeFollowsTheTextsReferences) {
  struct Case {
    std::wstring tag;
    std::uint32_t type;
  };
  const std::vector<Case> cases = {
      {L"%SystemRoot%\\System32\\imageres.dll,-102", kRegExpandSz},
      {L"C:\\100%%\\a.dll,1", kRegSz},
      {L"C:\\plain.dll,3", kRegSz},
  };

  // The old value was expandable; a plain location no longer is.
  fake.registry.SetText(kClassesRoot, L"txtfile\\DefaultIcon", L"", L"%SystemRoot%\\old.dll,0", kRegExpandSz);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.tag));
    types.Clear();
    types.Add({L"", L"txtfile", L"", L"", c.tag, L"Change1"});
    ApplyChanges(fake.os, types);
    const fake::StoredValue* stored = fake.registry.Find(kClassesRoot, L"txtfile\\DefaultIcon", L"");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, c.type);
    EXPECT_EQ(Value(L"txtfile"), c.tag);
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

TEST_F(ApplyTest, AMissingKeyIsNotCreatedAndTheOthersAreStillWritten) {
  fake::FakeOs os;
  os.registry.CreateKey(kClassesRoot, L"txtfile\\DefaultIcon");
  os.registry.CreateKey(kClassesRoot, L"htmlfile");  // its DefaultIcon was deleted after the scan
  os.registry.CreateKey(kClassesRoot, L"jpegfile\\DefaultIcon");
  types.Add({L"", L"txtfile", L"", L"", L"C:\\a.dll,1", L"Change1"});
  types.Add({L"", L"htmlfile", L"", L"", L"C:\\b.dll,2", L"Change2"});
  types.Add({L"", L"jpegfile", L"", L"", L"C:\\c.dll,3", L"Change3"});

  const ApplyOutcome outcome = ApplyChanges(os.os, types);
  EXPECT_EQ(os.registry.writes,
            (Texts{L"txtfile\\DefaultIcon|=C:\\a.dll,1", L"jpegfile\\DefaultIcon|=C:\\c.dll,3"}));
  EXPECT_FALSE(os.registry.KeyExists(kClassesRoot, L"htmlfile\\DefaultIcon"));
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].progId, L"htmlfile");
  EXPECT_EQ(outcome.failures[0].status, kErrorFileNotFound);
  EXPECT_EQ(os.shell.notifications, 1);
  ASSERT_EQ(os.shell.messages.size(), 1u);
  EXPECT_NE(os.shell.messages[0].first.find(L"1 file type was not changed: htmlfile."), std::wstring::npos)
      << testing::PrintToString(os.shell.messages[0].first);
  EXPECT_EQ(os.shell.messages[0].second, kMbOk | kMbIconWarning);
  EXPECT_TRUE(IsChanged(types[1]));

  // Once the key is back, a second Apply writes every changed type again.
  os.registry.CreateKey(kClassesRoot, L"htmlfile\\DefaultIcon");
  os.registry.writes.clear();
  const ApplyOutcome again = ApplyChanges(os.os, types);
  EXPECT_EQ(os.registry.writes,
            (Texts{L"txtfile\\DefaultIcon|=C:\\a.dll,1", L"htmlfile\\DefaultIcon|=C:\\b.dll,2",
                   L"jpegfile\\DefaultIcon|=C:\\c.dll,3"}));
  EXPECT_TRUE(again.failures.empty());
  EXPECT_EQ(os.shell.notifications, 2);
  EXPECT_EQ(os.shell.messages.size(), 1u);
}

TEST_F(ApplyTest, RefusedAccessAsksForAnAdministrator) {
  fake.registry.SetReadOnly(kClassesRoot, L"htmlfile\\DefaultIcon");
  types.Add({L"", L"txtfile", L"", L"", L"C:\\a.dll,1", L"Change1"});
  types.Add({L"", L"htmlfile", L"", L"", L"C:\\b.dll,2", L"Change2"});
  const ApplyOutcome outcome = ApplyChanges(fake.os, types);
  EXPECT_EQ(outcome.written, 1u);
  EXPECT_EQ(Value(L"txtfile"), L"C:\\a.dll,1");
  EXPECT_EQ(Value(L"htmlfile"), L"old.dll,0");
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].status, kErrorAccessDenied);
  ASSERT_EQ(fake.shell.messages.size(), 1u);
  const std::wstring& text = fake.shell.messages[0].first;
  EXPECT_NE(text.find(L"htmlfile"), std::wstring::npos);
  EXPECT_NE(text.find(L"administrator"), std::wstring::npos);
  EXPECT_NE(text.find(L"all users"), std::wstring::npos);
  EXPECT_EQ(fake.registry.openHandles(), 0);
}

TEST_F(ApplyTest, TheMessageCountsTypesAndNamesTheFirstFew) {
  auto failures = [](std::initializer_list<const wchar_t*> names, Status status = kErrorFileNotFound) {
    std::vector<WriteFailure> list;
    for (const auto* name : names) list.push_back({name, status});
    return list;
  };
  struct Case {
    std::vector<WriteFailure> failures;
    ChangeKind kind;
    std::wstring opening;
  };
  const std::vector<Case> cases = {
      {failures({L"a"}), ChangeKind::Apply, L"1 file type was not changed: a."},
      {failures({L"a", L"b"}), ChangeKind::Apply, L"2 file types were not changed: a and b."},
      {failures({L"a", L"b", L"c", L"d", L"e"}), ChangeKind::Apply,
       L"5 file types were not changed: a, b, c, d and e."},
      {failures({L"a", L"b", L"c", L"d", L"e", L"f"}), ChangeKind::Apply,
       L"6 file types were not changed: a, b, c, d, e and 1 more."},
      {failures({L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"}), ChangeKind::Restore,
       L"8 file types were not restored: a, b, c, d, e and 3 more."},
      // Two extensions of one type fail on the same key.
      {failures({L"a", L"b", L"a"}), ChangeKind::Restore, L"2 file types were not restored: a and b."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.opening));
    const std::wstring text = FailureMessage(c.failures, c.kind);
    EXPECT_EQ(text.substr(0, c.opening.size()), c.opening) << testing::PrintToString(text);
    EXPECT_EQ(text.find(L"administrator"), std::wstring::npos);
  }
  EXPECT_EQ(FailureMessage({}, ChangeKind::Apply), L"");

  const std::wstring mixed =
      FailureMessage({{L"a", kErrorFileNotFound}, {L"b", kErrorAccessDenied}, {L"c", 1009}, {L"d", 1009}},
                     ChangeKind::Apply);
  EXPECT_NE(mixed.find(L"administrator"), std::wstring::npos);
  EXPECT_NE(mixed.find(L"DefaultIcon key"), std::wstring::npos);
  EXPECT_NE(mixed.find(L"error 1009."), std::wstring::npos);
  EXPECT_EQ(mixed.find(L"error 1009."), mixed.rfind(L"error 1009."));
}

}  // namespace
}  // namespace tarrow
