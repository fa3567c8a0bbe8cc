// "&Apply": every changed type's new icon location goes into the registry,
// where it takes effect for this user, after its original is recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/class_layer.h"
#include "catalog/type_list.h"
#include "platform/os.h"

namespace tarrow {

class TypeResolver;

// A DefaultIcon value that could not be written, and the reason.
struct WriteFailure {
  std::wstring progId;
  std::wstring name;  // the type as the list shows it
  Status status = kSuccess;
};

struct ApplyOutcome {
  std::size_t written = 0;             // changed types whose value was written
  std::size_t forUser = 0;             // of those, values in the per-user layer: this user only
  std::size_t forAll = 0;              // and in the machine layer: every user
  std::vector<WriteFailure> failures;  // in the order they were tried
  // The originals could not be recorded, so nothing was written.
  bool journalFailed = false;
};

// Whether the text holds a %NAME% reference: a "%", at least one character
// other than "%", and a "%".
bool HasEnvironmentReference(std::wstring_view text);

// REG_EXPAND_SZ for a location with a %NAME% reference, so the shell still
// expands it; REG_SZ for any other.
std::uint32_t IconLocationValueType(std::wstring_view location);

// The layer where a new icon for `progId` takes effect for this user: the
// machine layer when the value that wins is there and may be written,
// otherwise the user's own, which needs no rights.
ClassLayer TargetLayer(Registry& registry, TypeResolver& resolver, const std::wstring& progId);

// Writes `location` as the default value of progId's DefaultIcon key in the
// layer, creating the per-user keys it needs (never the machine's).
Status WriteIconValue(Registry& registry, ClassLayer layer, const std::wstring& progId,
                      const std::wstring& location);

// What was being done when writes failed, for the wording of the message.
enum class ChangeKind { Apply, Restore };

// "a, b and 3 more": the first `namedAtMost` names, then how many others.
std::wstring NameList(const std::vector<std::wstring>& names, std::size_t namedAtMost = 5);

// The one message after a loop with failures: how many types were not
// changed, the first `namedAtMost` of them by name, and what the user can do.
std::wstring FailureMessage(const std::vector<WriteFailure>& failures, ChangeKind kind,
                            std::size_t namedAtMost = 5);

// The message for an Apply that wrote nothing because the originals of the
// values it was about to write could not be recorded.
std::wstring JournalFailedMessage(Shell& shell);

// Writes the pending location of every changed item in list order, each where
// it takes effect, after recording the original of every value about to be
// written for the first time. Tells the shell once; shows nothing. The
// change marks stay; the caller decides what the list shows next.
ApplyOutcome WriteChanges(Os& os, const TypeList& types);

// What the user must know after an Apply; empty when all went well.
std::wstring ApplyMessage(Shell& shell, const ApplyOutcome& outcome);

// The window's Apply: WriteChanges, then ApplyMessage in a message box.
ApplyOutcome ApplyChanges(Os& os, const TypeList& types);

// One line on what the last Apply did, for the status line.
std::wstring ApplySummary(const ApplyOutcome& outcome);

}  // namespace tarrow
