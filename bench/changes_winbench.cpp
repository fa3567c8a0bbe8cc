// Times Apply and Restore Defaults of 3,000 types against their floor in the
// same run: the same registry writes done bare (open, set, close), plus one
// save of a record of that size. The types are made for the run under
// HKEY_LOCAL_MACHINE\Software\Classes and removed after it. An import of
// the same 3,000 values from the .reg file Export writes is timed against
// that round's Apply.
// Prints table lines for scripts/bench.sh; asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "catalog/scan.h"
#include "changes/change_model.h"
#include "changes/icon_transfer.h"
#include "changes/journal.h"
#include "changes/restore.h"
#include "platform/win32/win32_os.h"

namespace {

using namespace tarrow;

constexpr int kTypes = 3000;
constexpr int kRounds = 3;

constexpr wchar_t kClassPrefix[] = L"TarrowBench.Type";

std::wstring ClassName(int i) {
  return kClassPrefix + std::to_wstring(i);
}

// The number of one of this benchmark's classes, or -1 for any other ProgID
// (the prefix's registry holds other TarrowBench classes of its own).
int ClassNumber(const std::wstring& progId) {
  const std::wstring_view prefix = kClassPrefix;
  if (progId.size() <= prefix.size() || progId.size() > prefix.size() + 5 ||
      progId.compare(0, prefix.size(), prefix) != 0)
    return -1;
  int n = 0;
  for (std::size_t i = prefix.size(); i < progId.size(); ++i) {
    if (progId[i] < L'0' || progId[i] > L'9') return -1;
    n = n * 10 + (progId[i] - L'0');
  }
  return n < kTypes ? n : -1;
}

void SetText(const std::wstring& path, const std::wstring& text) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + path).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr))
    return;
  ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

void MakeTypes() {
  for (int i = 0; i < kTypes; ++i) {
    SetText(L".tarrowbench" + std::to_wstring(i), ClassName(i));
    SetText(ClassName(i), L"Bench type " + std::to_wstring(i));
    SetText(ClassName(i) + L"\\DefaultIcon",
            L"C:\\windows\\system32\\shell32.dll," + std::to_wstring(i % 300));
  }
}

void RemoveTypes() {
  for (int i = 0; i < kTypes; ++i) {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L".tarrowbench" + std::to_wstring(i)).c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassName(i).c_str());
  }
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
}

// The writes any Apply of these types does, bare, and one record save.
double FloorMs(Os& os, const std::vector<JournalEntry>& record, int shift) {
  return bench::TimeMs([&] {
    for (int i = 0; i < kTypes; ++i) {
      HKEY key = nullptr;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          (L"Software\\Classes\\" + ClassName(i) + L"\\DefaultIcon").c_str(), 0,
                          KEY_SET_VALUE, &key))
        continue;
      const std::wstring text = L"C:\\windows\\system32\\shell32.dll," + std::to_wstring((i + shift) % 300);
      ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
      ::RegCloseKey(key);
    }
    SaveRecord(os, RecordScope::Machine, record);
  });
}

}  // namespace

int wmain() {
  Os& os = win32::RealOs();
  RemoveTypes();
  MakeTypes();
  std::vector<double> applies, restores, applyFloors, restoreFloors, imports;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring regFile = std::wstring(temp) + L"tarrow-changes-bench.reg";
  for (int round = 0; round < kRounds; ++round) {
    TypeList types = ListTypes(os);
    ChangeModel changes(os, types);
    std::size_t assigned = 0;
    for (std::size_t i = 0; i < types.size(); ++i) {
      const int n = ClassNumber(types[i].progId);
      if (n < 0) continue;
      if (changes.Assign(i, L"C:\\windows\\system32\\shell32.dll," + std::to_wstring((n + 7) % 300)))
        ++assigned;
    }
    ApplyOutcome applied;
    applies.push_back(bench::TimeMs([&] { applied = changes.Write(); }));
    const std::vector<JournalEntry> record = LoadRecord(os, RecordScope::Machine).entries;
    ExportIcons(os, regFile);
    RestoreOutcome restored;
    restores.push_back(bench::TimeMs([&] { restored = RestoreOriginals(os, TypeList{}); }));
    // The same icons again, from the file: read, planned and written.
    ApplyOutcome imported;
    imports.push_back(bench::TimeMs([&] { imported = ApplyImport(os, PlanImport(os, regFile), types); }));
    RestoreOriginals(os, TypeList{});
    // The floors write the same values back and forth, with a record as large.
    applyFloors.push_back(FloorMs(os, record, 7));
    restoreFloors.push_back(FloorMs(os, record, 0));
    std::printf("note|changes: round %d assigned %zu, written %zu, restored %zu, imported %zu\n", round + 1,
                assigned, applied.written, restored.written, imported.written);
    // Each round starts from records as a first Apply finds them.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
  }
  // What reading every original costs, which any recorded change needs.
  const double reads = bench::TimeMs([&] {
    for (int i = 0; i < kTypes; ++i) ReadOriginal(os.registry, ClassLayer::Machine, ClassName(i));
  });
  std::printf("note|changes: reading the 3000 originals alone takes %.0f ms\n", reads);
  bench::TimeRow("Apply of 3000 types", bench::Median(applies), bench::Median(applyFloors), "1.5x");
  bench::TimeRow("Restore Defaults of 3000 types", bench::Median(restores), bench::Median(restoreFloors),
                 "1.5x");
  bench::TimeRow("Import of 3000 values (floor: their Apply)", bench::Median(imports), bench::Median(applies),
                 "1.5x");
  ::DeleteFileW(regFile.c_str());
  RemoveTypes();
  return 0;
}
