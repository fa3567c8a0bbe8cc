#include "changes/apply.h"

#include <algorithm>

#include "platform/registry.h"

namespace tarrow {

bool HasEnvironmentReference(std::wstring_view text) {
  std::size_t open = text.find(L'%');
  while (open != std::wstring_view::npos) {
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring_view::npos) return false;
    if (close > open + 1) return true;
    // "%%" names nothing; its second "%" may open a reference.
    open = close;
  }
  return false;
}

std::uint32_t IconLocationValueType(std::wstring_view location) {
  return HasEnvironmentReference(location) ? kRegExpandSz : kRegSz;
}

bool WriteDefaultIcon(Registry& reg, const std::wstring& progId, const std::wstring& location,
                      Status* status) {
  return RegWriteValue(reg, kClassesRoot, progId + L"\\DefaultIcon", L"", location,
                       IconLocationValueType(location), status);
}

std::wstring FailureMessage(const std::vector<WriteFailure>& failures, ChangeKind kind,
                            std::size_t namedAtMost) {
  // Two extensions of one type fail on the same key: name the type once.
  std::vector<const WriteFailure*> types;
  for (const auto& failure : failures) {
    const bool seen = std::any_of(types.begin(), types.end(),
                                  [&](const WriteFailure* known) { return known->progId == failure.progId; });
    if (!seen) types.push_back(&failure);
  }
  if (types.empty()) return {};

  const std::size_t count = types.size();
  std::wstring text = std::to_wstring(count) +
                      (count == 1 ? L" file type was not " : L" file types were not ") +
                      (kind == ChangeKind::Apply ? L"changed: " : L"restored: ");
  const std::size_t named = std::min(count, std::max<std::size_t>(namedAtMost, 1));
  for (std::size_t i = 0; i < named; ++i) {
    if (i > 0) text += i + 1 == named && named == count ? L" and " : L", ";
    text += types[i]->progId;
  }
  if (named < count) text += L" and " + std::to_wstring(count - named) + L" more";
  text += L".";

  bool denied = false;
  bool missing = false;
  std::vector<Status> others;
  for (const auto* failure : types) {
    if (failure->status == kErrorAccessDenied) {
      denied = true;
    } else if (failure->status == kErrorFileNotFound) {
      missing = true;
    } else if (std::find(others.begin(), others.end(), failure->status) == others.end()) {
      others.push_back(failure->status);
    }
  }
  if (denied) {
    text +=
        L"\r\n\r\nWindows refused access. Tarrow must run as administrator to change types registered "
        L"for all users.";
  }
  if (missing) {
    text += L"\r\n\r\nA type's DefaultIcon key no longer exists, and Tarrow does not create one.";
  }
  for (const Status status : others) {
    text += L"\r\n\r\nWindows reported error " + std::to_wstring(status) + L".";
  }
  if (kind == ChangeKind::Apply)
    text += L"\r\n\r\nThe types that failed stay marked, so Apply can try again.";
  return text;
}

void ReportFailures(Shell& shell, const std::vector<WriteFailure>& failures, ChangeKind kind) {
  if (failures.empty()) return;
  shell.MessageBox(FailureMessage(failures, kind), kMbOk | kMbIconWarning);
}

ApplyOutcome ApplyChanges(Os& os, const TypeList& types) {
  ApplyOutcome outcome;
  for (const TypeItem& item : types) {
    if (!IsChanged(item)) continue;
    Status status = kSuccess;
    if (WriteDefaultIcon(os.registry, item.progId, *item.pending, &status)) {
      ++outcome.written;
    } else {
      outcome.failures.push_back({item.progId, status});
    }
  }
  os.shell.NotifyAssociationsChanged();
  ReportFailures(os.shell, outcome.failures, ChangeKind::Apply);
  return outcome;
}

}  // namespace tarrow
