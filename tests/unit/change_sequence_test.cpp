// Whole flows of changes over both layers, as Windows documents them: random
// Apply, one-type sets, restores of all and of one, writes of another
// program, a second process holding the lock, and a crash at any step.
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/apply.h"
#include "changes/change_model.h"
#include "changes/restore.h"
#include "fake_os.h"

namespace tarrow {
namespace {

constexpr int kClasses = 6;

class Sequence {
 public:
  explicit Sequence(unsigned seed) : random_(seed) {}
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::wstring ProgId() { return L"P" + std::to_wstring(Below(kClasses)); }
  std::wstring Location() {
    static const wchar_t* const kFiles[] = {L"C:\\a.dll", L"%SystemRoot%\\b.dll", L"C:\\c.exe"};
    return std::wstring(kFiles[Below(3)]) + L"," + std::to_wstring(Below(4));
  }
  // A location a change gives: now and then a picture, one of them damaged.
  std::wstring NewLocation() {
    static const wchar_t* const kPictures[] = {L"C:\\p1.png", L"C:\\P2.GIF,0", L"C:\\copy of p1.jpg",
                                               L"C:\\damaged.bmp"};
    return Chance(30) ? kPictures[Below(4)] : Location();
  }

  void Fill(fake::FakeOs& os) {
    os.registry.CreateKey(kCurrentUser, kClassesKey);
    for (int i = 0; i < kClasses; ++i) {
      const std::wstring progId = L"P" + std::to_wstring(i);
      os.registry.SetText(kLocalMachine, ClassPath(progId), L"", L"Type " + progId);
      // Most classes have an icon; some have none yet: no DefaultIcon key,
      // a key without a value, an empty value.
      const int icon = Below(10);
      if (icon < 7) {
        os.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", Location(), kRegExpandSz);
      } else if (icon == 8) {
        os.registry.CreateKey(kLocalMachine, DefaultIconPath(progId));
      } else if (icon == 9) {
        os.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", L"");
      }
      if (Chance(30)) os.registry.SetText(kCurrentUser, DefaultIconPath(progId), L"", Location());
      // A machine key a standard user may not write; a class without one
      // that no one may add a key to.
      if (Chance(30))
        os.registry.SetReadOnly(kLocalMachine, icon == 7 ? ClassPath(progId) : DefaultIconPath(progId));
      os.registry.SetText(kLocalMachine, ClassPath(L".e" + std::to_wstring(i)), L"", progId);
    }
    if (Chance(30)) os.StandardUser();
    os.files.files[L"C:\\p1.png"] = os.files.files[L"C:\\copy of p1.jpg"] = "p1";
    os.files.files[L"C:\\P2.GIF"] = "p2";
    os.files.files[L"C:\\damaged.bmp"] = "damaged";
    os.shell.pictures["p1"] = RgbaImage{1, 1, {1, 2, 3, 4}};
    os.shell.pictures["p2"] = RgbaImage{2, 1, {1, 2, 3, 4, 5, 6, 7, 0}};
  }

 private:
  std::mt19937 random_;
};

// Both layers' classes, without the machine record's key.
std::wstring Classes(fake::FakeOs& os) {
  return os.registry.Dump(kCurrentUser) + L"|" + [&] {
    std::wstring dump = os.registry.Dump(kLocalMachine);
    const auto record = dump.find(L"[\\software\\tarrow]");
    if (record == std::wstring::npos) return dump;
    const auto next = dump.find(L"\n[", record + 1);
    return dump.erase(record, next == std::wstring::npos ? std::wstring::npos : next + 1 - record);
  }();
}

// Runs one step; a planned crash stops it where it is, as a kill would.
template <typename Step>
bool Survives(fake::FakeOs& os, Step step) {
  try {
    step();
    return true;
  } catch (const fake::Crash&) {
    os.shell.locked = false;  // a dead process's mutex is abandoned
    return false;
  }
}

TEST(ChangeSequenceTest, RestoringGivesBackExactlyWhatTarrowWroteAndLeavesOthersValues) {
  for (unsigned seed = 1; seed <= 250; ++seed) {
    SCOPED_TRACE(seed);
    Sequence seq(seed);
    fake::FakeOs os;
    seq.Fill(os);
    TakeSnapshotIfNone(os.os, ListTypes(os.os));
    const std::wstring initial = Classes(os);
    const auto initialFiles = os.files.files;
    bool crashed = false;
    std::set<std::wstring> touchedByOthers;  // ProgIDs another program wrote
    std::map<std::wstring, std::wstring> othersWrote;
    std::wstring log;

    const int steps = 4 + seq.Below(10);
    for (int i = 0; i < steps; ++i) {
      const int kind = seq.Below(7);
      // A crash at some step of this operation, now and then.
      if (seq.Chance(15)) os.crash.at = os.crash.steps + 1 + seq.Below(6);
      bool survived = true;
      switch (kind) {
        case 0: {  // Apply of a few types in the window
          log += L"apply ";
          TypeList types = ListTypes(os.os, TypesListed::All);
          ChangeModel changes(os.os, types);
          for (std::size_t t = 0; t < types.size(); ++t)
            if (seq.Chance(50)) changes.Assign(t, seq.NewLocation());
          survived = Survives(os, [&] { changes.Write(); });
          break;
        }
        case 1: {  // --set of one type
          log += L"set ";
          const std::wstring progId = seq.ProgId();
          survived = Survives(os, [&] { WriteIcons(os.os, {{progId, progId, seq.NewLocation()}}); });
          break;
        }
        case 2:
          log += L"restore ";
          survived = Survives(os, [&] { RestoreOriginals(os.os, TypeList{}); });
          break;
        case 3: {
          log += L"restore-one ";
          const std::wstring progId = seq.ProgId();
          survived =
              Survives(os, [&] { RestoreOriginals(os.os, TypeList{}, std::set<std::wstring>{progId}); });
          break;
        }
        case 4: {  // another program's write, in either layer
          const std::wstring progId = seq.ProgId();
          const RegKey root = seq.Chance(50) ? kCurrentUser : kLocalMachine;
          log += L"other(" + progId + L") ";
          os.registry.SetText(root, DefaultIconPath(progId), L"", L"D:\\other.dll," + std::to_wstring(i));
          touchedByOthers.insert(progId);
          break;
        }
        case 5: {  // a second process holds the lock all the while
          log += L"busy ";
          os.shell.lockedElsewhere = true;
          const std::wstring before = Classes(os);
          const ApplyOutcome outcome = WriteIcons(os.os, {{L"P0", L"P0", L"C:\\busy.dll,1"}});
          EXPECT_TRUE(outcome.busy);
          EXPECT_TRUE(RestoreOriginals(os.os, TypeList{}).busy);
          EXPECT_EQ(Classes(os), before) << "nothing changes while another process changes icons";
          os.shell.lockedElsewhere = false;
          break;
        }
        case 6: {  // the originals of one type asked back in the window
          log += L"ask-original ";
          TypeList types = ListTypes(os.os, TypesListed::All);
          ChangeModel changes(os.os, types);
          if (!types.empty() &&
              changes.AskOriginal(static_cast<std::size_t>(seq.Below(static_cast<int>(types.size())))))
            survived = Survives(os, [&] { changes.Write(); });
          break;
        }
      }
      os.crash.at = -1;
      if (!survived) log += L"(crashed) ";
      crashed = crashed || !survived;
    }
    SCOPED_TRACE(testing::PrintToString(log));

    RestoreOriginals(os.os, TypeList{});
    const std::wstring once = Classes(os);
    RestoreOriginals(os.os, TypeList{});
    EXPECT_EQ(Classes(os), once) << "restoring twice gives what restoring once gives";

    // Without another program's writes, every value is back as it was, in
    // both layers, keys Tarrow created gone.
    if (touchedByOthers.empty()) {
      EXPECT_EQ(once, initial);
    }
    // Nothing was ever written outside the listed classes' DefaultIcon keys
    // (and the class keys made for them), and the machine record.
    for (const std::wstring& write : os.registry.writes) {
      const bool icon = write.rfind(L"Software\\Classes\\P", 0) == 0;
      const bool record = write.rfind(L"Software\\Tarrow", 0) == 0;
      EXPECT_TRUE(icon || record) << testing::PrintToString(write);
    }
    // Icons made of pictures are gone with the values that named them (a
    // kill may leave a temporary file), and no other file was touched.
    for (const auto& [path, bytes] : os.files.files) {
      if (path.find(L"\\Tarrow\\Icons\\") == std::wstring::npos) continue;
      EXPECT_TRUE(crashed && path.ends_with(L".tmp")) << testing::PrintToString(path);
    }
    for (const auto& [path, bytes] : initialFiles) EXPECT_EQ(os.files.files[path], bytes);
    if (HasFailure()) break;
  }
}

// Another program's value after Tarrow's change is never overwritten.
TEST(ChangeSequenceTest, AnOutsideWriteAfterTarrowsIsKeptByEveryRestore) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE(seed);
    Sequence seq(seed);
    fake::FakeOs os;
    seq.Fill(os);
    TakeSnapshotIfNone(os.os, ListTypes(os.os));
    const std::wstring progId = seq.ProgId();
    const ApplyOutcome applied = WriteIcons(os.os, {{progId, progId, L"C:\\mine.dll,7"}});
    if (applied.written == 0) continue;
    const RegKey root = applied.forUser ? kCurrentUser : kLocalMachine;
    os.registry.SetText(root, DefaultIconPath(progId), L"", L"D:\\update.dll,2");
    RestoreOriginals(os.os, TypeList{});
    RestoreOriginals(os.os, TypeList{});
    EXPECT_EQ(os.registry.Text(root, DefaultIconPath(progId)), L"D:\\update.dll,2");
  }
}

}  // namespace
}  // namespace tarrow
