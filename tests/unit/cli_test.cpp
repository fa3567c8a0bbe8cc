#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/class_layer.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "fake_os.h"

namespace tarrow::cli {
namespace {

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (const wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

struct StringSink : TextSink {
  std::wstring text;
  void Write(std::wstring_view more) override { text += more; }
};

TEST(ParseArgumentsTest, RecognisesEachCommandWithItsOperands) {
  EXPECT_EQ(ParseArguments({}).arguments.action, Action::Window);
  EXPECT_TRUE(ParseArguments({}).ok());

  const struct {
    std::vector<std::wstring> args;
    Action action;
    bool json;
  } cases[] = {
      {{L"--help"}, Action::Help, false},           {{L"--version"}, Action::Version, false},
      {{L"--list"}, Action::List, false},           {{L"--list", L"--json"}, Action::List, true},
      {{L"--json", L"--list"}, Action::List, true}, {{L"--restore"}, Action::Restore, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.args[0]) + " " + std::to_string(c.args.size()));
    const Parsed parsed = ParseArguments(c.args);
    EXPECT_TRUE(parsed.ok()) << Narrow(parsed.error);
    EXPECT_EQ(parsed.arguments.action, c.action);
    EXPECT_EQ(parsed.arguments.json, c.json);
  }

  const Parsed set = ParseArguments({L"--set", L".txt", L"%SystemRoot%\\a.dll,-3"});
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.arguments.action, Action::Set);
  EXPECT_EQ(set.arguments.extensions, std::vector<std::wstring>{L".txt"});
  EXPECT_EQ(set.arguments.location, L"%SystemRoot%\\a.dll,-3");

  const Parsed restore = ParseArguments({L"--restore", L".txt", L".\u00e9t\u00e9"});
  ASSERT_TRUE(restore.ok());
  EXPECT_EQ(restore.arguments.extensions, (std::vector<std::wstring>{L".txt", L".\u00e9t\u00e9"}));

  const Parsed icons = ParseArguments({L"--icons", L"C:\\x y\\a.dll"});
  ASSERT_TRUE(icons.ok());
  EXPECT_EQ(icons.arguments.action, Action::Icons);
  EXPECT_EQ(icons.arguments.file, L"C:\\x y\\a.dll");
  const Parsed exported = ParseArguments({L"--export", L"out.reg"});
  EXPECT_EQ(exported.arguments.action, Action::Export);
  EXPECT_EQ(exported.arguments.file, L"out.reg");
}

TEST(ParseArgumentsTest, RefusesWhatIsNotACommandWithAReason) {
  const std::wstring longest(kMaxArgumentChars, L'a');
  const std::wstring location(kMaxLocationChars, L'a');
  const struct {
    std::vector<std::wstring> args;
    const wchar_t* error;
  } cases[] = {
      {{L"/?"}, L"unknown command \"/?\""},
      {{L"--LIST"}, L"unknown command \"--LIST\""},
      {{L"list"}, L"unknown command \"list\""},
      {{L""}, L"unknown command \"\""},
      {{L"--json"}, L"--json goes with --list only"},
      {{L"--version", L"--json"}, L"--json goes with --list only"},
      {{L"--list", L"--json", L"--json"}, L"--list takes nothing more, not \"--json\""},
      {{L"--help", L"x"}, L"--help takes nothing more, not \"x\""},
      {{L"--version", L"--help"}, L"--version takes nothing more, not \"--help\""},
      {{L"--set"}, L"--set needs an extension and an icon location"},
      {{L"--set", L".txt"}, L"--set needs an extension and an icon location"},
      {{L"--set", L".txt", L"a.dll", L"b"}, L"--set takes an extension and an icon location only, not \"b\""},
      {{L"--set", L"txt", L"a.dll"}, L"\"txt\" is not an extension: it must start with a dot, as in .txt"},
      {{L"--set", L"", L"a.dll"}, L"the extension is empty"},
      {{L"--set", L".", L"a.dll"}, L"the extension \".\" has no name after its dot"},
      {{L"--set", L".a\\b", L"a.dll"},
       L"\".a\\b\" is not an extension: it holds a backslash or a control character"},
      {{L"--set", L".a\tb", L"a.dll"},
       L"\".a\tb\" is not an extension: it holds a backslash or a control character"},
      {{L"--set", L"." + std::wstring(255, L'a'), L"a.dll"}, L"the extension is longer than 255 characters"},
      {{L"--set", L".txt", L""}, L"the icon location is empty"},
      {{L"--set", L".txt", location + L"b"}, L"the icon location is longer than 1023 characters"},
      {{L"--restore", L".txt", L"doc"}, L"\"doc\" is not an extension: it must start with a dot, as in .txt"},
      {{L"--export"}, L"--export needs one file name"},
      {{L"--export", L""}, L"the file name is empty"},
      {{L"--icons", L"a.dll", L"b.dll"}, L"--icons takes one file name only, not \"b.dll\""},
      {{L"--icons", longest + L"x"}, L"an argument is longer than 32767 characters"},
      {{L"--help", longest + L"x"}, L"an argument is longer than 32767 characters"},
      {{longest + L"x"}, L"an argument is longer than 32767 characters"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.error));
    const Parsed parsed = ParseArguments(c.args);
    EXPECT_EQ(parsed.error, c.error);
    EXPECT_FALSE(parsed.ok());
  }
  // Operands at their limits are taken.
  EXPECT_TRUE(ParseArguments({L"--set", L"." + std::wstring(254, L'a'), location}).ok());
  EXPECT_TRUE(ParseArguments({L"--icons", longest}).ok());
}

TEST(ParseArgumentsTest, QuotesAHugeUnknownArgumentCut) {
  const Parsed parsed = ParseArguments({std::wstring(100, L'z')});
  EXPECT_EQ(parsed.error, L"unknown command \"" + std::wstring(60, L'z') + L"...\"");
}

class CommandsTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::wstring>& args) {
    const Parsed parsed = ParseArguments(args);
    if (!parsed.ok()) return ReportUsageError(parsed.error, err);
    return cli::Run(parsed.arguments, context);
  }
  fake::FakeOs fake;
  StringSink out, err;
  bool windowOpen = false;
  CommandContext context{fake.os, out, err, L"1.5.0.0", [this] { return windowOpen; }};
};

TEST_F(CommandsTest, VersionIsOneLineWithTheFileVersion) {
  EXPECT_EQ(Run({L"--version"}), 0);
  EXPECT_EQ(out.text, L"Tarrow 1.5 (file version 1.5.0.0)\n");
  EXPECT_EQ(err.text, L"");
}

TEST_F(CommandsTest, HelpGoesToOutputAndAUsageErrorToTheErrorStreamWithExitTwo) {
  EXPECT_EQ(Run({L"--help"}), 0);
  EXPECT_EQ(out.text.rfind(L"Usage: tarrow.exe [command]\n", 0), 0u);
  EXPECT_TRUE(out.text.ends_with(L"3 Tarrow's window is open (close it first).\n"));
  EXPECT_FALSE(out.text.ends_with(L"\n\n"));
  EXPECT_EQ(err.text, L"");
  const std::wstring help = out.text;

  out.text.clear();
  EXPECT_EQ(Run({L"--frobnicate"}), 2);
  EXPECT_EQ(out.text, L"");
  EXPECT_EQ(err.text, L"tarrow: unknown command \"--frobnicate\".\n\n" + help);
}

TEST_F(CommandsTest, IconsListsEachIconInIndexOrderWithItsImagesLargestFirst) {
  fake.shell.iconDirectories[L"c:\\icons.dll"] = {
      true, {{{16, 16, 32}, {32, 32, 32}, {32, 32, 4}}, {{256, 256, 32}}, {{48, 48, 8}, {48, 48, 32}}}, {}};
  EXPECT_EQ(Run({L"--icons", L"C:\\Icons.dll"}), 0);
  EXPECT_EQ(out.text, L"0\t32x32x32 32x32x4 16x16x32\n1\t256x256x32\n2\t48x48x32 48x48x8\n");
  EXPECT_EQ(err.text, L"");
}

TEST_F(CommandsTest, IconsOfAFileWithoutIconsPrintsNothingAndFails) {
  fake.shell.iconDirectories[L"c:\\none.exe"] = {true, {}, {}};
  EXPECT_EQ(Run({L"--icons", L"C:\\none.exe"}), 1);
  EXPECT_EQ(out.text, L"");
  EXPECT_EQ(err.text, L"tarrow: \"C:\\none.exe\" holds no icons.\n");
}

TEST_F(CommandsTest, IconsTellsAMissingFileFromAnUnreadableOrADamagedOne) {
  fake.files.files[L"C:\\locked.dll"] = "MZ";
  fake.files.unreadable.insert(L"C:\\locked.dll");
  fake.files.files[L"C:\\damaged.ico"] = std::string("\0\0\1\0", 4);  // no reader can list it
  const struct {
    const wchar_t* file;
    const wchar_t* why;
  } cases[] = {
      {L"C:\\missing.dll", L"there is no file by this name."},
      {L"C:\\locked.dll", L"it cannot be read."},
      {L"C:\\damaged.ico", L"it is damaged, or not a program or icon file."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.file).size());
    out.text.clear();
    err.text.clear();
    EXPECT_EQ(Run({L"--icons", c.file}), 1);
    EXPECT_EQ(out.text, L"");
    EXPECT_EQ(err.text,
              L"tarrow: cannot read icons from \"" + std::wstring(c.file) + L"\": " + c.why + L"\n");
  }
}

TEST_F(CommandsTest, IconsKeepsADamagedIconsPlaceAndReportsIt) {
  fake.shell.iconDirectories[L"c:\\half.dll"] = {true, {{{16, 16, 8}}, {}, {{32, 32, 8}}}, {1}};
  EXPECT_EQ(Run({L"--icons", L"C:\\half.dll"}), 1);
  EXPECT_EQ(out.text, L"0\t16x16x8\n1\t\n2\t32x32x8\n");
  EXPECT_EQ(err.text, L"tarrow: icon 1 of \"C:\\half.dll\" is damaged: its images cannot be read.\n");
}

TEST_F(CommandsTest, WritesAreRefusedWithExitThreeWhileTheWindowIsOpen) {
  windowOpen = true;
  EXPECT_EQ(Run({L"--set", L".txt", L"a.dll,1"}), 3);
  EXPECT_EQ(Run({L"--restore"}), 3);
  EXPECT_EQ(err.text,
            L"tarrow: Tarrow's window is open. Close it, then run the command again.\n"
            L"tarrow: Tarrow's window is open. Close it, then run the command again.\n");
  // Reading is fine with the window open.
  EXPECT_EQ(Run({L"--version"}), 0);
  EXPECT_TRUE(fake.registry.writes.empty());
}

// Two types: .txt registered for all users, and .htm, whose default app the
// user picked (a per-user class), with a description the JSON must escape.
class TypeCommandsTest : public CommandsTest {
 protected:
  TypeCommandsTest() {
    fake.registry.CreateKey(kCurrentUser, kClassesKey);
    fake.registry.SetText(kLocalMachine, ClassPath(L".txt"), L"", L"txtfile");
    fake.registry.SetText(kLocalMachine, ClassPath(L"txtfile"), L"", L"Text Document");
    fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"%SystemRoot%\\t.dll,-102",
                          kRegExpandSz);
    fake.registry.SetText(kLocalMachine, ClassPath(L".htm"), L"", L"htmlfile");
    fake.registry.SetText(kLocalMachine, ClassPath(L"htmlfile"), L"", L"HTML");
    fake.registry.SetText(kLocalMachine, DefaultIconPath(L"htmlfile"), L"", L"C:\\h.dll,1");
    fake.registry.SetText(kCurrentUser, ClassPath(L"Browser.Html"), L"", L"The \"Browser\" \\ page");
    fake.registry.SetText(kCurrentUser, DefaultIconPath(L"Browser.Html"), L"", L"C:\\Browser\\b.exe,0");
    fake.registry.SetText(
        kCurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.htm\\UserChoice",
        L"ProgId", L"Browser.Html");
  }
};

TEST_F(TypeCommandsTest, ListPrintsEachListedTypeAsTheWindowShowsIt) {
  EXPECT_EQ(Run({L"--list"}), 0);
  EXPECT_EQ(out.text,
            L".txt\ttxtfile\tText Document\t%SystemRoot%\\t.dll,-102\n"
            L".htm\tBrowser.Html\tThe \"Browser\" \\ page\tC:\\Browser\\b.exe,0\n");
  EXPECT_EQ(err.text, L"");
  // The first run records the originals, whether it shows a window or not.
  EXPECT_EQ(fake.files.files[L"C:\\Tarrow\\Defaults.dat"],
            "\xEF\xBB\xBFtxtfile,%SystemRoot%\\t.dll,-102\r\nBrowser.Html,C:\\Browser\\b.exe,0\r\n");
}

TEST_F(TypeCommandsTest, JsonSaysWhereEachValueComesFromAndWhatTarrowChanged) {
  // A type whose icons a handler decides, file by file.
  fake.registry.SetText(kLocalMachine, ClassPath(L".pic"), L"", L"picfile");
  fake.registry.SetText(kLocalMachine, ClassPath(L"picfile"), L"", L"Picture");
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"picfile"), L"", L"C:\\p.dll,0");
  fake.registry.SetText(kLocalMachine, ClassPath(L"picfile\\shellex\\IconHandler"), L"", L"{0}");
  ASSERT_EQ(Run({L"--set", L".txt", L"C:\\new.dll,3"}), 0);
  EXPECT_EQ(err.text, L"");
  out.text.clear();
  EXPECT_EQ(Run({L"--list", L"--json"}), 0);
  // The shell's own answer: as Wine's, which follows no user choice.
  EXPECT_EQ(
      out.text,
      L"[\n"
      L"  {\"extension\": \".txt\", \"progId\": \"txtfile\", \"description\": \"Text Document\", "
      L"\"location\": \"C:\\\\new.dll,3\", \"layer\": \"machine\", \"source\": \"default\", \"changed\": "
      L"true, \"iconHandler\": false, \"shellIcon\": \"C:\\\\new.dll,3\"},\n"
      L"  {\"extension\": \".htm\", \"progId\": \"Browser.Html\", \"description\": \"The \\\"Browser\\\" "
      L"\\\\ "
      L"page\", \"location\": \"C:\\\\Browser\\\\b.exe,0\", \"layer\": \"user\", \"source\": \"userChoice\", "
      L"\"changed\": false, \"iconHandler\": false, \"shellIcon\": \"C:\\\\h.dll,1\"},\n"
      L"  {\"extension\": \".pic\", \"progId\": \"picfile\", \"description\": \"Picture\", \"location\": "
      L"\"C:\\\\p.dll,0\", \"layer\": \"machine\", \"source\": \"default\", \"changed\": false, "
      L"\"iconHandler\": true, \"shellIcon\": \"C:\\\\p.dll,0\"}\n"
      L"]\n");

  // Set all the same, with a warning.
  out.text.clear();
  EXPECT_EQ(Run({L"--set", L".pic", L"C:\\p.dll,1"}), 0);
  EXPECT_EQ(out.text, L"Picture (.pic): C:\\p.dll,1 (for all users)\n");
  EXPECT_EQ(
      err.text,
      L"tarrow: Explorer will not show this type with its new icon:\n\nPicture (.pic): an icon handler draws "
      L"each file's own icon.\n");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"picfile")), L"C:\\p.dll,1");
}

TEST_F(TypeCommandsTest, SetRestoreAndExportWorkOnTheTypeTheExtensionShows) {
  EXPECT_EQ(Run({L"--set", L".htm", L"C:\\x.dll,2"}), 0);
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"Browser.Html")), L"C:\\x.dll,2");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"htmlfile")), L"C:\\h.dll,1");
  EXPECT_EQ(fake.shell.notifications, 1);

  EXPECT_EQ(Run({L"--export", L"C:\\Out\\icons.reg"}), 2) << "a folder that does not exist";
  fake.files.folders.insert(L"C:\\Out");
  out.text.clear();
  EXPECT_EQ(Run({L"--export", L"C:\\Out\\icons.reg"}), 0);
  EXPECT_EQ(out.text, L"1 value exported to C:\\Out\\icons.reg.\n");
  EXPECT_EQ(fake.files.files.count(L"C:\\Out\\icons.reg"), 1u);

  // What Tarrow changed, under the layer it lives in.
  std::string key;
  for (const wchar_t c : std::wstring(L"[HKEY_CURRENT_USER\\Software\\Classes\\Browser.Html\\DefaultIcon]"))
    key += {static_cast<char>(c), '\0'};
  EXPECT_NE(fake.files.files[L"C:\\Out\\icons.reg"].find(key), std::string::npos);

  EXPECT_EQ(Run({L".txt", L"--restore"}), 2);
  err.text.clear();
  EXPECT_EQ(Run({L"--restore", L".nope"}), 2);
  EXPECT_EQ(err.text, L"tarrow: .nope is not a file type Tarrow lists.\n") << Narrow(err.text);
  EXPECT_EQ(Run({L"--restore", L".HTM"}), 0);
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"Browser.Html")), L"C:\\Browser\\b.exe,0");
  EXPECT_EQ(Run({L"--set", L".nope", L"C:\\x.dll,2"}), 2);
}

}  // namespace
}  // namespace tarrow::cli
