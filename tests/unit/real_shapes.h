// File-type registrations as Windows 10 and 11 machines hold them, written
// from Microsoft's documentation of file types, ProgIDs, FriendlyTypeName,
// SHLoadIndirectString and packaged apps' associations. A fresh Wine prefix
// holds none of these shapes: Store apps' classes in the user's layer with no
// default value and a package's picture for an icon, names given only as
// indirect strings, extensions known only from the user's choice, quoted
// files with negative resource ids, files without an index, %systemroot% in
// lower case, REG_SZ values holding %SystemRoot%, names differing in case, a
// class that names a CLSID key that is not there, and icons that are each
// file itself.
//
// Plain data, so that the native tests put it into the fake registry and the
// Wine suite into Wine's.
#pragma once

#include <cstdint>
#include <utility>

namespace tarrow::shapes {

enum class Where {
  UserClasses,     // HKEY_CURRENT_USER\Software\Classes
  MachineClasses,  // HKEY_LOCAL_MACHINE\Software\Classes
  FileExts,        // HKEY_CURRENT_USER\...\Explorer\FileExts
};

struct Value {
  Where where;
  const wchar_t* key;
  const wchar_t* name;  // L"" for the default value
  std::uint32_t type;   // 1 REG_SZ, 2 REG_EXPAND_SZ
  const wchar_t* text;
};

inline constexpr wchar_t kPhotosClass[] = L"AppX2jm25qtmp2qxstv333wv5mne3k5bf4bm";
inline constexpr wchar_t kPhotosIcon[] =
    L"@{Microsoft.Windows.Photos_16.622.13140.0_x64__8wekyb3d8bbwe?ms-resource://Microsoft.Windows.Photos/"
    L"Files/Assets/PhotosLogoExtensions.png}";
inline constexpr wchar_t kVideoClass[] = L"AppX6eg8h5sxqq90pv53845wmnbewywdqq5h";
inline constexpr wchar_t kVideoIcon[] =
    L"@{Microsoft.ZuneVideo_10.22091.10041.0_x64__8wekyb3d8bbwe?ms-resource://Microsoft.ZuneVideo/Files/"
    L"Assets/FileExtension.png}";
inline constexpr wchar_t kVideoName[] =
    L"@{Microsoft.ZuneVideo_10.22091.10041.0_x64__8wekyb3d8bbwe?ms-resource://Microsoft.ZuneVideo/"
    L"resources/IDS_VIDEOFILETYPE}";

inline constexpr Value kValues[] = {
    // Photos is the default app of .gif: the user's choice names the app's
    // class, which the app registered for the user alone, without a name.
    {Where::MachineClasses, L".gif", L"", 1, L"giffile"},
    {Where::MachineClasses, L"giffile", L"", 1, L"GIF image"},
    {Where::MachineClasses, L"giffile\\DefaultIcon", L"", 2, L"%SystemRoot%\\System32\\imageres.dll,-71"},
    {Where::UserClasses, L".gif\\OpenWithProgids", kPhotosClass, 1, L""},
    {Where::UserClasses, L"AppX2jm25qtmp2qxstv333wv5mne3k5bf4bm\\Application", L"AppUserModelID", 1,
     L"Microsoft.Windows.Photos_8wekyb3d8bbwe!App"},
    {Where::UserClasses, L"AppX2jm25qtmp2qxstv333wv5mne3k5bf4bm\\DefaultIcon", L"", 1, kPhotosIcon},
    {Where::FileExts, L".gif\\UserChoice", L"ProgId", 1, kPhotosClass},
    {Where::FileExts, L".gif\\UserChoice", L"Hash", 1, L"q2x0lUwCBqY="},
    // Movies & TV for .avi, its class named by a package resource.
    {Where::UserClasses, L".avi", L"", 1, kVideoClass},
    {Where::UserClasses, L"AppX6eg8h5sxqq90pv53845wmnbewywdqq5h", L"FriendlyTypeName", 1, kVideoName},
    {Where::UserClasses, L"AppX6eg8h5sxqq90pv53845wmnbewywdqq5h\\DefaultIcon", L"", 1, kVideoIcon},
    // Named only by FriendlyTypeName: a quoted file with %systemroot% in
    // lower case; a file and id with %ProgramFiles%.
    {Where::MachineClasses, L".ps1", L"", 1, L"Microsoft.PowerShellScript.1"},
    {Where::MachineClasses, L"Microsoft.PowerShellScript.1", L"FriendlyTypeName", 2,
     L"@\"%systemroot%\\system32\\windowspowershell\\v1.0\\powershell.exe\",-103"},
    {Where::MachineClasses, L"Microsoft.PowerShellScript.1\\DefaultIcon", L"", 1,
     L"\"%systemroot%\\system32\\windowspowershell\\v1.0\\powershell.exe\",1"},
    {Where::MachineClasses, L".tif", L"", 1, L"PhotoViewer.FileAssoc.Tiff"},
    {Where::MachineClasses, L"PhotoViewer.FileAssoc.Tiff", L"FriendlyTypeName", 2,
     L"@%ProgramFiles%\\Windows Photo Viewer\\PhotoViewer.dll,-3058"},
    {Where::MachineClasses, L"PhotoViewer.FileAssoc.Tiff\\DefaultIcon", L"", 2,
     L"%SystemRoot%\\System32\\imageres.dll,-122"},
    // A quoted file with a negative resource id.
    {Where::MachineClasses, L".msu", L"", 1, L"Microsoft.System.Update.1"},
    {Where::MachineClasses, L"Microsoft.System.Update.1", L"", 1, L"Microsoft Update Standalone Package"},
    {Where::MachineClasses, L"Microsoft.System.Update.1\\DefaultIcon", L"", 2,
     L"\"%systemroot%\\system32\\wusa.exe\",-101"},
    // A file without an index, and a name the system resolves.
    {Where::MachineClasses, L".zip", L"", 1, L"CompressedFolder"},
    {Where::MachineClasses, L"CompressedFolder", L"FriendlyTypeName", 2,
     L"@%SystemRoot%\\system32\\zipfldr.dll,-10195"},
    {Where::MachineClasses, L"CompressedFolder\\DefaultIcon", L"", 2, L"%SystemRoot%\\system32\\zipfldr.dll"},
    // REG_SZ holding %SystemRoot%, which the shell expands all the same.
    {Where::MachineClasses, L".cab", L"", 1, L"CABFolder"},
    {Where::MachineClasses, L"CABFolder", L"", 1, L"Cabinet File"},
    {Where::MachineClasses, L"CABFolder\\DefaultIcon", L"", 1, L"%SystemRoot%\\system32\\cabview.dll,0"},
    // Names in other cases than their keys: .msc names "MSCFile", whose
    // key is "mscfile"; .RDP is registered in capitals. The console's
    // FriendlyTypeName is one the system cannot find: the default value
    // names it.
    {Where::MachineClasses, L".msc", L"", 1, L"MSCFile"},
    {Where::MachineClasses, L"mscfile", L"", 1, L"Microsoft Common Console Document"},
    {Where::MachineClasses, L"mscfile", L"FriendlyTypeName", 2,
     L"@%SystemRoot%\\system32\\mmcndmgr.dll,-9999"},
    {Where::MachineClasses, L"mscfile\\DefaultIcon", L"", 2, L"%SystemRoot%\\system32\\mmc.exe,0"},
    {Where::MachineClasses, L".RDP", L"", 1, L"RDP.File"},
    {Where::MachineClasses, L"RDP.File", L"", 1, L"Remote Desktop Connection"},
    {Where::MachineClasses, L"RDP.File", L"FriendlyTypeName", 2,
     L"@%systemroot%\\system32\\mstscax.dll,-13003"},
    {Where::MachineClasses, L"RDP.File\\DefaultIcon", L"", 2, L"%systemroot%\\system32\\mstscax.dll,-13417"},
    // Known only from the user's choice of a program by its file; the value
    // name in another case, which the registry does not tell apart.
    {Where::FileExts, L".lua\\UserChoice", L"Progid", 1, L"Applications\\luaw.exe"},
    {Where::UserClasses, L"Applications\\luaw.exe\\shell\\open\\command", L"", 1,
     L"\"C:\\Program Files\\Lua\\luaw.exe\" \"%1\""},
    // A class that names a CLSID key the machine does not have.
    {Where::MachineClasses, L".mydocs", L"", 1, L"CLSID\\{ECF03A32-103D-11d2-854D-006008059367}"},
    // Each file is its own icon.
    {Where::MachineClasses, L".ani", L"", 1, L"anifile"},
    {Where::MachineClasses, L"anifile", L"", 1, L"Animated Cursor"},
    {Where::MachineClasses, L"anifile\\DefaultIcon", L"", 2, L"%1"},
};

// The keys the values above create at the top of each place, for a test to
// remove afterwards.
inline constexpr std::pair<Where, const wchar_t*> kTopKeys[] = {
    {Where::MachineClasses, L".gif"},
    {Where::MachineClasses, L"giffile"},
    {Where::UserClasses, L".gif"},
    {Where::UserClasses, kPhotosClass},
    {Where::FileExts, L".gif"},
    {Where::UserClasses, L".avi"},
    {Where::UserClasses, kVideoClass},
    {Where::MachineClasses, L".ps1"},
    {Where::MachineClasses, L"Microsoft.PowerShellScript.1"},
    {Where::MachineClasses, L".tif"},
    {Where::MachineClasses, L"PhotoViewer.FileAssoc.Tiff"},
    {Where::MachineClasses, L".msu"},
    {Where::MachineClasses, L"Microsoft.System.Update.1"},
    {Where::MachineClasses, L".zip"},
    {Where::MachineClasses, L"CompressedFolder"},
    {Where::MachineClasses, L".cab"},
    {Where::MachineClasses, L"CABFolder"},
    {Where::MachineClasses, L".msc"},
    {Where::MachineClasses, L"mscfile"},
    {Where::MachineClasses, L".RDP"},
    {Where::MachineClasses, L"RDP.File"},
    {Where::FileExts, L".lua"},
    {Where::UserClasses, L"Applications\\luaw.exe"},
    {Where::MachineClasses, L".mydocs"},
    {Where::MachineClasses, L".ani"},
    {Where::MachineClasses, L"anifile"},
};

inline constexpr wchar_t kFileExtsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

}  // namespace tarrow::shapes
