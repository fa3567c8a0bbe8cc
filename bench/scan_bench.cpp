// How long the file-type scan and the snapshot parser take on a registry the
// size of a real HKEY_CLASSES_ROOT, against a floor: the bare registry reads
// the scan cannot avoid, done in a plain loop over the same in-memory
// registry. Prints medians; asserts nothing.
//
// usage: scan_bench [repetitions]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "catalog/resolver.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "catalog/type_list.h"
#include "fake_os.h"
#include "platform/registry.h"

namespace {

using namespace tarrow;
using bench::Median;
using bench::NoSink;
using bench::TimeMs;
using bench::WalkAll;

// A machine with a good deal of software installed.
constexpr int kRootKeys = 12000;
constexpr int kExtensions = 3000;
constexpr int kProgIds = 2200;  // fewer than extensions: many are shared
constexpr int kSnapshotLines = 3000;
constexpr int kUserClasses = 400;
constexpr wchar_t kFileExtsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

struct Shape {
  int listable = 0;  // extensions the scan should list
  int rootKeys = 0;
};

std::wstring Numbered(const wchar_t* prefix, int n) {
  wchar_t text[32];
  std::swprintf(text, std::size(text), L"%ls%04d", prefix, n);
  return text;
}

// Extensions first (they sort before letters), then ProgIDs, then the rest
// (CLSID, AppID, interfaces, ...), as HKEY_CLASSES_ROOT enumerates them.
Shape BuildClassesRoot(fake::FakeOs& fake) {
  auto& reg = fake.registry;
  auto& shell = fake.shell;
  shell.environment[L"SystemRoot"] = L"C:\\Windows";
  shell.environment[L"ProgramFiles"] = L"C:\\Program Files";
  shell.iconFiles[L"c:\\windows\\system32\\imageres.dll"] = 400;
  shell.iconFiles[L"c:\\windows\\system32\\shell32.dll"] = 330;
  for (int a = 0; a < 60; ++a) {
    shell.iconFiles[fake::Lower(Numbered(L"C:\\Program Files\\App", a) + L"\\app.exe")] = 12;
  }

  // What kind of DefaultIcon each ProgID has.
  auto progIdIcon = [](int p) -> std::pair<std::wstring, std::uint32_t> {
    switch (p % 10) {
      case 0:
      case 1:
      case 2:
        return {L"%SystemRoot%\\system32\\imageres.dll," + std::to_wstring(p % 200), kRegExpandSz};
      case 3:
        return {L"%SystemRoot%\\System32\\shell32.dll," + std::to_wstring(p % 300), kRegExpandSz};
      case 4:
      case 5:
        return {Numbered(L"C:\\Program Files\\App", p % 60) + L"\\app.exe," + std::to_wstring(p % 12),
                kRegSz};
      case 6:
        return {L"\"" + Numbered(L"C:\\Program Files\\App", p % 60) + L"\\app.exe\",1", kRegSz};
      case 7:
        return {L"%1", kRegSz};  // the file is its own icon: not listed
      case 8:
        return {Numbered(L"C:\\Program Files\\Gone", p) + L"\\gone.exe,0", kRegSz};  // falls back
      default:
        return {L"", 0};  // no DefaultIcon key
    }
  };

  Shape shape;
  std::vector<bool> progIdListable(kProgIds);
  for (int p = 0; p < kProgIds; ++p) {
    const auto [location, type] = progIdIcon(p);
    // A class without a name is listed all the same, named as Explorer names it.
    progIdListable[static_cast<std::size_t>(p)] = !location.empty() && location != L"%1";
  }

  for (int e = 0; e < kExtensions; ++e) {
    const std::wstring extension = Numbered(L".x", e);
    reg.CreateKey(kClassesRoot, extension);
    reg.SetText(kClassesRoot, extension, L"Content Type", L"application/x-bench");
    if (e % 5 == 4) {  // only OpenWithProgids, no default value
      reg.CreateKey(kClassesRoot, extension + L"\\OpenWithProgids");
      continue;
    }
    const int p = (e * 7) % kProgIds;
    reg.SetText(kClassesRoot, extension, L"", Numbered(L"Bench.Type", p));
    if (progIdListable[static_cast<std::size_t>(p)]) ++shape.listable;
  }
  for (int p = 0; p < kProgIds; ++p) {
    const std::wstring progId = Numbered(L"Bench.Type", p);
    reg.CreateKey(kClassesRoot, progId);
    if (p % 17 != 0) reg.SetText(kClassesRoot, progId, L"", L"Bench document " + std::to_wstring(p));
    reg.CreateKey(kClassesRoot, progId + L"\\shell\\open\\command");
    const auto [location, type] = progIdIcon(p);
    if (!location.empty()) reg.SetText(kClassesRoot, progId + L"\\DefaultIcon", L"", location, type);
  }
  const int others = kRootKeys - kExtensions - kProgIds;
  for (int k = 0; k < others; ++k) {
    reg.CreateKey(kClassesRoot, Numbered(k % 3 == 0 ? L"Component" : L"Interface.Object", k));
  }
  shape.rootKeys = kRootKeys;

  // The per-user side as most machines have it: some classes of per-user
  // installs, and Explorer's records of the extensions the user opened, few
  // of which name a default app. None changes which types are listed.
  for (int u = 0; u < kUserClasses; ++u) {
    reg.SetText(kCurrentUser, ClassPath(Numbered(L"UserApp.Document", u)), L"", L"Per-user document");
  }
  for (int e = 0; e < kExtensions; e += 3) {
    reg.CreateKey(kCurrentUser, std::wstring(kFileExtsKey) + Numbered(L".x", e) + L"\\OpenWithList");
  }
  return shape;
}

// Keeps a result alive so the optimizer cannot drop the work.
volatile std::size_t g_sink;

constexpr int kStoreTypes = 500;
constexpr int kStoreApps = 12;  // a few apps, each the default of many types

// Makes `kStoreTypes` listed types Store apps' types, as on a machine whose
// Photos, Movies & TV and the like are the default apps: the user's choice
// names a class of the app's, in the user's layer, without a default value,
// named by a package resource and drawn from a picture in the package. The
// system resolves both (the fake as SHLoadIndirectString is documented to).
// The number of types listed stays the same.
int MakeStoreTypes(fake::FakeOs& fake) {
  int made = 0;
  TypeResolver resolver(fake.registry, fake.shell);
  for (int e = 0; e < kExtensions && made < kStoreTypes; ++e) {
    const std::wstring extension = Numbered(L".x", e);
    const ResolvedType type = resolver.Resolve(extension);
    if (!ListedItem(type)) continue;
    const std::wstring app = Numbered(L"Bench.App", made % kStoreApps);
    const std::wstring package = app + L"_1.0.0.0_x64__8wekyb3d8bbwe";
    const std::wstring appClass = Numbered(L"AppXbench", made);
    const std::wstring name = L"{" + package + L"?ms-resource://" + app + L"/resources/FileType}";
    const std::wstring icon = L"{" + package + L"?ms-resource://" + app + L"/Files/Assets/Logo.png}";
    fake.registry.SetText(kCurrentUser, ClassPath(appClass), L"FriendlyTypeName", L"@" + name);
    fake.registry.SetText(kCurrentUser, DefaultIconPath(appClass), L"", L"@" + icon);
    fake.registry.SetText(kCurrentUser, std::wstring(kFileExtsKey) + extension + L"\\UserChoice", L"ProgId",
                          appClass);
    fake.shell.indirectStrings[fake::Lower(name.substr(1, name.size() - 2))] = app + L" file";
    fake.shell.indirectStrings[fake::Lower(icon.substr(1, icon.size() - 2))] =
        L"C:\\Program Files\\WindowsApps\\" + package + L"\\Assets\\Logo.png";
    ++made;
  }
  return made;
}

std::string SnapshotBytes() {
  std::string bytes = "\xEF\xBB\xBF";
  for (int i = 0; i < kSnapshotLines; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "Bench.Type%04d,%%SystemRoot%%\\system32\\imageres.dll,-%d\r\n", i,
                  100 + i % 200);
    bytes += line;
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

  fake::FakeOs fake;
  const Shape shape = BuildClassesRoot(fake);

  // (a) The reads the scan must do: list the root, then for each extension
  // its ProgID, the ProgID's description and its DefaultIcon.
  std::size_t floorFound = 0;
  auto floorReads = [&] {
    std::vector<std::wstring> names;
    std::int32_t index = 0;
    RegListSubkeys(fake.registry, kClassesRoot, L"", names, index);
    std::size_t found = 0;
    for (const auto& name : names) {
      if (name.empty() || name[0] != L'.') continue;
      const std::wstring progId = RegReadValue(fake.registry, kClassesRoot, name, L"");
      if (progId.empty()) continue;
      const std::wstring description = RegReadValue(fake.registry, kClassesRoot, progId, L"");
      const std::wstring location = RegReadValue(fake.registry, kClassesRoot, progId + L"\\DefaultIcon", L"");
      g_sink = description.size();
      if (!location.empty() && location != L"%1") ++found;
    }
    floorFound = found;
    g_sink = found;
  };

  // (b) The scan itself, pictures and list going nowhere: as on every run but
  // the first, with a snapshot present; and the first run's, which also
  // writes Defaults.dat.
  NoSink sink;
  ImageStore images(sink);
  TypeList types;
  const std::wstring snapshotPath = fake.shell.programFolder + L"\\" + kSnapshotName;
  WalkAll(fake.os, types, images);  // takes the snapshot
  const std::size_t listed = types.size();
  const bool snapshotTaken = fake.files.files.count(snapshotPath) > 0;
  auto scan = [&] { WalkAll(fake.os, types, images); };
  auto firstScan = [&] {
    fake.files.files.erase(snapshotPath);
    WalkAll(fake.os, types, images);
  };

  // (c) The type resolver on the same registry: both layers, user choices,
  // CurVer and icon handlers, for every extension of the merged names.
  std::size_t resolvedFound = 0;
  auto resolveAll = [&] {
    TypeResolver resolver(fake.registry, fake.shell);
    std::size_t found = 0;
    for (const auto& name : resolver.ClassNames()) {
      if (name.empty() || name[0] != L'.') continue;
      const ResolvedType type = resolver.Resolve(name);
      if (!type.description.empty() && type.defaultIcon && !type.defaultIcon->text.empty() &&
          !type.iconHandler)
        ++found;
    }
    resolvedFound = found;
    g_sink = found;
  };

  // Taken in turns, so that a busy machine slows them all alike.
  std::vector<double> floorTimes, scanTimes, firstScanTimes, resolveTimes;
  for (int r = 0; r < repetitions; ++r) {
    floorTimes.push_back(TimeMs(floorReads));
    scanTimes.push_back(TimeMs(scan));
    firstScanTimes.push_back(TimeMs(firstScan));
    resolveTimes.push_back(TimeMs(resolveAll));
  }
  const double floorMs = Median(floorTimes);
  const double scanMs = Median(scanTimes);
  const double firstScanMs = Median(firstScanTimes);
  const double resolveMs = Median(resolveTimes);

  // (d) Reading a snapshot back.
  const std::string bytes = SnapshotBytes();
  std::size_t parsed = 0;
  std::vector<double> parseTimes;
  for (int r = 0; r < repetitions * 4; ++r) {
    parseTimes.push_back(TimeMs([&] {
      parsed = ParseSnapshot(fake.shell, bytes).lines.size();
      g_sink = parsed;
    }));
  }
  const double parseMs = Median(parseTimes);

  // (e) The same number of types, 500 of them Store apps', beside the plain
  // ones, in turns.
  fake::FakeOs store;
  BuildClassesRoot(store);
  const int storeTypes = MakeStoreTypes(store);
  TypeList storeList;
  WalkAll(store.os, storeList, images);
  std::size_t packaged = 0;
  for (const TypeItem& item : storeList) packaged += IsPackagedIcon(item.location) ? 1 : 0;
  std::vector<double> plainTimes, storeTimes;
  for (int r = 0; r < repetitions; ++r) {
    plainTimes.push_back(TimeMs(scan));
    storeTimes.push_back(TimeMs([&] { WalkAll(store.os, storeList, images); }));
  }

  std::printf(
      "note|native: %d root keys, %d extensions, %d ProgIDs; %d listable (floor found %zu, scan listed "
      "%zu); medians of %d runs\n",
      shape.rootKeys, kExtensions, kProgIds, shape.listable, floorFound, listed, repetitions);
  using bench::TimeRow;
  TimeRow("native: the walk on its worker, in-memory registry", scanMs, floorMs, "-");
  TimeRow("native: the walk taking the snapshot", firstScanMs, floorMs, "-");
  TimeRow("native: TypeResolver, every extension of both layers", resolveMs, floorMs, "-");
  std::printf("note|native: ParseSnapshot reads %zu lines in %.2f ms\n", parsed, parseMs);
  std::printf("note|native: %d of %zu types made Store apps' types (%zu listed with a package's icon)\n",
              storeTypes, storeList.size(), packaged);
  TimeRow("native: the walk, 500 of 1,800 listed types Store apps' (floor: all plain)", Median(storeTimes),
          Median(plainTimes), "1.1x");

  // A benchmark that measured the wrong thing is worse than none.
  if (listed != floorFound || static_cast<int>(listed) != shape.listable || resolvedFound != floorFound ||
      !snapshotTaken || parsed != static_cast<std::size_t>(kSnapshotLines) || storeTypes != kStoreTypes ||
      storeList.size() != listed || packaged != static_cast<std::size_t>(kStoreTypes)) {
    std::fprintf(stderr, "scan_bench: the scan did not do the expected work\n");
    return 1;
  }
  return 0;
}
