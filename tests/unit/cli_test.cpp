#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/class_layer.h"
#include "changes/journal.h"
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
      {{L"--help"}, Action::Help, false},
      {{L"--version"}, Action::Version, false},
      {{L"--list"}, Action::List, false},
      {{L"--list", L"--json"}, Action::List, true},
      {{L"--json", L"--list"}, Action::List, true},
      {{L"--list", L"--all", L"--json"}, Action::List, true},
      {{L"--all", L"--list"}, Action::List, false},
      {{L"--restore"}, Action::Restore, false},
      {{L"/?"}, Action::Help, false},
      {{L"-h"}, Action::Help, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.args[0]) + " " + std::to_string(c.args.size()));
    const Parsed parsed = ParseArguments(c.args);
    EXPECT_TRUE(parsed.ok()) << Narrow(parsed.error);
    EXPECT_EQ(parsed.arguments.action, c.action);
    EXPECT_EQ(parsed.arguments.json, c.json);
    EXPECT_EQ(parsed.arguments.all, std::find(c.args.begin(), c.args.end(), L"--all") != c.args.end());
  }

  const Parsed set = ParseArguments({L"--set", L".txt", L"%SystemRoot%\\a.dll,-3"});
  ASSERT_TRUE(set.ok());
  EXPECT_EQ(set.arguments.action, Action::Set);
  EXPECT_EQ(set.arguments.extensions, std::vector<std::wstring>{L".txt"});
  EXPECT_EQ(set.arguments.location, L"%SystemRoot%\\a.dll,-3");
  const Parsed several = ParseArguments({L"--set", L".a", L".b", L".c", L"x.ico"});
  ASSERT_TRUE(several.ok());
  EXPECT_EQ(several.arguments.extensions, (std::vector<std::wstring>{L".a", L".b", L".c"}));
  EXPECT_EQ(several.arguments.location, L"x.ico");

  const Parsed restore = ParseArguments({L"--restore", L".txt", L".\u00e9t\u00e9"});
  ASSERT_TRUE(restore.ok());
  EXPECT_EQ(restore.arguments.extensions, (std::vector<std::wstring>{L".txt", L".\u00e9t\u00e9"}));

  const Parsed icons = ParseArguments({L"--icons", L"C:\\x y\\a.dll"});
  ASSERT_TRUE(icons.ok());
  EXPECT_EQ(icons.arguments.action, Action::Icons);
  EXPECT_EQ(icons.arguments.file, L"C:\\x y\\a.dll");
  const Parsed imported = ParseArguments({L"--import", L"C:\\in.reg"});
  EXPECT_EQ(imported.arguments.action, Action::Import);
  EXPECT_EQ(imported.arguments.file, L"C:\\in.reg");
  const Parsed checked = ParseArguments({L"--check", L"C:\\set.reg"});
  EXPECT_EQ(checked.arguments.action, Action::Check);
  EXPECT_EQ(checked.arguments.file, L"C:\\set.reg");
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
      {{L"/h"}, L"unknown command \"/h\""},
      {{L"-?"}, L"unknown command \"-?\""},
      {{L"/?", L"x"}, L"/? takes nothing more, not \"x\""},
      {{L"--LIST"}, L"unknown command \"--LIST\""},
      {{L"list"}, L"unknown command \"list\""},
      {{L""}, L"unknown command \"\""},
      {{L"--json"}, L"--json goes with --list only"},
      {{L"--version", L"--json"}, L"--json goes with --list only"},
      {{L"--list", L"--json", L"--json"}, L"--list takes nothing more, not \"--json\""},
      {{L"--all"}, L"--all goes with --list only"},
      {{L"--restore", L"--all"}, L"--all goes with --list only"},
      {{L"--help", L"x"}, L"--help takes nothing more, not \"x\""},
      {{L"--version", L"--help"}, L"--version takes nothing more, not \"--help\""},
      {{L"--set"}, L"--set needs one or more extensions and an icon location"},
      {{L"--set", L".txt"}, L"--set needs one or more extensions and an icon location"},
      {{L"--set", L".txt", L"a.dll", L"b"},
       L"\"a.dll\" is not an extension: it must start with a dot, as in .txt"},
      {{L"--set", L".a", L".b\\c", L"a.dll"},
       L"\".b\\c\" is not an extension: it holds a backslash or a control character"},
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
      {{L"--import"}, L"--import needs one file name"},
      {{L"--import", L"a.reg", L"b.reg"}, L"--import takes one file name only, not \"b.reg\""},
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
  EXPECT_EQ(out.text.rfind(L"Usage: tarrow [command]\n", 0), 0u);
  EXPECT_TRUE(out.text.ends_with(L"another Tarrow went on changing icons for a whole minute.\n"));
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
    fake.shell.iconFiles[L"c:\\new.dll"] = 4;
    fake.shell.iconFiles[L"c:\\x.dll"] = 3;
  }
  // A type of the machine layer whose class is `progId`.
  void AddType(const std::wstring& extension, const std::wstring& progId, const std::wstring& description,
               const std::wstring& location) {
    fake.registry.SetText(kLocalMachine, ClassPath(extension), L"", progId);
    fake.registry.SetText(kLocalMachine, ClassPath(progId), L"", description);
    fake.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", location);
  }
  std::string Bytes(const std::wstring& text) {
    std::string bytes;
    for (const wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
    return bytes;
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
  fake.shell.iconFiles[L"c:\\p.dll"] = 2;
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
      L"true, \"iconHandler\": false, \"hasIcon\": true, \"packaged\": false, \"shellIcon\": "
      L"\"C:\\\\new.dll,3\"},\n"
      L"  {\"extension\": \".htm\", \"progId\": \"Browser.Html\", \"description\": \"The \\\"Browser\\\" "
      L"\\\\ "
      L"page\", \"location\": \"C:\\\\Browser\\\\b.exe,0\", \"layer\": \"user\", \"source\": \"userChoice\", "
      L"\"changed\": false, \"iconHandler\": false, \"hasIcon\": true, \"packaged\": false, \"shellIcon\": "
      L"\"C:\\\\h.dll,1\"},\n"
      L"  {\"extension\": \".pic\", \"progId\": \"picfile\", \"description\": \"Picture\", \"location\": "
      L"\"C:\\\\p.dll,0\", \"layer\": \"machine\", \"source\": \"default\", \"changed\": false, "
      L"\"iconHandler\": true, \"hasIcon\": true, \"packaged\": false, \"shellIcon\": \"C:\\\\p.dll,0\"}\n"
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

// A class with a description but no icon of its own: listed only on
// request, given its first icon by --set, and left without one again by
// --restore, its created key gone.
TEST_F(TypeCommandsTest, AllListsTypesWithoutAnIconAndSetGivesThemTheirFirst) {
  fake.registry.SetText(kLocalMachine, ClassPath(L".bare"), L"", L"barefile");
  fake.registry.SetText(kLocalMachine, ClassPath(L"barefile"), L"", L"Bare Type");
  const std::wstring machineBefore = fake.registry.Dump(kLocalMachine);
  const std::wstring userBefore = fake.registry.Dump(kCurrentUser);
  EXPECT_EQ(Run({L"--list"}), 0);
  EXPECT_EQ(out.text.find(L".bare"), std::wstring::npos);
  out.text.clear();
  EXPECT_EQ(Run({L"--list", L"--all"}), 0);
  EXPECT_NE(out.text.find(L"\n.bare\tbarefile\tBare Type\t\n"), std::wstring::npos) << Narrow(out.text);
  // Not in the snapshot: a line cannot say that a type has no icon.
  EXPECT_EQ(fake.files.files[L"C:\\Tarrow\\Defaults.dat"].find("barefile"), std::string::npos);
  out.text.clear();
  EXPECT_EQ(Run({L"--list", L"--all", L"--json"}), 0);
  EXPECT_NE(out.text.find(L"{\"extension\": \".bare\", \"progId\": \"barefile\", \"description\": \"Bare "
                          L"Type\", \"location\": \"\", \"layer\": \"machine\", \"source\": \"default\", "
                          L"\"changed\": false, \"iconHandler\": false, \"hasIcon\": false"),
            std::wstring::npos)
      << Narrow(out.text);
  EXPECT_NE(out.text.find(L"\"hasIcon\": true"), std::wstring::npos);

  out.text.clear();
  EXPECT_EQ(Run({L"--set", L".bare", L"C:\\new.dll,3"}), 0);
  EXPECT_EQ(out.text, L"Bare Type (.bare): C:\\new.dll,3 (for all users)\n");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"barefile")), L"C:\\new.dll,3");
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, ClassPath(L"barefile")));
  out.text.clear();
  EXPECT_EQ(Run({L"--restore", L".bare"}), 0);
  EXPECT_EQ(out.text, L"1 icon restored.\n");
  EXPECT_FALSE(fake.registry.KeyExists(kLocalMachine, DefaultIconPath(L"barefile")));
  EXPECT_TRUE(fake.registry.KeyExists(kLocalMachine, ClassPath(L"barefile")));
  out.text.clear();
  EXPECT_EQ(Run({L"--restore"}), 0);
  EXPECT_EQ(out.text, L"0 icons restored.\n");
  // The machine record is kept beside the classes; the classes are as before.
  fake.registry.DeleteKey(kLocalMachine, kMachineRecordKey);
  EXPECT_EQ(fake.registry.Dump(kLocalMachine), machineBefore);
  EXPECT_EQ(fake.registry.Dump(kCurrentUser), userBefore);
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

// Each line is one type with four tab-separated fields, whatever its text
// holds: tab, CR and LF are escaped as \t, \r and \n, and nothing else, so
// that a path reads and pastes as a path.
TEST_F(TypeCommandsTest, ListEscapesTabsAndLineBreaksOnlyInEveryField) {
  // A class or extension name holds anything but a backslash, a description
  // or a location anything at all.
  const struct {
    const wchar_t* text;
    const wchar_t* field;
    bool name;
  } cases[] = {
      {L"plain", L"plain", true},
      {L"a\tb", L"a\\tb", true},
      {L"two\r\nlines", L"two\\r\\nlines", true},
      {L"\n", L"\\n", true},
      {L"back\\slash", L"back\\slash", false},
      {L"C:\\windows\\system32\\shell32.dll,15", L"C:\\windows\\system32\\shell32.dll,15", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.field));
    fake::FakeOs os;
    os.registry.CreateKey(kCurrentUser, kClassesKey);
    const std::wstring name = c.name ? c.text : L"n";
    const std::wstring nameField = c.name ? c.field : L"n";
    os.registry.SetText(kLocalMachine, ClassPath(L".e" + name), L"", L"p" + name);
    os.registry.SetText(kLocalMachine, ClassPath(L"p" + name), L"", c.text);
    os.registry.SetText(kLocalMachine, DefaultIconPath(L"p" + name), L"",
                        std::wstring(L"i") + c.text + L",1");
    StringSink listed, errors;
    CommandContext here{os.os, listed, errors, L"1.5.0.0", [] { return false; }};
    EXPECT_EQ(cli::Run(ParseArguments({L"--list"}).arguments, here), 0);
    EXPECT_EQ(listed.text,
              L".e" + nameField + L"\tp" + nameField + L"\t" + c.field + L"\ti" + c.field + L",1\n");
  }
}

TEST_F(TypeCommandsTest, SetRefusesALocationTheListWouldDropOrNoShellCanDraw) {
  fake.files.files[L"C:\\Pictures\\broken.gif"] = "not a picture";
  fake.files.files[L"C:\\Pictures\\cat.png"] = "cat";
  fake.shell.pictures["cat"] = RgbaImage{1, 1, {1, 2, 3, 4}};
  fake.shell.iconFiles[L"c:\\one.ico"] = 1;
  fake.shell.iconFiles[L"c:\\windows\\s.dll"] = 2;
  fake.shell.environment[L"SystemRoot"] = L"C:\\Windows";
  fake.files.files[L"C:\\Pictures\\notes.txt"] = "notes";
  fake.files.files[L"C:\\locked.dll"] = "MZ";
  fake.files.unreadable.insert(L"C:\\locked.dll");
  const struct {
    std::wstring location;
    const wchar_t* error;  // empty: taken
  } cases[] = {
      {L"%1",
       L"\"%1\" makes each file its own icon, so the type would have none to list; give a file and an icon "
       L"index, as in C:\\Icons\\set.dll,3"},
      {L"C:\\Pictures\\missing.png", L"C:\\Pictures\\missing.png cannot be read"},
      {L"C:\\Pictures\\broken.gif,0",
       L"C:\\Pictures\\broken.gif cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or "
       L"GIF file"},
      {L"C:\\Pictures\\cat.png,1",
       L"\"C:\\Pictures\\cat.png\" is a picture, which is one icon: give it without an index, or with 0"},
      {L"C:\\Pictures\\notes.txt",
       L"\"C:\\Pictures\\notes.txt\" holds no icons, or cannot be read: give a .dll, .exe or .ico file "
       L"that holds icons"},
      // Worded as --icons words them.
      {L"%SystemRoot%\\missing.dll,0", L"\"%SystemRoot%\\missing.dll\": there is no file by this name"},
      {L"C:\\locked.dll,0", L"\"C:\\locked.dll\": it cannot be read"},
      {L"C:\\x.dll,3", L"\"C:\\x.dll\" holds 3 icons, numbered from 0 to 2: there is no icon 3"},
      {L"C:\\one.ico,1", L"\"C:\\one.ico\" holds 1 icon, numbered 0: there is no icon 1"},
      {L"C:\\x.dll,-5", L"\"C:\\x.dll\" holds no icon with the resource id 5 (the index -5)"},
      {L"C:\\x.dll,1\r\nC:\\x.dll,2", L"the icon location holds a line break or another control character"},
      {L",2", L"the icon location names no file"},
      {L"C:\\x.dll,2", L""},
      {L"C:\\x.dll,-1", L""},
      {L"C:\\one.ico", L""},
      {L"%SystemRoot%\\s.dll,1", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.location));
    out.text.clear();
    err.text.clear();
    const std::size_t writes = fake.registry.writes.size();
    const int code = Run({L"--set", L".txt", c.location});
    if (*c.error == L'\0') {
      EXPECT_EQ(code, 0) << Narrow(err.text);
      EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), c.location);
      continue;
    }
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err.text, L"tarrow: " + std::wstring(c.error) + L".\n");
    EXPECT_EQ(out.text, L"");
    EXPECT_EQ(fake.registry.writes.size(), writes);
  }
  EXPECT_EQ(fake.shell.liveIcons(), 0) << "the icon drawn to check a resource id is released";
}

TEST_F(TypeCommandsTest, SetGivesAPictureAsTheIconMadeOfItAndRestoreTakesItsFileAway) {
  fake.files.files[L"C:\\Pictures\\cat.png"] = "cat";
  fake.shell.pictures["cat"] = RgbaImage{1, 1, {1, 2, 3, 4}};
  const std::wstring icon =
      L"C:\\ProgramData\\Tarrow\\Icons\\"
      L"77af778b51abd4a3c51c5ddd97204a9c3ae614ebccb75a606c3b6865aed6744e.ico";
  ASSERT_EQ(Run({L"--set", L".txt", L"C:\\Pictures\\cat.png"}), 0) << Narrow(err.text);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), icon + L",0");
  EXPECT_EQ(out.text,
            L"Text Document (.txt): C:\\Pictures\\cat.png, stored as " + icon + L",0 (for all users)\n");
  EXPECT_EQ(fake.files.files.count(icon), 1u);
  ASSERT_EQ(Run({L"--restore", L".txt"}), 0) << Narrow(err.text);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"%SystemRoot%\\t.dll,-102");
  EXPECT_EQ(fake.files.files.count(icon), 0u);
}

// A class name can hold anything but a backslash: one holding a line break
// and "[...]" would add lines of its own to a .reg file.
TEST_F(TypeCommandsTest, ExportLeavesOutAndNamesAClassNameAFileCannotCarry) {
  const std::wstring hostile = L"x]\r\n[HKEY_CURRENT_USER]\r\n\"Planted\"=\"1\"";
  AddType(L".evil", hostile, L"Evil", L"C:\\h.dll,1");
  fake.files.folders.insert(L"C:\\Out");
  ASSERT_EQ(Run({L"--set", L".evil", L"C:\\x.dll,1"}), 0) << Narrow(err.text);
  ASSERT_EQ(Run({L"--set", L".txt", L"C:\\x.dll,2"}), 0) << Narrow(err.text);
  out.text.clear();
  EXPECT_EQ(Run({L"--export", L"C:\\Out\\icons.reg"}), 1);
  EXPECT_EQ(err.text,
            L"tarrow: the icon of \"x]\\r\\n[HKEY_CURRENT_USER]\\r\\n\"Planted\"=\"1\"\" was left out: its "
            L"key name "
            L"holds a line break or another control character, which a .reg file cannot carry.\n");
  EXPECT_EQ(out.text, L"1 value exported to C:\\Out\\icons.reg.\n");
  EXPECT_EQ(fake.files.files[L"C:\\Out\\icons.reg"],
            Bytes(L"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                  L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\txtfile\\DefaultIcon]\r\n"
                  L"@=\"C:\\\\x.dll,2\"\r\n\r\n"));
}

TEST_F(TypeCommandsTest, ExportWithNothingToExportSaysSoAndWritesNoFile) {
  fake.files.folders.insert(L"C:\\Out");
  EXPECT_EQ(Run({L"--export", L"C:\\Out\\icons.reg"}), 0);
  EXPECT_EQ(out.text,
            L"Nothing to export: Tarrow has changed no icon, so C:\\Out\\icons.reg was not written.\n");
  EXPECT_EQ(err.text, L"");
  EXPECT_EQ(fake.files.files.count(L"C:\\Out\\icons.reg"), 0u);

  AddType(L".evil", L"a\nb", L"Evil", L"C:\\h.dll,1");
  ASSERT_EQ(Run({L"--set", L".evil", L"C:\\x.dll,1"}), 0) << Narrow(err.text);
  out.text.clear();
  err.text.clear();
  EXPECT_EQ(Run({L"--export", L"C:\\Out\\icons.reg"}), 1);
  EXPECT_EQ(out.text,
            L"Nothing to export: every value was left out, so C:\\Out\\icons.reg was not written.\n");
  EXPECT_EQ(fake.files.files.count(L"C:\\Out\\icons.reg"), 0u);
}

TEST_F(TypeCommandsTest, RestoreFailsWhenARecordCannotBeUsedAndTakesAnEmptyDefaultsDatAsNoTypes) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    std::string defaults;
    int exitCode;
  } cases[] = {
      {bom, 0},
      {"", 0},
      {bom + "txtfile,%SystemRoot%\\t.dll,-102\r\n", 0},
      {bom + "garbage\r\n", 1},
      {bom + "txtfile,%SystemRoot%\\t.dll,-102\r\ncut,C:\\", 1},
      {bom + "\r\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.defaults);
    fake.files.files[L"C:\\Tarrow\\Defaults.dat"] = c.defaults;
    err.text.clear();
    EXPECT_EQ(Run({L"--restore"}), c.exitCode);
    EXPECT_EQ(err.text.find(L"damaged") != std::wstring::npos, c.exitCode == 1) << Narrow(err.text);
  }
}

TEST_F(TypeCommandsTest, AProgramChosenByItsFileIsListedAndRecorded) {
  // "Open with", then a program browsed to: the choice names the program's
  // class, which has a command and no name or icon of its own.
  fake.registry.SetText(kCurrentUser, ClassPath(L"Applications\\notepad++.exe\\shell\\open\\command"), L"",
                        L"\"C:\\Tools\\Notepad++\\notepad++.exe\" \"%1\"");
  fake.registry.SetText(kCurrentUser,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.txt\\UserChoice",
                        L"ProgId", L"Applications\\notepad++.exe");
  EXPECT_EQ(Run({L"--list"}), 0);
  EXPECT_EQ(out.text,
            L".txt\tApplications\\notepad++.exe\tText Document\tC:\\Tools\\Notepad++\\notepad++.exe,0\n"
            L".htm\tBrowser.Html\tThe \"Browser\" \\ page\tC:\\Browser\\b.exe,0\n");
  EXPECT_EQ(fake.files.files[L"C:\\Tarrow\\Defaults.dat"],
            "\xEF\xBB\xBF"
            "Applications\\notepad++.exe,C:\\Tools\\Notepad++\\notepad++.exe,0\r\n"
            "Browser.Html,C:\\Browser\\b.exe,0\r\n");

  // Its icon goes into the user's own program class, and comes out again.
  const std::wstring icon = ClassPath(L"Applications\\notepad++.exe\\DefaultIcon");
  const std::wstring before = fake.registry.Dump(kCurrentUser);
  out.text.clear();
  EXPECT_EQ(Run({L"--set", L".txt", L"C:\\new.dll,2"}), 0) << Narrow(err.text);
  EXPECT_EQ(fake.registry.Text(kCurrentUser, icon), L"C:\\new.dll,2");
  EXPECT_FALSE(fake.registry.KeyExists(kLocalMachine, ClassPath(L"Applications"))) << "never the machine's";
  EXPECT_EQ(Run({L"--restore", L".txt"}), 0) << Narrow(err.text);
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, icon)) << "the key Tarrow created is gone";
  EXPECT_EQ(fake.registry.Dump(kCurrentUser), before);
}

TEST_F(TypeCommandsTest, SetGivesEachTypeNamedTheLocationAndReportsEachOneThatFailed) {
  fake.shell.iconFiles[L"c:\\x.dll"] = 3;
  fake.shell.iconFiles[L"c:\\y.dll"] = 3;
  EXPECT_EQ(Run({L"--set", L".txt", L".nope", L".zip", L"C:\\x.dll,2"}), 2);
  EXPECT_EQ(
      err.text,
      L"tarrow: .nope is not a file type Tarrow lists.\ntarrow: .zip is not a file type Tarrow lists.\n");
  EXPECT_TRUE(fake.registry.writes.empty()) << "a mistyped extension stops the command before any write";

  err.text.clear();
  EXPECT_EQ(Run({L"--set", L".txt", L".htm", L"C:\\x.dll,2"}), 0);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\x.dll,2");
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"Browser.Html")), L"C:\\x.dll,2");
  EXPECT_EQ(out.text,
            L"Text Document (.txt): C:\\x.dll,2 (for all users)\n"
            L"The \"Browser\" \\ page (.htm): C:\\x.dll,2 (for this user only)\n");

  // One type that cannot be written does not keep the next from its icon.
  out.text.clear();
  fake.registry.SetReadOnly(kCurrentUser, DefaultIconPath(L"Browser.Html"));
  EXPECT_EQ(Run({L"--set", L".htm", L".txt", L"C:\\y.dll,1"}), 1);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\y.dll,1");
  EXPECT_EQ(out.text, L"Text Document (.txt): C:\\y.dll,1 (for all users)\n");
  EXPECT_NE(err.text.find(L"Browser"), std::wstring::npos) << Narrow(err.text);
}

TEST_F(TypeCommandsTest, ImportAppliesTheIconsAFileSetsOrNamesTheLineThatStopsIt) {
  auto unicode = [](const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
  };
  EXPECT_EQ(Run({L"--import", L"C:\\missing.reg"}), 1);
  EXPECT_EQ(err.text, L"tarrow: C:\\missing.reg cannot be read; nothing was imported.\n");

  err.text.clear();
  fake.files.files[L"C:\\bad.reg"] = unicode(
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\k\\DefaultIcon]\r\n@=\"a\"\r\n"
      u"[HKEY_CLASSES_ROOT\\k\\shell\\open\\command]\r\n@=\"evil.exe\"\r\n");
  EXPECT_EQ(Run({L"--import", L"C:\\bad.reg"}), 2);
  EXPECT_EQ(
      err.text,
      L"tarrow: C:\\bad.reg, line 5: the key \"HKEY_CLASSES_ROOT\\k\\shell\\open\\command\" is not a file "
      L"type's icon key (...\\Software\\Classes\\TYPE\\DefaultIcon). Nothing was imported.\n");
  EXPECT_EQ(out.text, L"");

  err.text.clear();
  fake.files.files[L"C:\\good.reg"] = unicode(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Classes\\txtfile\\DefaultIcon]\r\n@=\"C:\\\\a.dll,3\"\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Classes\\b\\DefaultIcon]\r\n@=\"b.ico\"\r\n"
      u"[HKEY_CLASSES_ROOT\\c\\DefaultIcon]\r\n@=\"c.ico\"\r\n");
  // Where the change takes effect, whatever layer the file names: txtfile is
  // the machine's, and Tarrow runs as an administrator.
  EXPECT_EQ(Run({L"--import", L"C:\\good.reg"}), 0) << Narrow(err.text);
  EXPECT_EQ(out.text, L"txtfile: C:\\a.dll,3 (for all users)\n");
  EXPECT_EQ(err.text, L"tarrow: passed over, as this computer has no such file type: b and c.\n");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\a.dll,3");
  EXPECT_FALSE(fake.registry.KeyExists(kCurrentUser, ClassPath(L"txtfile")));
  EXPECT_FALSE(fake.registry.KeyExists(kLocalMachine, ClassPath(L"b")));

  // Restore takes an import back like any change.
  EXPECT_EQ(Run({L"--restore"}), 0) << Narrow(err.text);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"%SystemRoot%\\t.dll,-102");
  EXPECT_EQ(fake.registry.Find(kLocalMachine, DefaultIconPath(L"txtfile"), L"")->type, kRegExpandSz);
}

TEST_F(TypeCommandsTest, CheckNamesEachIconOfASetThatExplorerShowsOtherwiseAndImportPutsThemInPlace) {
  fake.shell.environment[L"SystemRoot"] = L"C:\\Windows";
  // Browser.Html in both layers: the user's icon is the one Explorer shows.
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"Browser.Html"), L"", L"C:\\set.ico");
  fake.registry.SetText(kLocalMachine, ClassPath(L"bare"), L"", L"Bare class");
  const auto regFile = [&](const std::wstring& body) {
    return "\xFF\xFE" + Bytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + body);
  };
  fake.files.files[L"C:\\set.reg"] = regFile(
      // In place, as Windows compares file names.
      L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\txtfile\\DefaultIcon]\r\n@=\"%systemroot%\\\\T.dll,-102\"\r\n"
      L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\htmlfile\\DefaultIcon]\r\n@=\"C:\\\\h.dll,2\"\r\n"
      L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\Browser.Html\\DefaultIcon]\r\n@=\"C:\\\\set.ico\"\r\n"
      L"[HKEY_CLASSES_ROOT\\bare\\DefaultIcon]\r\n@=\"C:\\\\b.ico\"\r\n"
      L"[HKEY_CLASSES_ROOT\\gone\\DefaultIcon]\r\n@=\"C:\\\\g.ico\"\r\n");
  const std::size_t writes = fake.registry.writes.size();
  EXPECT_EQ(Run({L"--check", L"C:\\set.reg"}), 1);
  EXPECT_EQ(out.text,
            L"htmlfile: C:\\h.dll,1 (for all users), not C:\\h.dll,2\n"
            L"Browser.Html: C:\\Browser\\b.exe,0 (for this user only), not C:\\set.ico\n"
            L"bare: no icon of its own, not C:\\b.ico\n"
            L"3 of 4 icons of C:\\set.reg differ; --import puts them in place.\n");
  // A class this computer lacks is passed over, as --import passes it over.
  EXPECT_EQ(err.text, L"tarrow: passed over, as this computer has no such file type: gone.\n");
  EXPECT_EQ(fake.registry.writes.size(), writes);

  EXPECT_EQ(Run({L"--import", L"C:\\set.reg"}), 0) << Narrow(err.text);
  out.text.clear();
  err.text.clear();
  EXPECT_EQ(Run({L"--check", L"C:\\set.reg"}), 0) << Narrow(out.text);
  EXPECT_EQ(out.text, L"All 4 icons of C:\\set.reg are in place.\n");

  out.text.clear();
  err.text.clear();
  fake.files.files[L"C:\\bad.reg"] =
      regFile(L"[HKEY_CLASSES_ROOT\\txtfile\\DefaultIcon]\r\n@=\"a.ico\"\r\n\"Other\"=\"b\"\r\n");
  EXPECT_EQ(Run({L"--check", L"C:\\bad.reg"}), 2);
  EXPECT_EQ(out.text, L"");
  EXPECT_NE(err.text.find(L"tarrow: C:\\bad.reg, line 5: "), std::wstring::npos) << Narrow(err.text);
  EXPECT_TRUE(err.text.ends_with(L". Nothing was checked.\n")) << Narrow(err.text);

  err.text.clear();
  EXPECT_EQ(Run({L"--check", L"C:\\missing.reg"}), 1);
  EXPECT_EQ(err.text, L"tarrow: C:\\missing.reg cannot be read; nothing was checked.\n");
  EXPECT_EQ(out.text, L"");
}

}  // namespace
}  // namespace tarrow::cli
