// Writes a .reg file that gives the registry of the machine it runs on the
// shape of a well-used Windows HKEY_CLASSES_ROOT: 12,000 root keys in all, of
// which 3,000 are extensions whose ProgIDs have a description and an icon.
// The icons are spread over the icon-bearing DLLs and EXEs of the system
// folder, written every way they are found in the wild: plain paths,
// %SystemRoot% references stored as REG_EXPAND_SZ, quoted paths, negative
// resource ids, bare files, missing files and indexes past the last icon.
//
// usage: make_classes_root OUTPUT.reg
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRootKeys = 12000;
constexpr int kExtensions = 3000;
constexpr int kProgIds = 2400;  // fewer than extensions: some are shared

struct IconFile {
  std::wstring name;  // in the system folder
  int icons = 0;
  std::vector<int> resourceIds;  // the icon groups' numeric ids, in file order
};

BOOL CALLBACK AddGroupId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<int>*>(param)->push_back(LOWORD(name));
  return TRUE;
}

std::vector<IconFile> FindIconFiles(const std::wstring& folder) {
  std::vector<IconFile> files;
  for (const wchar_t* pattern : {L"\\*.dll", L"\\*.exe"}) {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      IconFile file;
      file.name = found.cFileName;
      const std::wstring path = folder + L"\\" + file.name;
      file.icons = static_cast<int>(::ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0));
      if (file.icons <= 0 || file.icons == -1) continue;
      if (HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        ::EnumResourceNamesW(module, RT_GROUP_ICON, AddGroupId,
                             reinterpret_cast<LONG_PTR>(&file.resourceIds));
        ::FreeLibrary(module);
      }
      files.push_back(std::move(file));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  return files;
}

std::wstring Number(int n, int width = 4) {
  wchar_t text[16];
  std::swprintf(text, std::size(text), L"%0*d", width, n);
  return text;
}

// A .reg string: backslashes and quotes escaped.
std::wstring Quoted(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

// REG_EXPAND_SZ as a .reg file spells it: the UTF-16 bytes with the
// terminator, in hex.
std::wstring ExpandString(const std::wstring& text) {
  std::wstring out = L"hex(2):";
  wchar_t byte[4];
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const unsigned c = i < text.size() ? text[i] : 0;
    for (unsigned part : {c & 0xFF, c >> 8}) {
      std::swprintf(byte, std::size(byte), L"%02x", part);
      if (out.size() > 7) out += L',';
      out += byte;
    }
  }
  return out;
}

// The icon value of ProgID `n`, as .reg data.
std::wstring IconValue(const std::vector<IconFile>& files, int n) {
  const IconFile& file = files[static_cast<std::size_t>(n) % files.size()];
  const int pick = n / static_cast<int>(files.size());
  const std::wstring index = std::to_wstring(pick % file.icons);
  const std::wstring plain = L"C:\\windows\\system32\\" + file.name;
  const std::wstring expanded = L"%SystemRoot%\\system32\\" + file.name;
  switch (n % 20) {
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
      if (!file.resourceIds.empty())
        return ExpandString(
            expanded + L",-" +
            std::to_wstring(file.resourceIds[static_cast<std::size_t>(pick) % file.resourceIds.size()]));
      return ExpandString(expanded + L"," + index);
    case 13:
    case 14:
    case 15:
      return Quoted(L"\"" + plain + L"\"," + index);
    case 16:
    case 17:
      return Quoted(L"C:\\Program Files\\Uninstalled App " + Number(n) + L"\\app.exe,0");
    case 18:
      return ExpandString(expanded);
    case 19:
      return Quoted(plain + L"," + std::to_wstring(file.icons + pick));
    default:
      return Quoted(plain + L"," + index);
  }
}

DWORD ExistingRootKeys() {
  DWORD keys = 0;
  ::RegQueryInfoKeyW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
  return keys;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: make_classes_root OUTPUT.reg\n");
    return 2;
  }
  wchar_t system[MAX_PATH];
  const std::wstring folder(system, ::GetSystemDirectoryW(system, MAX_PATH));
  const auto files = FindIconFiles(folder);
  if (files.empty()) {
    std::fwprintf(stderr, L"no icon-bearing files in %ls\n", folder.c_str());
    return 1;
  }

  std::wstring reg = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n";
  auto key = [&](const std::wstring& name) { reg += L"[HKEY_CLASSES_ROOT\\" + name + L"]\r\n"; };
  auto value = [&](const std::wstring& data) { reg += L"@=" + data + L"\r\n"; };

  for (int e = 0; e < kExtensions; ++e) {
    key(L".tb" + Number(e));
    value(Quoted(L"TarrowBench.File." + Number(e % kProgIds)));
    reg += L"\"Content Type\"=\"application/x-tarrow-bench\"\r\n\r\n";
  }
  for (int p = 0; p < kProgIds; ++p) {
    const std::wstring progId = L"TarrowBench.File." + Number(p);
    key(progId);
    value(Quoted(L"Bench Document " + Number(p)));
    key(progId + L"\\DefaultIcon");
    value(IconValue(files, p));
    key(progId + L"\\shell\\open\\command");
    value(Quoted(L"\"C:\\Program Files\\Bench\\bench.exe\" \"%1\""));
    reg += L"\r\n";
  }
  // The rest, as most of a real root is: classes with no extension of their own.
  const int others = kRootKeys - static_cast<int>(ExistingRootKeys()) - kExtensions - kProgIds;
  for (int c = 0; c < others; ++c) {
    const std::wstring name = L"TarrowBench.Class." + Number(c, 5);
    key(name);
    value(Quoted(L"Bench Class " + Number(c, 5)));
    key(name + L"\\CLSID");
    value(Quoted(L"{7A1B0000-0000-4000-8000-" + Number(c, 12) + L"}"));
    reg += L"\r\n";
  }

  std::ofstream out(std::filesystem::path(argv[1]), std::ios::binary);
  out.write(reinterpret_cast<const char*>(reg.data()),
            static_cast<std::streamsize>(reg.size() * sizeof(wchar_t)));
  if (!out) {
    std::fwprintf(stderr, L"cannot write %ls\n", argv[1]);
    return 1;
  }
  int icons = 0;
  for (const auto& file : files) icons += file.icons;
  std::printf("%d icon files (%d icons); %d root keys were there, %d added\n", static_cast<int>(files.size()),
              icons, static_cast<int>(ExistingRootKeys()), kExtensions + kProgIds + others);
  return 0;
}
