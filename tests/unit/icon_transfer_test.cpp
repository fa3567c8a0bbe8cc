// The window's import and export, over the fakes: what the user is asked and
// told, and what is written.
#include "changes/icon_transfer.h"

#include <gtest/gtest.h>

#include "catalog/scan.h"
#include "changes/change_model.h"
#include "changes/restore.h"
#include "changes/shell_check.h"
#include "fake_os.h"

namespace tarrow {
namespace {

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

class IconTransferTest : public ::testing::Test {
 protected:
  IconTransferTest() {
    fake.registry.CreateKey(kCurrentUser, kClassesKey);
    for (const auto* progId : {L"txtfile", L"htmlfile"}) {
      fake.registry.SetText(kLocalMachine, ClassPath(std::wstring(L".") + progId), L"", progId);
      fake.registry.SetText(kLocalMachine, ClassPath(progId), L"", std::wstring(L"The ") + progId);
      fake.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", L"C:\\old.dll,0");
    }
    fake.files.files[L"C:\\in.reg"] = Utf16(
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Classes\\txtfile\\DefaultIcon]\r\n@=\"C:\\\\a.dll,3\"\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Classes\\htmlfile\\DefaultIcon]\r\n@=\"C:\\\\old.dll,0\"\r\n"
        u"[HKEY_CLASSES_ROOT\\gone\\DefaultIcon]\r\n@=\"c.ico\"\r\n");
  }
  std::wstring Stored(const wchar_t* progId) {
    return fake.registry.Text(kLocalMachine, DefaultIconPath(progId));
  }

  fake::FakeOs fake;
};

TEST_F(IconTransferTest, AnImportIsChosenAskedAboutAndToldAsApplyIs) {
  struct Case {
    std::wstring file;  // the Open dialog's answer; L"\x1" cancels
    std::wstring contents;
    std::vector<int> answers;
    bool written;
    std::wstring summary;
    std::vector<std::pair<std::wstring, unsigned>> shown;
    std::wstring txtfile;  // its icon afterwards
  };
  const std::wstring bad =
      L"C:\\bad.reg, line 3: the key \"HKEY_CLASSES_ROOT\\txtfile\\shell\" is not a file type's icon key "
      L"(...\\Software\\Classes\\TYPE\\DefaultIcon). Nothing was imported.";
  const std::wstring question =
      L"The icons of C:\\in.reg change 1 file type. 1 file type shows its icon already.\r\n\r\n1 will be "
      L"passed over, as this computer has no such file type: gone.\r\n\r\nRestore Defaults or Restore "
      L"original icon takes them back. Import them now?";
  const std::vector<Case> cases = {
      {L"\x1", L"", {}, false, L"", {}, L"C:\\old.dll,0"},
      {L"C:\\missing.reg",
       L"",
       {},
       false,
       L"Nothing was imported.",
       {{L"C:\\missing.reg cannot be read; nothing was imported.", kMbOk | kMbIconError}},
       L"C:\\old.dll,0"},
      {L"C:\\bad.reg",
       L"",
       {},
       false,
       L"Nothing was imported.",
       {{bad, kMbOk | kMbIconError}},
       L"C:\\old.dll,0"},
      {L"C:\\same.reg",
       L"",
       {},
       false,
       L"Nothing was imported.",
       {{L"Every file type of C:\\same.reg shows its icon already.", kMbOk | kMbIconInformation}},
       L"C:\\old.dll,0"},
      {L"C:\\in.reg", L"", {kIdNo}, false, L"", {{question, kMbYesNo | kMbIconQuestion}}, L"C:\\old.dll,0"},
      {L"C:\\in.reg",
       L"",
       {kIdYes},
       true,
       // As Apply counts: htmlfile holds the file's icon, for all users.
       L"Imported: 2 types changed for all users.",
       {{question, kMbYesNo | kMbIconQuestion},
        {L"Passed over, as this computer has no such file type: gone.", kMbOk | kMbIconWarning}},
       L"C:\\a.dll,3"},
  };
  fake.files.files[L"C:\\bad.reg"] = Utf16(
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\txtfile\\shell]\r\n@=\"x\"\r\n");
  fake.files.files[L"C:\\same.reg"] = Utf16(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CLASSES_ROOT\\txtfile\\DefaultIcon]\r\n@=\"C:\\\\old.dll,0\"\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.file) + " " + testing::PrintToString(c.answers));
    fake.shell.dialogAnswers = {c.file};
    fake.shell.messageAnswers = c.answers;
    fake.shell.messages.clear();
    // As the window does it: chosen, written (on its writer), told.
    const ImportChoice choice = ChooseImport(fake.os, 7);
    EXPECT_EQ(choice.plan.has_value(), c.written);
    const std::wstring summary =
        choice.plan
            ? TellImported(fake.shell, *choice.plan, ApplyImport(fake.os, *choice.plan, ListTypes(fake.os)))
            : choice.summary;
    EXPECT_EQ(summary, c.summary);
    EXPECT_EQ(fake.shell.messages, c.shown);
    EXPECT_EQ(Stored(L"txtfile"), c.txtfile);
    EXPECT_EQ(fake.shell.dialogRequests.back().title, L"Import Icons");
  }
  // Restore takes the import back.
  RestoreOriginals(fake.os, ListTypes(fake.os));
  EXPECT_EQ(Stored(L"txtfile"), L"C:\\old.dll,0");
}

TEST_F(IconTransferTest, AnExportWritesTheChangedIconsToTheFileChosenInASaveDialog) {
  fake.shell.dialogAnswers = {L"\x1"};
  EXPECT_EQ(ExportIconsAsked(fake.os, 7), L"");
  EXPECT_EQ(fake.shell.dialogRequests.back().title, L"Export Icons");
  EXPECT_EQ(fake.shell.dialogRequests.back().defaultExtension, L"reg");

  fake.shell.dialogAnswers = {L"C:\\out.reg"};
  EXPECT_EQ(ExportIconsAsked(fake.os, 7),
            L"Nothing to export: Tarrow has changed no icon, so C:\\out.reg was not written.");
  EXPECT_FALSE(fake.files.files.count(L"C:\\out.reg"));

  TypeList types = ListTypes(fake.os);
  ChangeModel changes(fake.os, types);
  ASSERT_TRUE(changes.Assign(0, L"C:\\new.dll,2"));
  changes.Write();
  fake.shell.dialogAnswers = {L"C:\\out.reg"};
  EXPECT_EQ(ExportIconsAsked(fake.os, 7), L"1 value exported to C:\\out.reg.");
  EXPECT_TRUE(fake.shell.messages.empty());
  const std::wstring key = L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\" + types[0].progId + L"\\DefaultIcon]";
  std::string expected;
  for (const wchar_t c : key) expected += {static_cast<char>(c), '\0'};
  EXPECT_NE(fake.files.files[L"C:\\out.reg"].find(expected), std::string::npos);

  // What cannot be written is told in a box, and in the status line.
  fake.files.readOnlyFolders.insert(L"D:\\locked");
  fake.shell.dialogAnswers = {L"D:\\locked\\out.reg"};
  EXPECT_EQ(ExportIconsAsked(fake.os, 7), L"Nothing was exported.");
  ASSERT_EQ(fake.shell.messages.size(), 1u);
  EXPECT_EQ(fake.shell.messages[0],
            std::make_pair(std::wstring(L"D:\\locked\\out.reg could not be written; nothing was exported."),
                           kMbOk | kMbIconWarning));
}

TEST(IconHandlerQuestionTest, OneQuestionForTheChosenTypesNamesThoseWithAHandler) {
  TypeList types;
  types.Add({L".a", L"a", L"Alpha", L"", std::nullopt, L""}).iconHandler = true;
  types.Add({L".b", L"b", L"Beta", L"", std::nullopt, L""});
  types.Add({L".c", L"c", L"Gamma", L"", std::nullopt, L""}).iconHandler = true;
  EXPECT_EQ(IconHandlerQuestion(types, {1}), L"");
  EXPECT_EQ(IconHandlerQuestion(types, {0}), IconHandlerQuestion(types[0]));
  EXPECT_EQ(
      IconHandlerQuestion(types, {2, 1, 0}),
      L"An icon handler decides the icons of 2 of the 3 chosen types (Gamma (.c) and Alpha (.a)): Explorer "
      L"may keep "
      L"drawing each file's own icon, whatever icon the type is given.\r\n\r\nGive them this icon all the "
      L"same?");
  EXPECT_EQ(NoOriginalText(types, {1}),
            L"Tarrow never changed the icon of Beta (.b); it has no other original to put back.");
  EXPECT_EQ(
      NoOriginalText(types, {1, 2}),
      L"Tarrow never changed the icon of Beta (.b) and Gamma (.c); they have no other original to put back.");
}

// A set whose icons were made of pictures travels with their files: the
// export copies them beside the .reg file, and another computer's import
// stores them in its own Icons folder, where its restore removes them again.
TEST_F(IconTransferTest, IconsMadeOfPicturesTravelBesideTheExportedFile) {
  fake.files.files[L"C:\\Pictures\\Cat.png"] = "cat";
  fake.shell.pictures["cat"] = RgbaImage{2, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(WriteIcons(fake.os, {{L"txtfile", L"Text", L"C:\\Pictures\\Cat.png"}}).written, 1u);
  const std::wstring stored = Stored(L"txtfile");
  ASSERT_EQ(stored.rfind(L"C:\\ProgramData\\Tarrow\\Icons\\", 0), 0u) << stored;
  const std::wstring name = stored.substr(28, 68);
  const std::string icon = fake.files.files.at(L"C:\\ProgramData\\Tarrow\\Icons\\" + name);
  EXPECT_EQ(ExportIcons(fake.os, L"D:\\Sets\\cats.reg").done, L"1 value exported to D:\\Sets\\cats.reg.");
  EXPECT_EQ(fake.files.files.at(L"D:\\Sets\\cats icons\\" + name), icon);

  fake::FakeOs other;
  other.shell.machineAppData = L"E:\\Data";
  other.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"C:\\old.dll,0");
  other.files.files[L"D:\\Sets\\cats.reg"] = fake.files.files.at(L"D:\\Sets\\cats.reg");
  other.files.files[L"D:\\Sets\\cats icons\\" + name] = icon;
  const ImportPlan plan = PlanImport(other.os, L"D:\\Sets\\cats.reg");
  ASSERT_EQ(plan.writes.size(), 1u);
  EXPECT_EQ(plan.writes[0].location, L"D:\\Sets\\cats icons\\" + name + L",0");
  EXPECT_EQ(ApplyImport(other.os, plan, TypeList{}).written, 1u);
  const std::wstring there = other.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile"));
  ASSERT_EQ(there.rfind(L"E:\\Data\\Tarrow\\Icons\\", 0), 0u) << there;
  EXPECT_EQ(other.files.files.at(there.substr(0, there.size() - 2)), icon);
  RestoreOriginals(other.os, TypeList{});
  EXPECT_EQ(other.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\old.dll,0");
  EXPECT_FALSE(other.files.files.count(there.substr(0, there.size() - 2)));

  // What lies beside the file is only taken for an icon file.
  other.files.files[L"D:\\Sets\\cats icons\\" + name] = "MZ not an icon";
  EXPECT_EQ(ApplyImport(other.os, PlanImport(other.os, L"D:\\Sets\\cats.reg"), TypeList{}).pictureProblem,
            L"D:\\Sets\\cats icons\\" + name + L" is not an icon file.");
  EXPECT_EQ(other.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\old.dll,0");
}

}  // namespace
}  // namespace tarrow
