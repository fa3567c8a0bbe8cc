// Where the icons Tarrow makes of pictures are kept: a folder of Tarrow's
// for each record, readable by everyone who reads the values naming them.
//   - for the user's layer, %LOCALAPPDATA%\Tarrow\Icons, the user's own;
//   - for the machine layer, %ProgramData%\Tarrow\Icons, which every user
//     reads and only administrators can change, and is used only while that
//     holds, so that no user can swap the icon every user sees.
// A file is named by its picture's digest, so one picture is one file
// whichever types show it. Which files Tarrow made needs no list of its own:
// they are the values a record says Tarrow wrote that name a file of that
// scope's folder, and a file goes once no value in place names it.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "catalog/picture_pixels.h"
#include "changes/journal.h"
#include "changes/picture_icon.h"
#include "platform/os.h"

namespace tarrow {

class ChangeRecords;

// The picture a location names: its file, when that is a picture and the
// index is 0 or not given; nullopt for any other location.
std::optional<std::wstring> PictureFileOf(const std::wstring& location);

// The icon file Tarrow made that a location names, wherever it lies: a file
// "<64 hex digits>.ico" at index 0; nullopt for any other location.
std::optional<std::wstring> MadeIconFileOf(Shell& shell, const std::wstring& location);

// Where an export puts the icon files its values name, beside the .reg file
// ("icons.reg" keeps them in "icons icons"), so that the set travels whole:
// an import takes a file it lacks from there.
std::wstring CarriedIconsFolder(const std::wstring& regFile);

// An icon file Tarrow made elsewhere, read to be stored here: it must be an
// icon file no larger than a picture may be; it is named by its own digest.
PictureIcon CarriedIcon(Os& os, const std::wstring& path);

// The folder of the icons made for a record's layer; empty when the system
// does not say where its data folder is.
std::wstring IconsFolder(Shell& shell, RecordScope scope);

// Makes the scope's folder, and Tarrow's folder above it, if they are not
// there. True when they are there and may be used: for the machine, both
// are folders only administrators can change; those it made and may not use
// are removed again.
bool PrepareIconsFolder(Os& os, RecordScope scope);

// The location written for an icon file of the folder: "<folder>\<name>,0".
std::wstring StoredIconLocation(const std::wstring& folder, const std::wstring& fileName);

// Puts the icon's bytes at `path`, unless a file of exactly those bytes is
// there already; a file of other bytes is replaced whole.
bool StoreIconFile(FileSystem& files, const std::wstring& path, std::string_view bytes);

// The icon file of Tarrow's own that a value names, as a path of a scope's
// Icons folder (IconsFolder's, asked once by callers that look at many
// values): "<folder>\<64 hex digits>.ico" at index 0, compared as the system
// compares paths. nullopt for any other value, or with no folder.
std::optional<std::wstring> OwnIconFile(Shell& shell, const std::wstring& folder,
                                        const std::optional<StoredValue>& value);

// Removes each of the files (paths OwnIconFile gave) that no value in place
// names: the current value of every entry of both records, with each file
// compared as the system compares paths. Nothing is removed unless both
// records could be read, for without one it is not known what is in use.
// Returns how many were removed.
std::size_t RemoveUnusedIcons(Os& os, ChangeRecords& records, const std::set<std::wstring>& candidates);

}  // namespace tarrow
