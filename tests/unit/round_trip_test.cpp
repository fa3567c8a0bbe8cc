// Apply then Restore over generated registries of both layers, as Windows
// documents them: per-user and machine classes merged value by value, user
// choices, CurVer hand-overs (loops included), ProgIDs shared by several
// extensions, and machine keys a standard user may not write.
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalog/resolver.h"
#include "catalog/scan.h"
#include "changes/apply.h"
#include "changes/change_model.h"
#include "changes/restore.h"
#include "fake_os.h"

namespace tarrow {
namespace {

const std::wstring kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < percent; }
  std::wstring Location() {
    static const wchar_t* const kFiles[] = {L"C:\\a.dll", L"%SystemRoot%\\b.dll", L"C:\\Acme, Inc\\c.exe",
                                            L"\"C:\\x y\\d.ico\"", L"C:\\caf\u00e9.dll"};
    return std::wstring(kFiles[Below(5)]) + L"," + std::to_wstring(Below(40) - 5);
  }

  // A registry of `classes` ProgIDs and `extensions` extensions.
  void Fill(fake::FakeRegistry& reg, int classes, int extensions) {
    // Every profile has its classes key, as every machine has its own.
    reg.CreateKey(kCurrentUser, kClassesKey);
    for (int i = 0; i < classes; ++i) {
      const std::wstring progId = L"P" + std::to_wstring(i);
      const bool machine = Chance(80);
      const bool user = !machine || Chance(40);
      for (const auto& [layer, present] :
           {std::pair{ClassLayer::Machine, machine}, {ClassLayer::User, user}}) {
        if (!present) continue;
        const RegKey root = LayerRoot(layer);
        reg.SetText(root, ClassPath(progId), L"", L"Type " + progId);
        if (Chance(80)) {
          const std::uint32_t type = Chance(30) ? kRegExpandSz : kRegSz;
          reg.SetText(root, DefaultIconPath(progId), L"", Location(), type);
        } else if (Chance(30)) {
          reg.CreateKey(root, DefaultIconPath(progId));  // a key without its value
        }
        if (Chance(15))
          reg.SetText(root, ClassPath(progId + L"\\CurVer"), L"", L"P" + std::to_wstring(Below(classes)));
        // A standard user: the machine's keys refuse to be written.
        if (layer == ClassLayer::Machine && Chance(40)) reg.SetReadOnly(root, DefaultIconPath(progId));
      }
    }
    for (int i = 0; i < extensions; ++i) {
      const std::wstring extension = L".e" + std::to_wstring(i);
      reg.SetText(kLocalMachine, ClassPath(extension), L"", L"P" + std::to_wstring(Below(classes)));
      if (Chance(20))
        reg.SetText(kCurrentUser, ClassPath(extension), L"", L"P" + std::to_wstring(Below(classes)));
      if (Chance(30)) {
        // A choice may name a ProgID that is not registered: Explorer ignores it.
        reg.SetText(kCurrentUser, kFileExts + extension + L"\\UserChoice", L"ProgId",
                    L"P" + std::to_wstring(Below(classes + 2)));
      }
    }
  }

 private:
  std::mt19937 random_;
};

std::map<std::wstring, std::wstring> ShownLocations(fake::FakeOs& os) {
  std::map<std::wstring, std::wstring> shown;
  TypeResolver resolver(os.registry, os.shell);
  for (const auto& name : resolver.ClassNames()) {
    if (name.empty() || name[0] != L'.') continue;
    const ResolvedType type = resolver.Resolve(name);
    shown[name] = type.progId + L"=" + (type.defaultIcon ? type.defaultIcon->text : L"<none>");
  }
  return shown;
}

// A registry dump without the machine record's key.
std::wstring WithoutRecord(const std::wstring& dump) {
  std::wstring kept;
  bool skipping = false;
  std::size_t start = 0;
  while (start < dump.size()) {
    std::size_t end = dump.find(L'\n', start);
    if (end == std::wstring::npos) end = dump.size();
    const std::wstring line = dump.substr(start, end - start);
    if (line.rfind(L"[", 0) == 0) skipping = line.rfind(L"[\\software\\tarrow", 0) == 0;
    if (!skipping) kept += line + L"\n";
    start = end + 1;
  }
  return kept;
}

TEST(RoundTripTest, ApplyTakesEffectForTheUserAndRestoreGivesBackBothLayersExactly) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    Generator gen(seed);
    fake::FakeOs os;
    gen.Fill(os.registry, 2 + gen.Below(6), 1 + gen.Below(8));
    const std::wstring machineBefore = os.registry.Dump(kLocalMachine);
    const std::wstring userBefore = os.registry.Dump(kCurrentUser);
    const auto shownBefore = ShownLocations(os);

    TypeList list = ListTypes(os.os);
    std::map<std::wstring, std::wstring> assigned;  // ProgID -> the location given to it
    for (TypeItem& item : list) {
      // Types sharing a ProgID share its change, as the window gives it.
      if (const auto it = assigned.find(item.progId); it != assigned.end()) {
        item.pending = it->second;
        continue;
      }
      if (!gen.Chance(50)) continue;
      item.pending = gen.Location();
      assigned[item.progId] = *item.pending;
    }
    const ApplyOutcome applied = ChangeModel(os.os, list).Apply();
    ASSERT_TRUE(applied.failures.empty()) << "the user's own layer can always be written";
    ASSERT_TRUE(os.shell.messages.empty());

    // Every changed type shows its new icon; every other one shows what it did.
    for (const auto& [extension, before] : shownBefore) {
      SCOPED_TRACE(std::string(extension.begin(), extension.end()));
      const std::wstring progId = before.substr(0, before.find(L'='));
      const auto now = ShownLocations(os)[extension];
      const auto it = assigned.find(progId);
      EXPECT_EQ(now, it == assigned.end() ? before : progId + L"=" + it->second);
    }

    const RestoreOutcome restored = RestoreOriginals(os.os, list);
    EXPECT_TRUE(restored.failures.empty());
    EXPECT_EQ(WithoutRecord(os.registry.Dump(kLocalMachine)), machineBefore);
    EXPECT_EQ(os.registry.Dump(kCurrentUser), userBefore);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace tarrow
