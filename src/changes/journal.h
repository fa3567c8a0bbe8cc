// The change journal: the original of every registry value the program has
// written, recorded before the first write, so that a restore puts back
// exactly what was there, down to a value or key that did not exist.
//
// Every value the program writes is the default value of a class's
// DefaultIcon key in one layer, so that is all an entry describes. The file
// lives in the user's data folder, where any program of the user can change
// it, while a restore may run with administrator rights: it is read as
// untrusted input, and a file that fails its check counts as a whole.
//
// Format (UTF-8 text, LF after every line):
//   TarrowJournal 1
//   <layer> <class key><icon key><value> <type> <bytes> <ProgID>     one per entry
//   check <CRC-32 of every byte before this line, 8 lower-case hex digits>
// layer is "user" or "machine"; the three existence flags are "0" or "1";
// type is decimal, 0 when the value did not exist; bytes are lower-case hex,
// "-" for none; the ProgID's UTF-16 code units are written as they are when
// printable ASCII other than "%", and as "%" and four hex digits otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/class_layer.h"
#include "platform/os.h"

namespace tarrow {

inline constexpr wchar_t kJournalName[] = L"Changes.journal";
// Far beyond what any registry holds of DefaultIcon values, and well below
// what a reader can hold: a larger file is not one this program wrote.
inline constexpr std::size_t kJournalMaxBytes = std::size_t{64} << 20;
inline constexpr std::size_t kJournalMaxEntries = 200000;

struct JournalEntry {
  ClassLayer layer = ClassLayer::User;
  std::wstring progId;  // the value is <layer>\Software\Classes\<progId>\DefaultIcon, default value
  bool classKeyExisted = false;
  bool iconKeyExisted = false;
  bool valueExisted = false;
  std::uint32_t type = 0;            // when valueExisted: kRegSz or kRegExpandSz
  std::vector<unsigned char> bytes;  // when valueExisted: exactly as stored
  bool operator==(const JournalEntry&) const = default;
};

enum class JournalState {
  Missing,     // no journal: nothing has been written
  Intact,      // read and checked
  Damaged,     // bad header, version or check: none of it may be used
  Unreadable,  // there, or no place for it is known, but it cannot be read
};

struct JournalLoad {
  JournalState state = JournalState::Missing;
  std::vector<JournalEntry> entries;  // only when Intact
};

// %LOCALAPPDATA%\Tarrow\Changes.journal; empty when the folder is unknown.
std::wstring JournalPath(Shell& shell);

JournalLoad LoadJournal(Os& os);

// Puts the whole journal in place or changes nothing; an empty list removes
// the file. False when the journal could not be written (nor removed), or
// is one LoadJournal would not accept: more than a reader takes, an entry a
// restore must not write, one value twice.
bool SaveJournal(Os& os, const std::vector<JournalEntry>& entries);

std::string SerializeJournal(const std::vector<JournalEntry>& entries);
// The entries of a journal's bytes; nullopt for anything but a file in
// exactly the form SerializeJournal writes with its check intact.
std::optional<std::vector<JournalEntry>> ParseJournal(std::string_view bytes);

// Whether a restore may write the entry back: its ProgID is one key name
// (1 to 255 characters, no backslash, no NUL), its layer is known, the flags
// agree (a value only in a key that existed, a DefaultIcon key only under a
// class key that existed), and a value that existed has type kRegSz or
// kRegExpandSz while one that did not has neither type nor bytes.
bool IsRestorableEntry(const JournalEntry& entry);

// Appends the original of each value about to be written that the journal
// does not hold yet. The first original of a value is never replaced: the
// same layer and a ProgID that differs only in case (as the registry
// compares key names, through shell.LowerCase) is the same value.
void RecordOriginals(Shell& shell, std::vector<JournalEntry>& journal,
                     const std::vector<JournalEntry>& originals);

// The original state of <layer>\Software\Classes\<progId>\DefaultIcon's
// default value; nullopt when it cannot be read (a key that cannot be opened
// for another reason than its absence, a value of another type, a value that
// changes while being read).
std::optional<JournalEntry> ReadOriginal(Registry& registry, ClassLayer layer, const std::wstring& progId);

}  // namespace tarrow
