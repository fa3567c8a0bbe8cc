#include "catalog/resolver.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

#include "fake_os.h"

namespace tarrow {
namespace {

const std::wstring kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return out;
}

// Counts the keys opened below each root, to see which layers were read.
class CountingRegistry : public fake::FakeRegistry {
 public:
  std::map<RegKey, int> opens;
  Status OpenKey(RegKey root, const std::wstring& path, RegAccess access, RegKey& key) override {
    ++opens[root];
    return FakeRegistry::OpenKey(root, path, access, key);
  }
};

struct Fixture {
  CountingRegistry reg;
  fake::FakeShell shell;
  TypeResolver resolver{reg, shell};

  void Machine(const std::wstring& path, const std::wstring& text, std::uint32_t type = kRegSz) {
    reg.SetText(kLocalMachine, ClassPath(path), L"", text, type);
  }
  void User(const std::wstring& path, const std::wstring& text, std::uint32_t type = kRegSz) {
    reg.SetText(kCurrentUser, ClassPath(path), L"", text, type);
  }
  void MachineKey(const std::wstring& path) { reg.CreateKey(kLocalMachine, ClassPath(path)); }
  void UserKey(const std::wstring& path) { reg.CreateKey(kCurrentUser, ClassPath(path)); }
  // Explorer's record of a default app the user picked; `where` is
  // UserChoice or UserChoiceLatest.
  void Choice(const std::wstring& extension, const std::wstring& where, const std::wstring& progId) {
    reg.SetText(kCurrentUser, kFileExts + extension + L"\\" + where, L"ProgId", progId);
  }
  // The shipped .txt association: extension, ProgID, description, icon.
  void TextType() {
    Machine(L".txt", L"txtfile");
    Machine(L"txtfile", L"Text Document");
    Machine(L"txtfile\\DefaultIcon", L"%SystemRoot%\\system32\\imageres.dll,-102", kRegExpandSz);
  }
  void Program(const std::wstring& progId, const std::wstring& description) { Machine(progId, description); }
};

struct ResolveCase {
  const char* name;
  std::function<void(Fixture&)> setUp;
  const wchar_t* progId;
  ProgIdSource source;
  const wchar_t* description;
};

const char* SourceName(ProgIdSource source) {
  switch (source) {
    case ProgIdSource::Default:
      return "Default";
    case ProgIdSource::UserChoice:
      return "UserChoice";
    case ProgIdSource::CurVer:
      return "CurVer";
    case ProgIdSource::System:
      return "System";
  }
  return "?";
}

// A CurVer chain P0 -> P1 -> ... -> P<last>.
void Chain(Fixture& f, int last) {
  for (int i = 0; i <= last; ++i) {
    const std::wstring progId = L"P" + std::to_wstring(i);
    f.Program(progId, L"Version " + std::to_wstring(i));
    if (i < last) f.Machine(progId + L"\\CurVer", L"P" + std::to_wstring(i + 1));
  }
  f.Machine(L".txt", L"P0");
}

TEST(TypeResolverTest, FindsTheProgIdExplorerUses) {
  const ResolveCase cases[] = {
      {"no user choice: the extension's default value names the ProgID", [](Fixture& f) { f.TextType(); },
       L"txtfile", ProgIdSource::Default, L"Text Document"},
      {"user picked Notepad++ for .txt (Open with, Always)",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Notepad++_file", L"Notepad++ Document");
         f.Choice(L".txt", L"UserChoice", L"Notepad++_file");
       },
       L"Notepad++_file", ProgIdSource::UserChoice, L"Notepad++ Document"},
      {"user picked an app since uninstalled: its ProgID is gone, the default stands",
       [](Fixture& f) {
         f.TextType();
         f.Choice(L".txt", L"UserChoice", L"Uninstalled.txt");
       },
       L"txtfile", ProgIdSource::Default, L"Text Document"},
      {"newest builds keep the choice in UserChoiceLatest and an older one in UserChoice",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Old.Editor", L"Old");
         f.Program(L"New.Editor", L"New");
         f.Choice(L".txt", L"UserChoice", L"Old.Editor");
         f.Choice(L".txt", L"UserChoiceLatest", L"New.Editor");
       },
       L"New.Editor", ProgIdSource::UserChoice, L"New"},
      {"UserChoiceLatest names a removed ProgID: UserChoice's still counts",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Old.Editor", L"Old");
         f.Choice(L".txt", L"UserChoice", L"Old.Editor");
         f.Choice(L".txt", L"UserChoiceLatest", L"Removed.Editor");
       },
       L"Old.Editor", ProgIdSource::UserChoice, L"Old"},
      {"per-user install registers its ProgID under HKCU only, and the user picks it",
       [](Fixture& f) {
         f.TextType();
         f.User(L"Portable.Editor", L"Portable");
         f.Choice(L".txt", L"UserChoice", L"Portable.Editor");
       },
       L"Portable.Editor", ProgIdSource::UserChoice, L"Portable"},
      {"choice recorded under another spelling of the extension",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Notepad++_file", L"Notepad++ Document");
         f.Choice(L".TXT", L"UserChoice", L"notepad++_FILE");
       },
       L"notepad++_FILE", ProgIdSource::UserChoice, L"Notepad++ Document"},
      {"per-user extension default overrides the machine's",
       [](Fixture& f) {
         f.TextType();
         f.User(L".txt", L"Mine.Text");
         f.User(L"Mine.Text", L"My Text");
       },
       L"Mine.Text", ProgIdSource::Default, L"My Text"},
      {"per-user description of a machine ProgID wins",
       [](Fixture& f) {
         f.TextType();
         f.User(L"txtfile", L"Plain Text");
       },
       L"txtfile", ProgIdSource::Default, L"Plain Text"},
      {"versioned ProgID: Word.Document hands over to Word.Document.12",
       [](Fixture& f) {
         f.Machine(L".doc", L"Word.Document");
         f.Program(L"Word.Document", L"Word (any version)");
         f.Machine(L"Word.Document\\CurVer", L"Word.Document.12");
         f.Program(L"Word.Document.12", L"Word 2007 Document");
       },
       L"Word.Document.12", ProgIdSource::CurVer, L"Word 2007 Document"},
      {"CurVer names a version that is not installed",
       [](Fixture& f) {
         f.Machine(L".doc", L"Word.Document");
         f.Program(L"Word.Document", L"Word (any version)");
         f.Machine(L"Word.Document\\CurVer", L"Word.Document.16");
       },
       L"Word.Document", ProgIdSource::Default, L"Word (any version)"},
      {"CurVer of the user's choice is followed too",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Editor", L"Editor");
         f.Machine(L"Editor\\CurVer", L"Editor.2");
         f.Program(L"Editor.2", L"Editor 2");
         f.Choice(L".txt", L"UserChoice", L"Editor");
       },
       L"Editor.2", ProgIdSource::CurVer, L"Editor 2"},
      {"a per-user install's ProgID hands over to its per-user versioned ProgID",
       [](Fixture& f) {
         f.User(L".txt", L"Portable.Editor");
         f.User(L"Portable.Editor", L"Portable");
         f.User(L"Portable.Editor\\CurVer", L"Portable.Editor.2");
         f.User(L"Portable.Editor.2", L"Portable 2");
       },
       L"Portable.Editor.2", ProgIdSource::CurVer, L"Portable 2"},
      {"CurVer loop A -> B -> A stops at B",
       [](Fixture& f) {
         f.Machine(L".txt", L"A");
         f.Program(L"A", L"Alpha");
         f.Machine(L"A\\CurVer", L"B");
         f.Program(L"B", L"Beta");
         f.Machine(L"B\\CurVer", L"a");
       },
       L"B", ProgIdSource::CurVer, L"Beta"},
      {"CurVer naming its own ProgID is no hand-over",
       [](Fixture& f) {
         f.Machine(L".txt", L"A");
         f.Program(L"A", L"Alpha");
         f.Machine(L"A\\CurVer", L"A");
       },
       L"A", ProgIdSource::Default, L"Alpha"},
      {"CurVer chain of ten hand-overs stops after eight", [](Fixture& f) { Chain(f, 10); }, L"P8",
       ProgIdSource::CurVer, L"Version 8"},
      {"the system checks the choice's hash, finds it forged and answers the default",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Forged.Editor", L"Forged");
         f.Choice(L".txt", L"UserChoice", L"Forged.Editor");
         f.shell.associations[L".txt"] = L"txtfile";
       },
       L"txtfile", ProgIdSource::Default, L"Text Document"},
      {"the system confirms the user's choice",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Notepad++_file", L"Notepad++ Document");
         f.Choice(L".txt", L"UserChoice", L"Notepad++_file");
         f.shell.associations[L".txt"] = L"Notepad++_file";
       },
       L"Notepad++_file", ProgIdSource::UserChoice, L"Notepad++ Document"},
      {"the system answers the target of the default's CurVer",
       [](Fixture& f) {
         f.Machine(L".doc", L"Word.Document");
         f.Program(L"Word.Document", L"Word (any version)");
         f.Machine(L"Word.Document\\CurVer", L"Word.Document.12");
         f.Program(L"Word.Document.12", L"Word 2007 Document");
         f.Program(L"Forged.Editor", L"Forged");
         f.Choice(L".doc", L"UserChoice", L"Forged.Editor");
         f.shell.associations[L".doc"] = L"Word.Document.12";
       },
       L"Word.Document.12", ProgIdSource::CurVer, L"Word 2007 Document"},
      {"the system answers a ProgID no registry reading reached",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"AppX4ztfk9wxr86nxmzzq47px0nh0e58b8fw", L"Text Document (Store app)");
         f.shell.associations[L".txt"] = L"AppX4ztfk9wxr86nxmzzq47px0nh0e58b8fw";
       },
       L"AppX4ztfk9wxr86nxmzzq47px0nh0e58b8fw", ProgIdSource::System, L"Text Document (Store app)"},
      {"the system names a ProgID with no class key: the registry reading stands",
       [](Fixture& f) {
         f.TextType();
         f.Program(L"Notepad++_file", L"Notepad++ Document");
         f.Choice(L".txt", L"UserChoice", L"Notepad++_file");
         f.shell.associations[L".txt"] = L"Missing.Class";
       },
       L"Notepad++_file", ProgIdSource::UserChoice, L"Notepad++ Document"},
      {"no default value and no choice: no ProgID",
       [](Fixture& f) { f.MachineKey(L".txt\\OpenWithProgids"); }, L"", ProgIdSource::Default, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.setUp(f);
    const std::wstring extension = f.reg.KeyExists(kLocalMachine, ClassPath(L".doc")) ? L".doc" : L".txt";
    const ResolvedType type = f.resolver.Resolve(extension);
    EXPECT_EQ(type.extension, extension);
    EXPECT_EQ(Narrow(type.progId), Narrow(c.progId));
    EXPECT_STREQ(SourceName(type.source), SourceName(c.source));
    EXPECT_EQ(Narrow(type.description), Narrow(c.description));
    EXPECT_EQ(f.reg.openHandles(), 0);
  }
}

TEST(TypeResolverTest, IconValueComesFromTheLayerThatHoldsIt) {
  {
    SCOPED_TRACE("REG_EXPAND_SZ in the per-user layer: its type and layer, leading blanks gone");
    Fixture f;
    f.TextType();
    f.User(L"txtfile\\DefaultIcon", L"  %LocalAppData%\\icons\\text.ico", kRegExpandSz);
    const auto icon = f.resolver.Resolve(L".txt").defaultIcon;
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(Narrow(icon->text), "%LocalAppData%\\icons\\text.ico");
    EXPECT_EQ(icon->type, kRegExpandSz);
    EXPECT_EQ(icon->layer, ClassLayer::User);
  }
  {
    SCOPED_TRACE("HKCU DefaultIcon key without a default value falls through to HKLM's value");
    Fixture f;
    f.TextType();
    f.reg.SetText(kCurrentUser, ClassPath(L"txtfile\\DefaultIcon"), L"Other", L"x.ico");
    const auto icon = f.resolver.Resolve(L".txt").defaultIcon;
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(Narrow(icon->text), "%SystemRoot%\\system32\\imageres.dll,-102");
    EXPECT_EQ(icon->type, kRegExpandSz);
    EXPECT_EQ(icon->layer, ClassLayer::Machine);
  }
  {
    SCOPED_TRACE("a per-user REG_SZ icon hides the machine's REG_EXPAND_SZ one");
    Fixture f;
    f.TextType();
    f.User(L"txtfile\\DefaultIcon", L"C:\\icons\\text.ico,0");
    const auto icon = f.resolver.Resolve(L".txt").defaultIcon;
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(Narrow(icon->text), "C:\\icons\\text.ico,0");
    EXPECT_EQ(icon->type, kRegSz);
    EXPECT_EQ(icon->layer, ClassLayer::User);
  }
  {
    SCOPED_TRACE(
        "a per-user number where the icon should be hides the machine's icon, as in the merged view");
    Fixture f;
    f.TextType();
    f.reg.SetRaw(kCurrentUser, ClassPath(L"txtfile\\DefaultIcon"), L"", kRegDword, {1, 0, 0, 0});
    EXPECT_FALSE(f.resolver.Resolve(L".txt").defaultIcon.has_value());
  }
}

TEST(TypeResolverTest, MergedTextReadsAsTheRegistryProcedureGivesIt) {
  auto bytes = [](const std::wstring& text) {
    std::vector<unsigned char> raw(text.size() * sizeof(wchar_t));
    std::memcpy(raw.data(), text.data(), raw.size());
    return raw;
  };
  const struct {
    const char* name;
    std::uint32_t type;
    std::wstring stored;
    std::wstring expected;
  } cases[] = {
      {"stored without a terminator", kRegSz, L"a.dll,1", L"a.dll,1"},
      {"two terminators: only one goes", kRegSz, std::wstring(L"a.dll,1\0\0", 9),
       std::wstring(L"a.dll,1\0", 8)},
      {"expandable: leading blanks go, trailing stay", kRegExpandSz, std::wstring(L"  a.dll,1 \0", 11),
       L"a.dll,1 "},
      {"plain text keeps its blanks", kRegSz, std::wstring(L" a.dll,1\0", 9), L" a.dll,1"},
      {"empty", kRegSz, std::wstring(L"\0", 1), L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.reg.SetRaw(kCurrentUser, ClassPath(L"k"), L"", c.type, bytes(c.stored));
    const auto value = f.resolver.ReadMerged(L"k");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->text, c.expected);
    EXPECT_EQ(value->type, c.type);
  }
}

TEST(TypeResolverTest, IconsDecidedPerFile) {
  const struct {
    const char* name;
    std::function<void(Fixture&)> setUp;
    bool iconHandler;
  } cases[] = {
      {"a plain icon location", [](Fixture&) {}, false},
      {"executables: each file is its own icon (DefaultIcon %1)",
       [](Fixture& f) { f.Machine(L"txtfile\\DefaultIcon", L"%1"); }, true},
      {"an app installed per user adds an icon handler under HKCU",
       [](Fixture& f) { f.UserKey(L"txtfile\\shellex\\IconHandler"); }, true},
      {"a machine-wide icon handler", [](Fixture& f) { f.MachineKey(L"txtfile\\shellex\\IconHandler"); },
       true},
      {"a per-user icon location hides the machine's %1",
       [](Fixture& f) {
         f.Machine(L"txtfile\\DefaultIcon", L"%1");
         f.User(L"txtfile\\DefaultIcon", L"C:\\icons\\text.ico");
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.TextType();
    c.setUp(f);
    EXPECT_EQ(f.resolver.Resolve(L".txt").iconHandler, c.iconHandler);
  }
}

// "Open with", then a program browsed to, makes the user's choice
// Applications\<program>. Microsoft's "Application Registration" gives such a
// class a DefaultIcon only to show "instead of the first icon stored in the
// .exe file", and FriendlyAppName as the program's name; the class names no
// file type, so Explorer's Type column goes on to the extension's own class.
TEST(TypeResolverTest, AProgramChosenByItsFileKeepsItsTypesNameAndShowsTheProgramsIcon) {
  const std::wstring program = L"Applications\\notepad++.exe";
  const std::wstring command = program + L"\\shell\\open\\command";
  const struct {
    const char* name;
    const wchar_t* extension;
    std::function<void(Fixture&)> setUp;
    const wchar_t* description;
    const wchar_t* icon;  // empty: none
    ClassLayer layer;
    bool programIcon;
  } cases[] = {
      {"no DefaultIcon: the program's first icon; the extension's class names the type", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.User(command, L"\"C:\\Program Files\\Notepad++\\notepad++.exe\" \"%1\"");
       },
       L"Text Document", L"C:\\Program Files\\Notepad++\\notepad++.exe,0", ClassLayer::User, true},
      {"the program's DefaultIcon is shown instead", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.User(command, L"\"C:\\np\\notepad++.exe\" \"%1\"");
         f.User(program + L"\\DefaultIcon", L"C:\\icons\\np.ico");
       },
       L"Text Document", L"C:\\icons\\np.ico", ClassLayer::User, false},
      {"an unquoted path with blanks ends at the program's file name", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.User(command, L"C:\\Program Files\\My Notepad++.exe\\notepad++.EXE %1");
       },
       L"Text Document", L"C:\\Program Files\\My Notepad++.exe\\notepad++.EXE,0", ClassLayer::User, true},
      {"an unquoted command naming another file ends at its first blank", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.User(command, L"  C:\\np\\np.exe %1");
       },
       L"Text Document", L"C:\\np\\np.exe,0", ClassLayer::User, true},
      {"installed for all users, an expandable command", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.Machine(command, L"\"%ProgramFiles%\\np\\notepad++.exe\" \"%1\"", kRegExpandSz);
       },
       L"Text Document", L"%ProgramFiles%\\np\\notepad++.exe,0", ClassLayer::Machine, true},
      {"the extension's class hands over by CurVer: its target names the type", L".txt",
       [&](Fixture& f) {
         Chain(f, 1);
         f.User(command, L"\"C:\\np\\notepad++.exe\"");
       },
       L"Version 1", L"C:\\np\\notepad++.exe,0", ClassLayer::User, true},
      {"no class for the extension: the program's FriendlyAppName", L".log",
       [&](Fixture& f) {
         f.User(command, L"\"C:\\np\\notepad++.exe\" \"%1\"");
         f.reg.SetText(kCurrentUser, ClassPath(program), L"FriendlyAppName", L"Notepad++ editor");
       },
       L"Notepad++ editor", L"C:\\np\\notepad++.exe,0", ClassLayer::User, true},
      {"an indirect FriendlyAppName (@file,-id) is not read: the program's file name", L".log",
       [&](Fixture& f) {
         f.User(command, L"\"C:\\np\\notepad++.exe\" \"%1\"");
         f.reg.SetText(kCurrentUser, ClassPath(program), L"FriendlyAppName", L"@C:\\np\\np.dll,-3");
       },
       L"notepad++.exe", L"C:\\np\\notepad++.exe,0", ClassLayer::User, true},
      {"no command and no DefaultIcon: no icon to show", L".txt",
       [&](Fixture& f) {
         f.TextType();
         f.UserKey(program + L"\\shell\\open");
       },
       L"Text Document", L"", ClassLayer::User, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.setUp(f);
    f.Choice(c.extension, L"UserChoice", program);
    const ResolvedType type = f.resolver.Resolve(c.extension);
    EXPECT_EQ(Narrow(type.progId), Narrow(program));
    EXPECT_STREQ(SourceName(type.source), "UserChoice");
    EXPECT_EQ(Narrow(type.description), Narrow(c.description));
    EXPECT_EQ(type.programIcon, c.programIcon);
    EXPECT_FALSE(type.iconHandler);
    if (*c.icon == L'\0') {
      EXPECT_FALSE(type.defaultIcon.has_value());
      continue;
    }
    ASSERT_TRUE(type.defaultIcon.has_value());
    EXPECT_EQ(Narrow(type.defaultIcon->text), Narrow(c.icon));
    EXPECT_EQ(type.defaultIcon->layer, c.layer);
    EXPECT_EQ(f.reg.openHandles(), 0);
  }
}

TEST(TypeResolverTest, OnlyApplicationsAndOneFileNameIsAProgramsClass) {
  EXPECT_TRUE(IsApplicationProgId(L"Applications\\notepad++.exe"));
  EXPECT_TRUE(IsApplicationProgId(L"APPLICATIONS\\a"));
  EXPECT_FALSE(IsApplicationProgId(L"Applications\\"));
  EXPECT_FALSE(IsApplicationProgId(L"Applications\\a\\b"));
  EXPECT_FALSE(IsApplicationProgId(L"Applicationsx\\a"));
  EXPECT_FALSE(IsApplicationProgId(L"Applications.a"));
  EXPECT_FALSE(IsApplicationProgId(L"txtfile"));

  // Another class with a backslash in its name keeps the plain rules: no
  // name of its own, and so the name Explorer gives a type without one.
  Fixture f;
  f.TextType();
  f.User(L"Applications\\a\\b\\shell\\open\\command", L"C:\\a\\b.exe");
  f.Choice(L".txt", L"UserChoice", L"Applications\\a\\b");
  const ResolvedType type = f.resolver.Resolve(L".txt");
  EXPECT_EQ(Narrow(type.progId), "Applications\\a\\b");
  EXPECT_EQ(Narrow(type.description), "TXT File");
  EXPECT_FALSE(type.defaultIcon.has_value());
}

TEST(TypeResolverTest, PerUserKeysAreOpenedOnlyWhereTheLayerHasTheClass) {
  Fixture f;
  f.TextType();
  f.User(L"Other.Type", L"Other");
  f.resolver.Resolve(L".txt");
  // The per-user classes and Explorer's per-extension records, listed once.
  EXPECT_EQ(f.reg.opens[kCurrentUser], 2);
  f.resolver.Resolve(L".txt");
  EXPECT_EQ(f.reg.opens[kCurrentUser], 2);
}

TEST(TypeResolverTest, ClassExistsInEitherLayer) {
  Fixture f;
  f.MachineKey(L"Machine.Type");
  f.UserKey(L"User.Type\\shell");
  EXPECT_TRUE(f.resolver.ClassExists(L"machine.type"));
  EXPECT_TRUE(f.resolver.ClassExists(L"User.Type\\shell"));
  EXPECT_FALSE(f.resolver.ClassExists(L"User.Type\\DefaultIcon"));
  EXPECT_FALSE(f.resolver.ClassExists(L"Nowhere"));
}

// As a merged root lists them: in the registry's order, names compared in
// capitals, each once.
TEST(TypeResolverTest, ClassNamesPutPerUserOnlyNamesInTheirPlaceOnce) {
  Fixture f;
  f.MachineKey(L".a");
  f.MachineKey(L".b");
  f.MachineKey(L"afile");
  f.UserKey(L".c");
  f.UserKey(L".A");  // the machine's .a, seen per user under another spelling
  f.UserKey(L"cfile");
  f.UserKey(L"_under");  // '_' sorts after the capitals, before nothing else here
  const std::vector<std::wstring> expected = {L".a", L".b", L".c", L"afile", L"cfile", L"_under"};
  EXPECT_EQ(f.resolver.ClassNames(), expected);
}

TEST(TypeResolverTest, ANameLongerThanTheBufferDoesNotEndTheList) {
  // Windows caps key names at 255 characters; a damaged hive does not. A name
  // longer than any the registry could open is passed over.
  Fixture f;
  const std::wstring machineLong(2000, L'm');
  const std::wstring userLong(600, L'u');
  f.MachineKey(L".a");
  f.MachineKey(L".b");
  f.MachineKey(machineLong);
  f.MachineKey(std::wstring(40000, L'x'));
  f.UserKey(userLong);
  f.UserKey(L".c");
  const std::vector<std::wstring> expected = {L".a", L".b", L".c", machineLong, userLong};
  EXPECT_EQ(f.resolver.ClassNames(), expected);
}

}  // namespace
}  // namespace tarrow
