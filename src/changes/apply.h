// "&Apply": every changed type's new icon location goes into the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/type_list.h"
#include "platform/os.h"

namespace tarrow {

// A DefaultIcon value that could not be written, and the reason.
struct WriteFailure {
  std::wstring progId;
  Status status = kSuccess;
};

struct ApplyOutcome {
  std::size_t written = 0;
  std::vector<WriteFailure> failures;  // in the order they were tried
};

// Whether the text holds a %NAME% reference: a "%", at least one character
// other than "%", and a "%".
bool HasEnvironmentReference(std::wstring_view text);

// REG_EXPAND_SZ for a location with a %NAME% reference, so the shell still
// expands it; REG_SZ for any other.
std::uint32_t IconLocationValueType(std::wstring_view location);

// Writes `location` as the default value of progId\DefaultIcon under
// HKEY_CLASSES_ROOT. The key is never created.
bool WriteDefaultIcon(Registry& reg, const std::wstring& progId, const std::wstring& location,
                      Status* status = nullptr);

// What was being done when writes failed, for the wording of the message.
enum class ChangeKind { Apply, Restore };

// The one message after a loop with failures: how many types were not
// changed, the first `namedAtMost` of them by name, and what the user can do.
std::wstring FailureMessage(const std::vector<WriteFailure>& failures, ChangeKind kind,
                            std::size_t namedAtMost = 5);

// Shows FailureMessage as a warning; nothing when there are no failures.
void ReportFailures(Shell& shell, const std::vector<WriteFailure>& failures, ChangeKind kind);

// Apply: writes the pending location of every changed item in list order, tells
// the shell once (also when nothing changed) and reports any failure. The
// change marks stay, so a second Apply writes again.
ApplyOutcome ApplyChanges(Os& os, const TypeList& types);

}  // namespace tarrow
