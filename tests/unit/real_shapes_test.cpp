// The registrations of real Windows 10/11 machines, over the fakes: what the
// list shows of them, what the icon sources draw, and a Store app's type
// changed and restored by the command line.
#include "real_shapes.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "catalog/icon_loader.h"
#include "catalog/scan.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "fake_os.h"
#include "picker/grid_text.h"

namespace tarrow {
namespace {

using cli::CommandContext;
using cli::TextSink;

struct StringSink : TextSink {
  std::wstring text;
  void Write(std::wstring_view more) override { text += more; }
};

const std::wstring kPhotosPicture =
    L"C:\\Program Files\\WindowsApps\\Microsoft.Windows.Photos_16.622.13140.0_x64__8wekyb3d8bbwe\\Assets\\"
    L"PhotosLogoExtensions.png";

std::wstring PlaceOf(shapes::Where where, const std::wstring& key, RegKey& root) {
  root = where == shapes::Where::MachineClasses ? kLocalMachine : kCurrentUser;
  if (where == shapes::Where::FileExts) return std::wstring(shapes::kFileExtsKey) + L"\\" + key;
  return ClassPath(key);
}

// The shapes in the fake registry, and the system's answers as Microsoft
// documents them: SHLoadIndirectString gives a file's string resource for
// "@file,-id" and a package's file as its path.
struct RealShapes : ::testing::Test {
  RealShapes() {
    for (const shapes::Value& value : shapes::kValues) {
      RegKey root = 0;
      const std::wstring path = PlaceOf(value.where, value.key, root);
      fake.registry.SetText(root, path, value.name, value.text, value.type);
    }
    auto& shell = fake.shell;
    shell.environment = {{L"SystemRoot", L"C:\\Windows"}, {L"ProgramFiles", L"C:\\Program Files"}};
    shell.indirectStrings = {
        {L"c:\\windows\\system32\\windowspowershell\\v1.0\\powershell.exe,-103",
         L"Windows PowerShell Script"},
        {L"c:\\program files\\windows photo viewer\\photoviewer.dll,-3058", L"TIFF Image"},
        {L"c:\\windows\\system32\\zipfldr.dll,-10195", L"Compressed (zipped) Folder"},
        {L"c:\\windows\\system32\\mstscax.dll,-13003", L"Remote Desktop Connection File"},
        {fake::Lower(std::wstring(shapes::kVideoName).substr(2, std::wcslen(shapes::kVideoName) - 3)),
         L"AVI Video"},
        {fake::Lower(std::wstring(shapes::kPhotosIcon).substr(2, std::wcslen(shapes::kPhotosIcon) - 3)),
         kPhotosPicture},
    };
    fake.files.files[kPhotosPicture] = "photos-logo";
    shell.pictures["photos-logo"] = RgbaImage{2, 2, std::vector<std::uint8_t>(16, 0xFF)};
    shell.iconFiles[L"c:\\new.dll"] = 4;
    // The choices' hashes are valid: the system follows them.
    shell.associations = {{L".gif", shapes::kPhotosClass}, {L".lua", L"Applications\\luaw.exe"}};
  }
  const TypeItem* Find(const TypeList& types, const std::wstring& extension) {
    const auto it = std::find_if(types.begin(), types.end(),
                                 [&](const TypeItem& item) { return item.extension == extension; });
    return it == types.end() ? nullptr : &*it;
  }
  int Run(const std::vector<std::wstring>& args) {
    out.text.clear();
    err.text.clear();
    const cli::Parsed parsed = cli::ParseArguments(args);
    return cli::Run(parsed.arguments, context);
  }
  fake::FakeOs fake;
  StringSink out, err;
  CommandContext context{fake.os, out, err, L"1.5.0.0", [] { return false; }};
};

TEST_F(RealShapes, EveryTypeExplorerDrawsIsListedWithTheNameExplorerShows) {
  const TypeList types = ListTypes(fake.os);
  const struct {
    const wchar_t* extension;
    const wchar_t* progId;
    const wchar_t* description;
    std::wstring location;
    ClassLayer layer;
  } expected[] = {
      // No name at all: as Explorer names a type without one.
      {L".gif", shapes::kPhotosClass, L"GIF File", shapes::kPhotosIcon, ClassLayer::User},
      {L".avi", shapes::kVideoClass, L"AVI Video", shapes::kVideoIcon, ClassLayer::User},
      {L".ps1", L"Microsoft.PowerShellScript.1", L"Windows PowerShell Script",
       L"\"%systemroot%\\system32\\windowspowershell\\v1.0\\powershell.exe\",1", ClassLayer::Machine},
      {L".tif", L"PhotoViewer.FileAssoc.Tiff", L"TIFF Image", L"%SystemRoot%\\System32\\imageres.dll,-122",
       ClassLayer::Machine},
      {L".msu", L"Microsoft.System.Update.1", L"Microsoft Update Standalone Package",
       L"\"%systemroot%\\system32\\wusa.exe\",-101", ClassLayer::Machine},
      {L".zip", L"CompressedFolder", L"Compressed (zipped) Folder", L"%SystemRoot%\\system32\\zipfldr.dll",
       ClassLayer::Machine},
      {L".cab", L"CABFolder", L"Cabinet File", L"%SystemRoot%\\system32\\cabview.dll,0", ClassLayer::Machine},
      // A FriendlyTypeName the system cannot resolve: the default value.
      {L".msc", L"MSCFile", L"Microsoft Common Console Document", L"%SystemRoot%\\system32\\mmc.exe,0",
       ClassLayer::Machine},
      // FriendlyTypeName before the default value.
      {L".RDP", L"RDP.File", L"Remote Desktop Connection File", L"%systemroot%\\system32\\mstscax.dll,-13417",
       ClassLayer::Machine},
      {L".lua", L"Applications\\luaw.exe", L"luaw.exe", L"C:\\Program Files\\Lua\\luaw.exe,0",
       ClassLayer::User},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(std::wstring(e.extension).size()) << " "
                                    << std::string(e.extension, e.extension + std::wcslen(e.extension)));
    const TypeItem* item = Find(types, e.extension);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->progId, e.progId);
    EXPECT_EQ(item->description, e.description);
    EXPECT_EQ(item->location, e.location);
    EXPECT_EQ(item->layer, e.layer);
    EXPECT_EQ(IsStoreAppType(*item), item->progId.starts_with(L"AppX"));
  }
  // A CLSID class without a key, and a type whose files are their own icons.
  EXPECT_EQ(types.size(), std::size(expected));
  EXPECT_EQ(Find(types, L".mydocs"), nullptr);
  EXPECT_EQ(Find(types, L".ani"), nullptr);
}

TEST_F(RealShapes, EachIndirectNameIsAskedForOnceHoweverManyTypesShowIt) {
  fake.registry.SetText(kLocalMachine, ClassPath(L".psm"), L"", L"Microsoft.PowerShellScript.1");
  const TypeList types = ListTypes(fake.os);
  ASSERT_NE(Find(types, L".psm"), nullptr);
  EXPECT_EQ(Find(types, L".psm")->description, L"Windows PowerShell Script");
  // Five "@file,-id" names and one package's name; plain text is not asked.
  EXPECT_EQ(fake.shell.indirectQueries, 6);
}

// The Photos picture is found through the system and drawn as the one icon
// of its "file"; Movies & TV's is not found, as under Wine, and the grid
// says where it lives.
TEST_F(RealShapes, APackagesPictureIsDrawnWhereTheSystemFindsIt) {
  ShellIconSource source(fake.shell, &fake.files);
  EXPECT_EQ(source.Count(shapes::kPhotosIcon), 1);
  const std::vector<IconHandle> icons = source.Extract({shapes::kPhotosIcon, 0, 1, 16});
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(fake.shell.Describe(icons[0]), L"image 16x16");
  source.Release(icons[0]);
  EXPECT_EQ(EmptyGridText(fake.shell, fake.files, shapes::kPhotosIcon, 1), L"");

  EXPECT_EQ(source.Count(shapes::kVideoIcon), 0);
  EXPECT_EQ(source.Extract({shapes::kVideoIcon, 0, 1, 16}), std::vector<IconHandle>{0});
  EXPECT_EQ(EmptyGridText(fake.shell, fake.files, shapes::kVideoIcon, 0),
            L"This icon lives in a Store app's package, where only Windows finds it. Browse for an icon file "
            L"to give the type another one.");
  // A package's icon is one, named without an index.
  EXPECT_EQ(BuildIconLocation(shapes::kVideoIcon, 0), shapes::kVideoIcon);
}

TEST_F(RealShapes, JsonSaysWhichIconsLiveInAPackage) {
  ASSERT_EQ(Run({L"--list", L"--json"}), 0);
  EXPECT_NE(
      out.text.find(L"\"progId\": \"AppX2jm25qtmp2qxstv333wv5mne3k5bf4bm\", \"description\": \"GIF "
                    L"File\", \"location\": \"@{Microsoft.Windows.Photos_16.622.13140.0_x64__"
                    L"8wekyb3d8bbwe?ms-resource://Microsoft.Windows.Photos/Files/Assets/"
                    L"PhotosLogoExtensions.png}\", \"layer\": \"user\", \"source\": \"userChoice\", "
                    L"\"changed\": false, \"iconHandler\": false, \"hasIcon\": true, \"packaged\": true"),
      std::wstring::npos)
      << out.text;
  const std::size_t zip = out.text.find(L"\"extension\": \".zip\"");
  ASSERT_NE(zip, std::wstring::npos);
  EXPECT_EQ(out.text.find(L"\"packaged\": false", zip), out.text.find(L"\"packaged\"", zip));
  EXPECT_EQ(std::count(out.text.begin(), out.text.end(), L'\n'), 12) << "ten types, one a line, in brackets";
}

TEST_F(RealShapes, PathsArePrintedAsTheyAre) {
  ASSERT_EQ(Run({L"--list"}), 0);
  EXPECT_NE(out.text.find(L".msu\tMicrosoft.System.Update.1\tMicrosoft Update Standalone Package\t"
                          L"\"%systemroot%\\system32\\wusa.exe\",-101\n"),
            std::wstring::npos)
      << out.text;
}

// The app's class is the user's, and so is the write; the app's own value
// comes back byte for byte, and an app update after the change is left be.
TEST_F(RealShapes, AStoreAppsTypeIsChangedInTheUsersLayerAndRestoredByteForByte) {
  const std::wstring icon = DefaultIconPath(shapes::kPhotosClass);
  ASSERT_EQ(Run({L"--set", L".gif", L".avi", L"C:\\new.dll,2"}), 0) << err.text;
  EXPECT_EQ(fake.registry.Text(kCurrentUser, icon), L"C:\\new.dll,2");
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(shapes::kVideoClass)), L"C:\\new.dll,2");
  EXPECT_EQ(fake.registry.Dump(kLocalMachine).find(L"new.dll"), std::wstring::npos) << "never the machine's";
  // Said once, for both.
  EXPECT_EQ(
      err.text,
      L"tarrow: GIF File (.gif) is a Store app's type: the app's next update may put its own icon back.\n");

  ASSERT_EQ(Run({L"--restore"}), 0) << err.text;
  EXPECT_EQ(fake.registry.Dump(kCurrentUser).find(L"new.dll"), std::wstring::npos);
  EXPECT_EQ(fake.registry.Find(kCurrentUser, icon, L"")->type, kRegSz);
  EXPECT_EQ(fake.registry.Text(kCurrentUser, icon), shapes::kPhotosIcon);

  // Changed again, then the app's update writes its icon of the new version.
  ASSERT_EQ(Run({L"--set", L".gif", L"C:\\new.dll,1"}), 0) << err.text;
  const std::wstring updated =
      L"@{Microsoft.Windows.Photos_2024.11050.3002.0_x64__8wekyb3d8bbwe?ms-resource://"
      L"Microsoft.Windows.Photos/"
      L"Files/Assets/PhotosLogoExtensions.png}";
  fake.registry.SetText(kCurrentUser, icon, L"", updated);
  ASSERT_EQ(Run({L"--restore", L".gif"}), 0) << err.text;
  EXPECT_EQ(fake.registry.Text(kCurrentUser, icon), updated);
  EXPECT_NE(
      err.text.find(L"changed by another program since Tarrow's change; left as it is: GIF File (.gif)"),
      std::wstring::npos)
      << err.text;
}

// Known only from the user's choice, and changed and restored as any other.
TEST_F(RealShapes, AnExtensionKnownOnlyFromTheUsersChoiceIsChangedAndRestored) {
  const std::wstring before = fake.registry.Dump(kCurrentUser);
  ASSERT_EQ(Run({L"--set", L".lua", L"C:\\new.dll,3"}), 0) << err.text;
  EXPECT_EQ(out.text, L"luaw.exe (.lua): C:\\new.dll,3 (for this user only)\n");
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"Applications\\luaw.exe")), L"C:\\new.dll,3");
  ASSERT_EQ(Run({L"--restore", L".lua"}), 0) << err.text;
  EXPECT_EQ(fake.registry.Dump(kCurrentUser), before);
}

}  // namespace
}  // namespace tarrow
