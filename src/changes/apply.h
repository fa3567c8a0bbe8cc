// Writing new icons: each location goes into the registry where it takes
// effect for this user, after its original and the value about to be written
// are recorded in the record that guards that layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/class_layer.h"
#include "changes/journal.h"
#include "platform/os.h"

namespace tarrow {

class TypeResolver;

// Status of a value whose original cannot be recorded (not text, or not
// readable): it is never written, since it could not be put back.
inline constexpr Status kUnrecordable = -2;
// Status of a type whose class is gone from both layers since it was read.
inline constexpr Status kClassGone = -3;
// Status of a type given a picture whose icon could not be stored where
// every reader of the value can read it, and only those who may change the
// value can change it.
inline constexpr Status kIconNotStored = -4;

// How long a change waits for another process changing icons to finish.
inline constexpr unsigned kLockWaitMs = 60000;

// A DefaultIcon value that could not be written, and the reason.
struct WriteFailure {
  std::wstring progId;
  std::wstring name;  // the type as the list shows it
  Status status = kSuccess;
};

// One new icon to write.
struct IconWrite {
  std::wstring progId;
  std::wstring name;  // the type as messages name it
  std::wstring location;
  bool userOnly = false;  // written to the user's layer even where the machine's would win
};

struct ApplyOutcome {
  std::size_t written = 0;             // types whose value was written
  std::size_t forUser = 0;             // of those, values in the per-user layer: this user only
  std::size_t forAll = 0;              // and in the machine layer: every user
  std::size_t restored = 0;            // originals put back on request
  std::vector<WriteFailure> failures;  // in the order they were tried
  // The layer each ProgID (lower case) was written to, or already held its icon in.
  std::map<std::wstring, ClassLayer> layers;
  // Originals asked for whose value another program changed since: left.
  std::vector<std::wstring> changedSince;
  // The originals could not be recorded, so nothing was written.
  bool journalFailed = false;
  RecordScope failedRecord = RecordScope::User;  // when journalFailed: which record
  // Another process was changing icons all the while: nothing was done.
  bool busy = false;
  // Why a picture given could not be made an icon: nothing was done.
  std::wstring pictureProblem;
  // The location written for each ProgID (lower case) given a picture: its
  // icon file's.
  std::map<std::wstring, std::wstring> pictureLocations;
};

// Whether the text holds a %NAME% reference: a "%", at least one character
// other than "%", and a "%".
bool HasEnvironmentReference(std::wstring_view text);

// REG_EXPAND_SZ for a location with a %NAME% reference, so the shell still
// expands it; REG_SZ for any other.
std::uint32_t IconLocationValueType(std::wstring_view location);

// The layer where a new icon for `progId` takes effect for this user: the
// machine layer when the value that wins is there, may be written, and its
// change can be recorded there (`machineRecorded`), or when no DefaultIcon
// key is in either layer and the class is the machine's alone and may be
// added to; otherwise the user's own, which needs no rights. A program's
// class chosen by its file (Applications\...) is the user's.
ClassLayer TargetLayer(Registry& registry, TypeResolver& resolver, const std::wstring& progId,
                       bool machineRecorded = true);

// Writes the default value of progId's DefaultIcon key in the layer. Only
// with `createMissingKeys` does a per-user key that is missing get created, or
// a machine DefaultIcon key under a machine class key that is there; a
// machine class key never is.
Status SetIconValue(Registry& registry, ClassLayer layer, const std::wstring& progId,
                    const StoredValue& value, bool createMissingKeys);

// Writes each location where it takes effect, in order, after recording the
// original and the value about to be written of each, under the lock. A
// value that already holds the location is left as it is. A picture's
// location is written as its icon's, stored in the icons folder of the
// layer's record (picture_store.h) after the record and before the value;
// should any picture not make an icon, nothing at all is done. Icon files of
// Tarrow's that no value uses any more once the writes are done are removed.
// Tells the shell once; shows nothing.
ApplyOutcome WriteIcons(Os& os, const std::vector<IconWrite>& writes);

// What was being done when writes failed, for the wording of the message:
// the window's Apply, a restore, or a change made at a console prompt.
enum class ChangeKind { Apply, Restore, Command };

// "a, b and 3 more": the first `namedAtMost` names, then how many others.
std::wstring NameList(const std::vector<std::wstring>& names, std::size_t namedAtMost = 5);

// The one message after a loop with failures: how many types were not
// changed, the first `namedAtMost` of them by name, and what the user can do.
std::wstring FailureMessage(const std::vector<WriteFailure>& failures, ChangeKind kind,
                            std::size_t namedAtMost = 5);

// The message for a change that did nothing because another process was
// changing icons.
std::wstring BusyMessage();

// Names the types another program changed since Tarrow's change.
std::wstring ChangedSinceMessage(const std::vector<std::wstring>& names);

// What the user must know after an Apply; empty when all went well.
std::wstring ApplyMessage(Shell& shell, const ApplyOutcome& outcome, ChangeKind kind = ChangeKind::Apply);

// One line on what the last Apply did, for the status line.
std::wstring ApplySummary(const ApplyOutcome& outcome);

}  // namespace tarrow
