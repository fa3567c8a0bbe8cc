#include "changes/shell_check.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>

#include "changes/journal.h"
#include "fake_os.h"

namespace tarrow {
namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";

// One type, .doc of class docfile, and what the shell answers for it after
// an icon was written. The fake shell answers as Windows documents it
// (HKEY_CLASSES_ROOT: the user's value over the machine's; a valid user
// choice of program first), or as Wine does with `machineLayerOnly`.
TEST(ShellCheckTest, SaysWhichTypesExplorerWillNotShowAsChangedAndWhy) {
  struct Case {
    const char* name;
    std::function<void(fake::FakeOs&)> arrange;
    WrittenIcon icon;
    std::optional<ShellDoubt> expected;  // nullopt: the shell agrees
  };
  const WrittenIcon machine{L".doc", L"Document (.doc)", L"docfile", L"%SystemRoot%\\new.dll,1"};
  WrittenIcon handler = machine;
  handler.iconHandler = true;
  WrittenIcon chosen{L".doc", L"Document (.doc)",      L"chosen", L"C:\\chosen.dll,0",
                     L"",     ProgIdSource::UserChoice};
  auto machineValue = [](fake::FakeOs& os, const std::wstring& location) {
    os.registry.SetText(kLocalMachine, std::wstring(kClasses) + L"docfile\\DefaultIcon", L"", location);
  };
  auto userValue = [](fake::FakeOs& os, const std::wstring& location) {
    os.registry.SetText(kCurrentUser, std::wstring(kClasses) + L"docfile\\DefaultIcon", L"", location);
  };
  const std::vector<Case> cases = {
      {"the same file as Windows compares paths: expanded, any case, blanks by the index",
       [&](fake::FakeOs& os) {
         machineValue(os, machine.location);
         os.shell.shellIcons[L".doc"] = L"C:\\WINDOWS\\New.DLL, 1";
       },
       machine, std::nullopt},
      {"answered from the merged classes", [&](fake::FakeOs& os) { machineValue(os, machine.location); },
       machine, std::nullopt},
      {"another index", [&](fake::FakeOs& os) { os.shell.shellIcons[L".doc"] = L"C:\\Windows\\new.dll,2"; },
       machine, ShellDoubt::Other},
      {"an icon handler, whatever the shell says",
       [&](fake::FakeOs& os) { os.shell.shellIcons[L".doc"] = L"%SystemRoot%\\new.dll,1"; }, handler,
       ShellDoubt::IconHandler},
      {"a per-user value over the machine one written",
       [&](fake::FakeOs& os) {
         machineValue(os, machine.location);
         userValue(os, L"C:\\mine.dll,3");
       },
       machine, ShellDoubt::UserValueWins},
      {"a shell that reads the machine layer alone, as Wine's",
       [&](fake::FakeOs& os) {
         machineValue(os, L"C:\\old.dll,0");
         userValue(os, machine.location);
         os.shell.machineLayerOnly = true;
       },
       machine, ShellDoubt::MachineValueShown},
      {"the chosen program's class, which the shell does not follow",
       [&](fake::FakeOs& os) {
         machineValue(os, L"C:\\old.dll,0");
         os.registry.SetText(kLocalMachine, std::wstring(kClasses) + L"chosen\\DefaultIcon", L"",
                             chosen.location);
         os.shell.machineLayerOnly = true;
       },
       chosen, ShellDoubt::UserChoice},
      {"the chosen program's class, followed",
       [&](fake::FakeOs& os) {
         machineValue(os, L"C:\\old.dll,0");
         os.registry.SetText(kLocalMachine, std::wstring(kClasses) + L"chosen\\DefaultIcon", L"",
                             chosen.location);
         os.shell.associations[L".doc"] = L"chosen";
       },
       chosen, std::nullopt},
      {"no icon at all", [&](fake::FakeOs&) {}, machine, ShellDoubt::Unreadable},
      {"a shell that cannot answer", [&](fake::FakeOs& os) { os.shell.shellIcons[L".doc"] = std::nullopt; },
       machine, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakeOs os;
    os.shell.environment[L"SystemRoot"] = L"C:\\Windows";
    os.registry.SetText(kLocalMachine, std::wstring(kClasses) + L".doc", L"", L"docfile");
    c.arrange(os);
    const ShellCheck check = CheckWithShell(os.os, {c.icon});
    EXPECT_EQ(check.checked, 1u);
    if (!c.expected) {
      EXPECT_TRUE(check.mismatches.empty());
      continue;
    }
    ASSERT_EQ(check.mismatches.size(), 1u);
    EXPECT_EQ(check.mismatches[0].doubt, *c.expected);
    EXPECT_EQ(check.mismatches[0].name, L"Document (.doc)");
  }
}

TEST(ShellCheckTest, TheStatusLineSaysTheOutcomeAndOnlyAMismatchMakesAMessage) {
  fake::FakeOs os;
  os.shell.shellIcons[L".a"] = L"C:\\a.dll,0";
  os.shell.shellIcons[L".b"] = L"C:\\other.dll,4";
  os.shell.shellIcons[L".c"] = std::nullopt;
  const WrittenIcon a{L".a", L"A (.a)", L"afile", L"C:\\a.dll,0"};
  const WrittenIcon b{L".b", L"B (.b)", L"bfile", L"C:\\b.dll,0"};
  const WrittenIcon c{L".c", L"C (.c)", L"cfile", L"C:\\c.dll,0"};

  EXPECT_EQ(ShellCheckSummary(CheckWithShell(os.os, {})), L"");
  const ShellCheck agreed = CheckWithShell(os.os, {a});
  EXPECT_EQ(ShellCheckSummary(agreed), L"Explorer shows the new icon.");
  EXPECT_EQ(ShellCheckMessage(agreed), L"");

  const ShellCheck unanswered = CheckWithShell(os.os, {c});
  EXPECT_FALSE(unanswered.shellAnswers);
  EXPECT_EQ(ShellCheckSummary(unanswered), L"The shell could not say which icons it shows.");
  EXPECT_EQ(ShellCheckMessage(unanswered), L"");

  const ShellCheck partly = CheckWithShell(os.os, {a, c});
  EXPECT_EQ(ShellCheckSummary(partly), L"Explorer shows 1 of 2 new icons; the shell could not say for the rest.");
  EXPECT_EQ(ShellCheckMessage(partly), L"");

  const ShellCheck mixed = CheckWithShell(os.os, {a, b, c});
  EXPECT_TRUE(mixed.shellAnswers);
  EXPECT_EQ(ShellCheckSummary(mixed), L"Explorer will not show 1 of 3 as changed.");
  EXPECT_EQ(
      ShellCheckMessage(mixed),
      L"Explorer will not show this type with its new icon:\r\n\r\nB (.b): the shell reads C:\\other.dll,4.");
  EXPECT_EQ(ShellCheckMessage(CheckWithShell(os.os, {b, b, b}), 2),
            L"Explorer will not show these types with their new icons:\r\n\r\nB (.b): the shell reads "
            L"C:\\other.dll,4.\r\nB (.b): the shell reads C:\\other.dll,4.\r\n...and 1 more.");
}

TEST(ShellCheckTest, AnIconWrittenAtTheLocationItHadIsReadAgainByTheShell) {
  fake::FakeShell shell;
  shell.environment[L"SystemRoot"] = L"C:\\Windows";
  // The same icon as Windows compares paths: the file changed in place.
  const WrittenIcon unmoved{L".a", L"A", L"afile", L"C:\\WINDOWS\\edited.ico,0",
                            L"%SystemRoot%\\edited.ico, 0"};
  const WrittenIcon moved{L".b", L"B", L"bfile", L"C:\\new.dll,1", L"C:\\new.dll,2"};
  RedrawUnmovedIcons(shell, {unmoved, moved});
  EXPECT_EQ(shell.imageNotices, std::vector<std::wstring>{L".a"});
}

TEST(ShellCheckTest, ARestoreChecksTheClassesTheJournalHoldsOfThoseItPutsBack) {
  fake::FakeOs os;
  JournalEntry a, b;
  a.progId = L"AFile";
  b.progId = L"bfile";
  b.layer = ClassLayer::Machine;
  ASSERT_TRUE(SaveRecord(os.os, RecordScope::User, {a}));
  ASSERT_TRUE(SaveRecord(os.os, RecordScope::Machine, {b}));
  EXPECT_EQ(JournaledProgIds(os.os), (std::set<std::wstring>{L"afile", L"bfile"}));
  EXPECT_EQ(JournaledProgIds(os.os, std::set<std::wstring>{L"afile", L"cfile"}),
            std::set<std::wstring>{L"afile"});
  EXPECT_TRUE(JournaledProgIds(os.os, std::set<std::wstring>{}).empty());
}

TEST(ShellCheckTest, OnlyTheIconsApplyWroteAreChecked) {
  TypeList types;
  auto add = [&](const wchar_t* extension, const wchar_t* progId, const wchar_t* location,
                 std::optional<std::wstring> pending) {
    TypeItem item;
    item.extension = extension;
    item.progId = progId;
    item.description = progId;
    item.location = location;
    item.pending = std::move(pending);
    types.Add(item);
  };
  add(L".a", L"afile", L"C:\\old.dll,0", L"C:\\new.dll,2");
  add(L".b", L"bfile", L"C:\\b.dll,0", std::nullopt);
  add(L".c", L"cfile", L"C:\\c.dll,0", L"C:\\new.dll,3");

  const std::vector<WrittenIcon> pending = PendingIcons(types);
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].location, L"C:\\new.dll,2");
  EXPECT_EQ(pending[0].previous, L"C:\\old.dll,0");
  ApplyOutcome outcome;
  outcome.failures.push_back({L"cfile", L"C", kErrorAccessDenied});
  const auto applied = AppliedIcons(pending, outcome);
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].extension, L".a");
  outcome.journalFailed = true;
  EXPECT_TRUE(AppliedIcons(pending, outcome).empty());

  fake::FakeShell shell;
  const auto restored = IconsOfProgIds(shell, types, {L"bfile", L"cfile"});
  ASSERT_EQ(restored.size(), 2u);
  EXPECT_EQ(restored[0].location, L"C:\\b.dll,0");
  EXPECT_EQ(restored[1].extension, L".c");
}

}  // namespace
}  // namespace tarrow
