// tarrow.exe ended at once (TerminateProcess, as a crash or a forced
// shutdown does) in the middle of its work.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "changes/journal.h"
#include "robustness.h"

namespace tarrow::testing {
namespace {

using app::MainWindow;

// Thousands of extension keys that name no type: they make the walk last a
// second or two, long enough to be caught in the middle, and list nothing.
class LongWalk {
 public:
  explicit LongWalk(int keys) : keys_(keys) {
    for (int k = 0; k < keys_; ++k) {
      HKEY key = nullptr;
      if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, Name(k).c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                            nullptr) == ERROR_SUCCESS)
        ::RegCloseKey(key);
    }
  }
  ~LongWalk() {
    for (int k = 0; k < keys_; ++k) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, Name(k).c_str());
  }
  LongWalk(const LongWalk&) = delete;
  LongWalk& operator=(const LongWalk&) = delete;

 private:
  static std::wstring Name(int k) { return L".tarrowwalk" + std::to_wstring(k); }
  int keys_;
};

class Interrupted : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSnapshots(); }
  void TearDown() override { DeleteSnapshots(); }
  const std::wstring snapshot_ = SnapshotPath();
  const std::wstring temporary_ = snapshot_ + L".tmp";
};

TEST_F(Interrupted, AKillDuringTheFirstScanLeavesNoDefaultsAndTheNextStartTakesThemWhole) {
  // Defaults.dat is written once the walk is whole: a kill while the window
  // still reads leaves neither it nor its temporary file.
  auto walk = std::make_unique<LongWalk>(20000);
  {
    Tarrow tarrow;
    ASSERT_TRUE(tarrow.Start());
    ASSERT_TRUE(tarrow.WaitForWindow(false));
    ASSERT_TRUE(tarrow.Reading()) << "the walk was over before the kill";
    tarrow.Kill();
  }
  EXPECT_FALSE(PathExists(temporary_));
  EXPECT_FALSE(PathExists(snapshot_));
  walk.reset();

  Tarrow next;
  ASSERT_TRUE(next.StartAndWait());
  EXPECT_EQ(FileBytes(snapshot_), ExpectedSnapshot());
  EXPECT_FALSE(PathExists(temporary_));
  EXPECT_TRUE(next.Close());
}

// A type installed after the first run has no line in Defaults.dat; the
// journal still holds its original once Tarrow changes it.
TEST_F(Interrupted, ATypeAddedAfterTheFirstRunIsRestoredFromTheJournal) {
  {
    Tarrow first;
    ASSERT_TRUE(first.StartAndWait());
    EXPECT_TRUE(first.Close());
  }
  const ScratchType late(L".tarrowlate", L"TarrowTest.Late", L"Late Comer");
  const std::wstring original = L"%SystemRoot%\\system32\\shell32.dll,4";
  late.SetIcon(original, REG_EXPAND_SZ);
  const RawValue before = DefaultValue(late.iconKey());
  ASSERT_EQ(FileBytes(snapshot_)->find("TarrowTest.Late"), std::string::npos);

  Tarrow tarrow;
  ASSERT_TRUE(tarrow.StartAndWait());
  ASSERT_NO_FATAL_FAILURE(tarrow.AssignIcon(L".tarrowlate", Fixture(L"three-sizes.ico"), 1));
  tarrow.PostClick(Part::Apply);
  ASSERT_TRUE(WaitUntil([&] { return DefaultValue(late.iconKey()) != before; }, kTimeoutMs));
  ASSERT_TRUE(tarrow.WaitUntilIdle());
  tarrow.PostClick(Part::Restore);
  ASSERT_NO_FATAL_FAILURE(Answer(tarrow.WaitForDialog(), IDYES));
  EXPECT_TRUE(WaitUntil([&] { return DefaultValue(late.iconKey()) == before; }, kStartTimeoutMs))
      << "restored as " << Utf8(DefaultText(late.iconKey()));
  EXPECT_EQ(DefaultValue(late.iconKey()).type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_TRUE(tarrow.Close());
}

TEST_F(Interrupted, AKillDuringApplyLeavesEveryValueOldOrNewAndTheDefaultsAsTheyWere) {
  // Enough types that Apply lasts a few dozen milliseconds.
  constexpr int kTypes = 300;
  const std::wstring shell32 = SystemFile(L"shell32.dll");
  std::deque<ScratchType> types;
  std::vector<std::wstring> original;
  for (int i = 0; i < kTypes; ++i) {
    wchar_t n[8];
    swprintf(n, std::size(n), L"%04d", i);
    types.emplace_back(L".tarrowkill" + std::wstring(n), L"TarrowKill." + std::wstring(n),
                       L"Kill " + std::wstring(n));
    original.push_back(shell32 + L"," + std::to_wstring(i % 100));
  }
  const std::wstring icon = Fixture(L"three-sizes.ico");
  const RawValue applied = Text(REG_SZ, icon + L",0");

  std::optional<FileStamp> defaults;
  int changed = kTypes;
  // A kill that comes after Apply has ended proves nothing; it is tried again.
  for (int attempt = 0; attempt < 3 && changed == kTypes; ++attempt) {
    for (std::size_t i = 0; i < types.size(); ++i) types[i].SetIcon(original[i]);
    const auto before = ClassesRootIcons();
    Tarrow tarrow;
    ASSERT_TRUE(tarrow.StartAndWait());
    if (!defaults) defaults = StampOf(snapshot_);
    ASSERT_TRUE(defaults->bytes);
    // Minimised, the list is not repainted at every assignment.
    tarrow.Send(tarrow.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    tarrow.SetFilename(icon);
    const auto texts = tarrow.ListTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].find(L"[.tarrowkill") == std::wstring::npos) continue;
      tarrow.SelectItem(static_cast<int>(i));
      tarrow.DoubleClickCell(1);
    }
    // Apply writes in list order, the first of these types first; polled
    // without a pause, since all of Apply takes only milliseconds.
    const std::wstring first = types.front().iconKey();
    tarrow.PostClick(Part::Apply);
    const ULONGLONG end = ::GetTickCount64() + kTimeoutMs;
    while (!(DefaultValue(first) == applied) && ::GetTickCount64() < end) continue;
    tarrow.Kill();

    // Only these types' values may have changed, and each only to the new one.
    auto expected = before;
    changed = 0;
    for (const auto& type : types) {
      if (DefaultValue(type.iconKey()) != applied) continue;
      expected[type.iconKey()] = applied;
      ++changed;
    }
    EXPECT_EQ(Differences(ClassesRootIcons(), expected), std::vector<std::string>());
    ASSERT_GT(changed, 0) << "Apply never began";

    // Every value written already had its original on record.
    const JournalLoad journal = LoadRecord(win32::RealOs(), RecordScope::Machine);
    ASSERT_EQ(journal.state, JournalState::Intact);
    for (std::size_t i = 0; i < types.size(); ++i) {
      if (DefaultValue(types[i].iconKey()) != applied) continue;
      const auto entry = std::find_if(journal.entries.begin(), journal.entries.end(),
                                      [&](const JournalEntry& e) { return e.progId == types[i].progId(); });
      ASSERT_NE(entry, journal.entries.end())
          << Utf8(types[i].progId()) << " was written without its original";
      const RawValue recorded{true, entry->type, std::vector<BYTE>(entry->bytes.begin(), entry->bytes.end())};
      EXPECT_EQ(recorded, Text(REG_SZ, original[i]));
    }
  }
  EXPECT_LT(changed, kTypes) << "no kill came in the middle of Apply";
  EXPECT_TRUE(StampOf(snapshot_) == *defaults);
  EXPECT_FALSE(PathExists(temporary_));

  // Every original is still there to be restored.
  Tarrow next;
  ASSERT_TRUE(next.StartAndWait());
  next.PostClick(Part::Restore);
  ASSERT_NO_FATAL_FAILURE(Answer(next.WaitForDialog(), IDYES));
  auto restored = [&] {
    for (std::size_t i = 0; i < types.size(); ++i) {
      if (DefaultText(types[i].iconKey()) != original[i]) return false;
    }
    return ::IsWindowVisible(next.window()) != FALSE;
  };
  EXPECT_TRUE(WaitUntil(restored, kStartTimeoutMs));
  EXPECT_TRUE(StampOf(snapshot_) == *defaults);
  EXPECT_TRUE(next.Close());
}

}  // namespace
}  // namespace tarrow::testing
