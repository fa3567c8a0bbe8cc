// The change records: for every registry value the program has written, its
// exact original, recorded before the first write, and the value the program
// wrote, recorded before each write. A restore puts an original back only
// where the value still is what the program wrote, so it never overwrites
// another program's later change, and restoring twice gives what restoring
// once gives.
//
// Every value the program writes is the default value of a class's
// DefaultIcon key in one layer, so that is all an entry describes. Each record
// is guarded like the values it restores:
//   - the user's record, %LOCALAPPDATA%\Tarrow\Changes.journal, holds the
//     per-user layer's values; any program of the user can change it;
//   - the machine record, the value "Changes" of the key
//     HKEY_LOCAL_MACHINE\Software\Tarrow, holds the machine layer's values;
//     that key lets only
//     administrators and the system change it, and is trusted only while it
//     does.
// Both are read as untrusted input, and one that fails its check counts as a
// whole. Older versions kept machine entries in the user's record; those are
// used only by a process without administrator rights, which can do no more
// with them than its user could.
//
// Format (UTF-8 text, LF after every line):
//   TarrowJournal 2
//   <layer> <flags> <type> <bytes> <written type> <written bytes> <earlier type> <earlier bytes> <state>
//   <ProgID>                                                            one line per entry
//   check <CRC-32 of every byte before this line, 8 lower-case hex digits>
// layer is "user" or "machine"; flags are the class key's, the DefaultIcon
// key's and the value's existence, each "0" or "1"; types are decimal, 0 for
// none; bytes are lower-case hex, "-" for none; state is "active" while the
// program's value may be in place, "settled" once the original is back or the
// value was left to another program; the ProgID's UTF-16 code units are
// written as they are when printable ASCII other than "%", and as "%" and four
// hex digits otherwise. Version 1 files (no written value, no state) are read
// as active entries whose written value is unknown.
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
// The machine record: a value of a key only administrators can change.
inline constexpr wchar_t kMachineRecordKey[] = L"Software\\Tarrow";
inline constexpr wchar_t kMachineRecordValue[] = L"Changes";
// Far beyond what any registry holds of DefaultIcon values, and well below
// what a reader can hold: a larger file is not one this program wrote.
inline constexpr std::size_t kJournalMaxBytes = std::size_t{64} << 20;
inline constexpr std::size_t kJournalMaxEntries = 200000;

// A registry value exactly as stored.
struct StoredValue {
  std::uint32_t type = 0;  // kRegSz or kRegExpandSz
  std::vector<unsigned char> bytes;
  bool operator==(const StoredValue&) const = default;
};

struct JournalEntry {
  ClassLayer layer = ClassLayer::User;
  std::wstring progId;  // the value is <layer>\Software\Classes\<progId>\DefaultIcon, default value
  // The original.
  bool classKeyExisted = false;
  bool iconKeyExisted = false;
  bool valueExisted = false;
  std::uint32_t type = 0;            // when valueExisted: kRegSz or kRegExpandSz
  std::vector<unsigned char> bytes;  // when valueExisted: exactly as stored
  // What the program last wrote there, recorded before writing it; unknown
  // only in entries of older versions.
  std::optional<StoredValue> written = std::nullopt;
  // What it wrote before that: a process stopped between recording a new
  // value and writing it leaves this one in place.
  std::optional<StoredValue> earlier = std::nullopt;
  // The original is back, or the value was left to another program: nothing
  // is left to restore, and Defaults.dat never speaks for this type again.
  bool settled = false;
  bool operator==(const JournalEntry&) const = default;
};

enum class JournalState {
  Missing,     // no record: nothing has been written
  Intact,      // read and checked
  Damaged,     // bad header, version or check: none of it may be used
  Unreadable,  // there, or no place for it is known, but it cannot be read
  Untrusted,   // the machine record's key lets others than administrators change it
};

struct JournalLoad {
  JournalState state = JournalState::Missing;
  std::vector<JournalEntry> entries;  // only when Intact
  bool usable() const { return state == JournalState::Intact || state == JournalState::Missing; }
};

enum class RecordScope { User, Machine };

inline RecordScope ScopeOf(ClassLayer layer) {
  return layer == ClassLayer::User ? RecordScope::User : RecordScope::Machine;
}

// %LOCALAPPDATA%\Tarrow\Changes.journal; empty when the folder is unknown.
std::wstring JournalPath(Shell& shell);
// Where a record is, as messages name it.
std::wstring RecordPlace(Shell& shell, RecordScope scope);

JournalLoad LoadRecord(Os& os, RecordScope scope);

// Puts the whole record in place or changes nothing. False when it could not
// be written, or is one LoadRecord would not accept: more than a reader
// takes, an entry a restore must not write, one value twice, an entry of the
// user's layer in the machine record. The machine record is written only
// into a key only administrators can change.
bool SaveRecord(Os& os, RecordScope scope, const std::vector<JournalEntry>& entries);

std::string SerializeJournal(const std::vector<JournalEntry>& entries);
// The entries of a record's bytes; nullopt for anything but a record in
// exactly the form SerializeJournal writes (or version 1 wrote) with its check
// intact.
std::optional<std::vector<JournalEntry>> ParseJournal(std::string_view bytes);

// Whether a restore may write the entry back: its class is writable, its
// layer is known, the flags agree (a value only in a key that existed, a
// DefaultIcon key only under a class key that existed), a value that existed
// has type kRegSz or kRegExpandSz while one that did not has neither type nor
// bytes, and a written value is text.
bool IsRestorableEntry(const JournalEntry& entry);

// The entry of a value: the same layer and a ProgID that differs at most in
// case (as the registry compares key names, through shell.LowerCase).
JournalEntry* FindEntry(Shell& shell, std::vector<JournalEntry>& record, ClassLayer layer,
                        const std::wstring& progId);

// Notes in the record that `written` is about to be written where `now`
// (ReadOriginal's reading of the value as it is) was read. The first
// original of a value is kept while its entry is active; a settled entry
// takes the value as it is now as its new original.
void RecordWrite(Shell& shell, std::vector<JournalEntry>& record, const JournalEntry& now,
                 const StoredValue& written);
// The same, with the entry of that value already found (null: none yet).
void RecordWriteAt(std::vector<JournalEntry>& record, JournalEntry* entry, const JournalEntry& now,
                   const StoredValue& written);

// The state of <layer>\Software\Classes\<progId>\DefaultIcon's default value
// as an entry's original; nullopt when it cannot be read (a key that cannot
// be opened for another reason than its absence, a value of another type, a
// value that changes while being read).
std::optional<JournalEntry> ReadOriginal(Registry& registry, ClassLayer layer, const std::wstring& progId);

// Whether the value `now` holds is the entry's original.
bool HoldsOriginal(const JournalEntry& entry, const JournalEntry& now);
// Whether the value `now` holds is what the program wrote, last or before.
bool HoldsWritten(const JournalEntry& entry, const JournalEntry& now);

// The bytes the program stores for a location: its UTF-16 code units and one
// terminating NUL.
StoredValue LocationValue(const std::wstring& location);
// The text of a stored value, its terminator dropped.
std::wstring StoredText(const std::vector<unsigned char>& bytes);

}  // namespace tarrow
