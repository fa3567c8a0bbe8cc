// The registrations of real Windows 10/11 machines in Wine's registry, run
// through tarrow.exe: listed, set and restored byte for byte. Wine resolves
// no package resource and few indirect names, so what the system would
// answer is checked over the fakes; here the rest of the way is.
#include "../../unit/real_shapes.h"

#include <gtest/gtest.h>
#include <string>

#include "app/main_window.h"
#include "cli/cli_support.h"

namespace tarrow::testing {
namespace {

HKEY RootOf(shapes::Where where) {
  return where == shapes::Where::MachineClasses ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring PathOf(shapes::Where where, const std::wstring& key) {
  return (where == shapes::Where::FileExts ? std::wstring(shapes::kFileExtsKey) : L"Software\\Classes") +
         L"\\" + key;
}

class RealShapes : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSnapshots();
    for (const auto& [where, key] : shapes::kTopKeys)
      ASSERT_FALSE(KeyExists(RootOf(where), PathOf(where, key)))
          << "the prefix has " << Utf8(key) << " already";
    for (const shapes::Value& value : shapes::kValues) {
      win32::UniqueHkey key;
      ASSERT_EQ(::RegCreateKeyExW(RootOf(value.where), PathOf(value.where, value.key).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr),
                ERROR_SUCCESS);
      const std::wstring text = value.text;
      ASSERT_EQ(
          ::RegSetValueExW(key.get(), value.name, 0, value.type, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
          ERROR_SUCCESS);
    }
  }
  void TearDown() override {
    for (const auto& [where, key] : shapes::kTopKeys) {
      ::RegDeleteTreeW(RootOf(where), PathOf(where, key).c_str());
      ::RegDeleteKeyW(RootOf(where), PathOf(where, key).c_str());
    }
    DeleteSnapshots();
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

TEST_F(RealShapes, EveryTypeExplorerDrawsIsListedAsStored) {
  const Ran ran = RunCommand(ExePath(), L"--list");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  // The app's class has no name, and its icon is listed as stored.
  EXPECT_TRUE(Has(
      ran.out, ".gif\tAppX2jm25qtmp2qxstv333wv5mne3k5bf4bm\tGIF File\t" + Utf8(shapes::kPhotosIcon) + "\n"))
      << ran.out;
  EXPECT_TRUE(Has(ran.out, ".lua\tApplications\\luaw.exe\tluaw.exe\tC:\\Program Files\\Lua\\luaw.exe,0\n"));
  EXPECT_TRUE(Has(ran.out,
                  ".msu\tMicrosoft.System.Update.1\tMicrosoft Update Standalone Package\t"
                  "\"%systemroot%\\system32\\wusa.exe\",-101\n"));
  EXPECT_TRUE(Has(ran.out, ".zip\tCompressedFolder\t"));
  EXPECT_TRUE(Has(ran.out, ".RDP\tRDP.File\t"));
  EXPECT_TRUE(Has(ran.out, ".msc\tMSCFile\t"));
  EXPECT_FALSE(Has(ran.out, ".mydocs\t"));
  EXPECT_FALSE(Has(ran.out, ".ani\t"));
  // What Wine makes of the names only an indirect string gives.
  for (const char* extension : {".ps1\t", ".tif\t", ".zip\t", ".RDP\t", ".avi\t"}) {
    const std::size_t at = ran.out.find(extension);
    if (at != std::string::npos) std::printf("%s\n", ran.out.substr(at, ran.out.find('\n', at) - at).c_str());
  }
  const Ran json = RunCommand(ExePath(), L"--list --json");
  ASSERT_EQ(json.exitCode, 0u) << json.err;
  const std::size_t gif = json.out.find("\"extension\": \".gif\"");
  ASSERT_NE(gif, std::string::npos);
  EXPECT_EQ(json.out.find("\"packaged\": true", gif), json.out.find("\"packaged\"", gif));
}

// The app's class is the user's: written there, and its @{...} text comes
// back byte for byte, REG_SZ as it was.
TEST_F(RealShapes, AStoreAppsTypeIsSetInTheUsersLayerAndRestoredByteForByte) {
  const std::wstring icon = std::wstring(L"Software\\Classes\\") + shapes::kPhotosClass + L"\\DefaultIcon";
  const RawValue before = DefaultValue(icon, HKEY_CURRENT_USER);
  ASSERT_EQ(before, Text(REG_SZ, shapes::kPhotosIcon));
  const std::wstring location = SystemFile(L"shell32.dll") + L",3";
  Ran ran = RunCommand(ExePath(), L"--set .gif " + location);
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(DefaultValue(icon, HKEY_CURRENT_USER), Text(REG_SZ, location));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + shapes::kPhotosClass));
  EXPECT_TRUE(Has(ran.err,
                  "tarrow: GIF File (.gif) is a Store app's type: the app's next update may put its "
                  "own icon back.\n"))
      << ran.err;
  ran = RunCommand(ExePath(), L"--restore .gif");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(DefaultValue(icon, HKEY_CURRENT_USER), before);
}

TEST_F(RealShapes, AnExtensionKnownOnlyFromTheUsersChoiceIsSetAndRestored) {
  const std::wstring icon = L"Software\\Classes\\Applications\\luaw.exe\\DefaultIcon";
  const std::wstring location = SystemFile(L"shell32.dll") + L",5";
  Ran ran = RunCommand(ExePath(), L"--set .lua " + location);
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(DefaultValue(icon, HKEY_CURRENT_USER), Text(REG_SZ, location));
  ran = RunCommand(ExePath(), L"--restore .lua");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, icon));
}

}  // namespace
}  // namespace tarrow::testing

namespace tarrow::testing {
namespace {

// In the window: a Store app's icon Wine cannot find opens an empty grid that
// says where it lives, and the first change of a Store app's type is
// preceded by one message, not one per change.
class RealShapesWindow : public RealShapes {
 protected:
  void SetUp() override {
    RealShapes::SetUp();
    os_ = std::make_unique<Os>(Os{win32::RealOs().registry, win32::RealOs().files, shell_});
    window_ = std::make_unique<app::MainWindow>(*os_);
    ASSERT_TRUE(window_->Create());
  }
  void TearDown() override {
    window_.reset();
    RealShapes::TearDown();
  }
  std::size_t IndexOf(const std::wstring& extension) {
    for (std::size_t i = 0; i < window_->types().size(); ++i)
      if (window_->types()[i].extension == extension) return i;
    return std::wstring::npos;
  }
  TestShell shell_;
  std::unique_ptr<Os> os_;
  std::unique_ptr<app::MainWindow> window_;
};

TEST_F(RealShapesWindow, AStoreAppsIconIsNamedAndItsFirstChangeWarnedOfOnce) {
  ASSERT_TRUE(window_->OnLoad(false));
  SettleIcons(*window_);
  const std::size_t gif = IndexOf(L".gif"), avi = IndexOf(L".avi");
  ASSERT_NE(gif, std::wstring::npos);
  ASSERT_NE(avi, std::wstring::npos);
  ASSERT_TRUE(window_->SelectItem(gif));
  window_->OnTypeActivated();
  SettleIcons(*window_);
  EXPECT_EQ(window_->IconFileText(), shapes::kPhotosIcon) << "as stored, its case kept";
  EXPECT_EQ(window_->iconGrid().count(), 0);
  EXPECT_EQ(window_->iconGrid().emptyText(),
            L"This icon lives in a Store app's package, where only Windows finds it. Browse for an icon file "
            L"to give the type another one.");

  window_->SetIconFileText(SystemFile(L"shell32.dll"));
  SettleIcons(*window_);
  window_->OnIconChosen(2);
  ASSERT_TRUE(IsChanged(window_->types()[gif]));
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(shell_.shown[0].first,
            L"GIF File (.gif) is a Store app's type: the app's next update may put its own icon back.");
  ASSERT_TRUE(window_->SelectItem(avi));
  window_->OnIconChosen(3);
  EXPECT_TRUE(IsChanged(window_->types()[avi]));
  EXPECT_EQ(shell_.shown.size(), 1u) << "said once";
}

}  // namespace
}  // namespace tarrow::testing
