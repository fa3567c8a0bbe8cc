// A picture chosen with Browse in the main window, given to a type and
// applied: the grid shows it as one icon, Apply stores the icon made of it,
// and restoring the type takes the file away again.
#include <shlobj.h>

#include <gtest/gtest.h>
#include <set>
#include <string>

#include "app/main_window.h"
#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "changes/picture_icon.h"
#include "changes/restore.h"
#include "cli/cli_support.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kUserIcon[] = L"Software\\Classes\\Tarrow.TypeB\\DefaultIcon";

class PictureWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = std::make_unique<Os>(Os{win32::RealOs().registry, win32::RealOs().files, shell_});
    ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str());
    ::DeleteFileW(JournalPath(shell_).c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeB");
    // A per-user value wins for this user: the change is the user's.
    const std::wstring original = tarrow::testing::SystemFile(L"shell32.dll") + L",3";
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kUserIcon, nullptr, REG_SZ, original.c_str(),
                      static_cast<DWORD>((original.size() + 1) * sizeof(wchar_t)));
    window_ = std::make_unique<MainWindow>(*os_);
    ASSERT_TRUE(window_->Create());
  }
  void TearDown() override {
    window_.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeB");
    ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str());
    ::DeleteFileW(JournalPath(shell_).c_str());
  }

  tarrow::testing::TestShell shell_;
  std::unique_ptr<Os> os_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(PictureWindowTest, ABrowsedPictureIsOneIconThatApplyStoresAndRestoreTakesAway) {
  RgbaImage image{50, 30, {}};
  for (int i = 0; i < 50 * 30; ++i) image.pixels.insert(image.pixels.end(), {0, 90, 200, 255});
  const auto png = shell_.EncodePng(image);
  ASSERT_TRUE(png);
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring picture = std::wstring(temp) + L"Tarrow Window Picture.gif.png";
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(picture, *png));

  ASSERT_TRUE(window_->OnLoad(false));
  tarrow::testing::SettleIcons(*window_);
  std::size_t b = 0;
  while (b < window_->types().size() && window_->types()[b].extension != L".tarrowb") ++b;
  ASSERT_LT(b, window_->types().size());
  ASSERT_TRUE(window_->SelectItem(b));

  shell_.dialogAnswer = picture;
  window_->OnBrowse();
  tarrow::testing::SettleIcons(*window_);
  EXPECT_EQ(window_->IconFileText(), picture) << "the path as chosen, never lower-cased";
  EXPECT_EQ(window_->iconGrid().count(), 1) << "a picture is a file of one icon";
  window_->OnIconChosen(1);
  ASSERT_TRUE(window_->types()[b].pending) << "the picture could not be drawn for the list";

  window_->OnApply();
  ASSERT_TRUE(tarrow::testing::PumpUntil([&] { return !IsChanged(window_->types()[b]); }));
  const std::wstring icon = shell_.LocalAppDataFolder() + L"\\Tarrow\\Icons\\" + Sha256Hex(*png) + L".ico";
  EXPECT_EQ(tarrow::testing::RegText(HKEY_CURRENT_USER, kUserIcon), icon + L",0");
  EXPECT_EQ(window_->types()[b].location, icon + L",0") << "the list shows the stored icon";
  EXPECT_TRUE(os_->files.CanOpenForRead(icon));
  for (const auto& [text, style] : shell_.shown) EXPECT_EQ(text.find(L"not changed"), std::wstring::npos);

  RestoreOriginals(*os_, window_->types(), std::set<std::wstring>{L"Tarrow.TypeB"});
  EXPECT_EQ(tarrow::testing::RegText(HKEY_CURRENT_USER, kUserIcon),
            tarrow::testing::SystemFile(L"shell32.dll") + L",3");
  EXPECT_FALSE(os_->files.Exists(icon));
  ::DeleteFileW(picture.c_str());
}

// A picture for a type registered for all users: under Wine their folder is
// never one only administrators can change, which is said at the pick, with
// the user's own layer offered.
TEST_F(PictureWindowTest, APictureForAnAllUsersTypeIsOfferedForThisUserAtThePick) {
  RgbaImage image{20, 20, {}};
  for (int i = 0; i < 20 * 20; ++i) image.pixels.insert(image.pixels.end(), {200, 30, 30, 255});
  const auto png = shell_.EncodePng(image);
  ASSERT_TRUE(png);
  const tarrow::testing::Scratch folder(L"window-picture-machine");
  const std::wstring picture = folder / L"red.png";
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(picture, *png));
  const std::wstring icons = shell_.MachineAppDataFolder() + L"\\Tarrow\\Icons";
  if (os_->files.OnlyAdministratorsCanChange(icons)) GTEST_SKIP() << "this system trusts the machine folder";
  const bool tarrowThere = os_->files.Exists(shell_.MachineAppDataFolder() + L"\\Tarrow");
  const tarrow::testing::KeptValue machine(L"Tarrow.TypeC\\DefaultIcon");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeC");

  ASSERT_TRUE(window_->OnLoad(false));
  tarrow::testing::SettleIcons(*window_);
  std::size_t c = 0;
  while (c < window_->types().size() && window_->types()[c].extension != L".tarrowc") ++c;
  ASSERT_TRUE(window_->SelectItem(c));
  window_->SetIconFileText(picture);
  tarrow::testing::SettleIcons(*window_);

  shell_.answers.push_back(kIdNo);
  window_->OnIconChosen(1);
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(shell_.shown[0].first,
            L"This type is registered for all users: Tarrow Type C (.tarrowc).\r\n\r\nAn icon made of a "
            L"picture for all users is kept in " + icons +
                L", which Tarrow uses only while administrators alone can change it, and that folder cannot "
                L"be made so here.\r\n\r\nStore the icon for you only? Yes gives the type the picture for "
                L"your user account alone; No changes nothing.");
  EXPECT_FALSE(window_->types()[c].pending) << "No changes nothing";
  if (!tarrowThere) {
    EXPECT_FALSE(os_->files.Exists(shell_.MachineAppDataFolder() + L"\\Tarrow")) << "left empty";
  }

  shell_.answers.push_back(kIdYes);
  window_->OnIconChosen(1);
  ASSERT_TRUE(window_->types()[c].pending);
  window_->OnApply();
  ASSERT_TRUE(tarrow::testing::PumpUntil([&] { return !IsChanged(window_->types()[c]); }));
  const std::wstring icon = shell_.LocalAppDataFolder() + L"\\Tarrow\\Icons\\" + Sha256Hex(*png) + L".ico";
  EXPECT_EQ(tarrow::testing::RegText(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeC\\DefaultIcon"),
            icon + L",0");
  EXPECT_EQ(tarrow::testing::DefaultValue(machine.key()), machine.original()) << "the machine's value stays";
  // Wine's shell reads the machine's classes alone: it may say it shows
  // the machine's icon, which is no failure of the change.
  for (std::size_t i = 2; i < shell_.shown.size(); ++i)
    EXPECT_TRUE(shell_.shown[i].first.starts_with(L"Explorer will not show")) << tarrow::testing::Utf8(shell_.shown[i].first);
  RestoreOriginals(*os_, window_->types(), std::set<std::wstring>{L"Tarrow.TypeC"});
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeC");
}

}  // namespace
}  // namespace tarrow::app
