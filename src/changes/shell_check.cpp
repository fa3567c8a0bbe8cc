#include "changes/shell_check.h"

#include <algorithm>

#include "catalog/class_layer.h"
#include "catalog/icon_location.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "platform/registry.h"

namespace tarrow {
namespace {

std::wstring DoubtText(const ShellMismatch& mismatch) {
  switch (mismatch.doubt) {
    case ShellDoubt::IconHandler:
      return L"an icon handler draws each file's own icon";
    case ShellDoubt::UserValueWins:
      return L"your own icon for this type (" + mismatch.reported + L") comes before the one for all users";
    case ShellDoubt::MachineValueShown:
      return L"the shell still reads the icon for all users (" + mismatch.reported + L")";
    case ShellDoubt::UserChoice:
      return L"the shell follows another program than the one chosen to open it (" + mismatch.reported + L")";
    case ShellDoubt::Unreadable:
      return L"the shell reads no icon for it";
    case ShellDoubt::Other:
      break;
  }
  return L"the shell reads " + mismatch.reported;
}

}  // namespace

bool SameIconLocation(Shell& shell, const std::wstring& a, const std::wstring& b) {
  const IconLocation first = SplitIconLocation(a), second = SplitIconLocation(b);
  return first.index == second.index && shell.LowerCase(IconFileForExtraction(shell, first.file)) ==
                                            shell.LowerCase(IconFileForExtraction(shell, second.file));
}

std::wstring IconHandlerQuestion(const TypeItem& item) {
  return L"An icon handler decides the icons of " + TypeName(item) +
         L": Explorer may keep drawing each file's own icon, whatever icon the type is given.\r\n\r\n"
         L"Give it this icon all the same?";
}

std::wstring IconHandlerQuestion(const TypeList& types, const std::vector<std::size_t>& chosen) {
  std::vector<std::wstring> handled;
  for (const std::size_t index : chosen) {
    if (types[index].iconHandler) handled.push_back(TypeName(types[index]));
  }
  if (handled.empty()) return {};
  if (chosen.size() == 1) return IconHandlerQuestion(types[chosen.front()]);
  return L"An icon handler decides the icons of " + std::to_wstring(handled.size()) + L" of the " +
         std::to_wstring(chosen.size()) + L" chosen types (" + NameList(handled) +
         L"): Explorer may keep drawing each file's own icon, whatever icon the type is given.\r\n\r\n"
         L"Give them this icon all the same?";
}

std::vector<WrittenIcon> PendingIcons(const TypeList& types) {
  std::vector<WrittenIcon> icons;
  for (const TypeItem& item : types) {
    if (IsChanged(item))
      icons.push_back({item.extension, TypeName(item), item.progId, *item.pending, item.location, item.source,
                       item.iconHandler});
  }
  return icons;
}

std::vector<WrittenIcon> IconsOfProgIds(Shell& shell, const TypeList& types,
                                        const std::set<std::wstring>& lowerProgIds) {
  std::vector<WrittenIcon> icons;
  for (const TypeItem& item : types) {
    if (lowerProgIds.count(shell.LowerCase(item.progId)))
      icons.push_back({item.extension, TypeName(item), item.progId, item.location, item.location, item.source,
                       item.iconHandler});
  }
  return icons;
}

std::set<std::wstring> JournaledProgIds(Os& os, const std::optional<std::set<std::wstring>>& only) {
  std::set<std::wstring> wanted;
  if (only) {
    for (const std::wstring& progId : *only) wanted.insert(os.shell.LowerCase(progId));
  }
  std::set<std::wstring> progIds;
  for (const RecordScope scope : {RecordScope::User, RecordScope::Machine}) {
    for (const JournalEntry& entry : LoadRecord(os, scope).entries) {
      const std::wstring progId = os.shell.LowerCase(entry.progId);
      if (!entry.settled && (!only || wanted.count(progId))) progIds.insert(progId);
    }
  }
  return progIds;
}

std::vector<WrittenIcon> AppliedIcons(std::vector<WrittenIcon> pending, const ApplyOutcome& outcome) {
  if (outcome.journalFailed) return {};
  std::erase_if(pending, [&](const WrittenIcon& icon) {
    return std::any_of(outcome.failures.begin(), outcome.failures.end(),
                       [&](const WriteFailure& failure) { return failure.progId == icon.progId; });
  });
  return pending;
}

void RedrawUnmovedIcons(Shell& shell, const std::vector<WrittenIcon>& icons) {
  for (const WrittenIcon& icon : icons) {
    if (SameIconLocation(shell, icon.previous, icon.location)) shell.NotifyIconImageChanged(icon.extension);
  }
}

ShellCheck CheckWithShell(Os& os, const std::vector<WrittenIcon>& icons) {
  ShellCheck check;
  std::size_t unanswered = 0;
  for (const WrittenIcon& icon : icons) {
    ++check.checked;
    const auto reported = os.shell.ShellIconLocation(icon.extension);
    if (!reported) ++unanswered;
    // Whatever DefaultIcon says, a handler decides: the resolver knows it.
    if (icon.iconHandler) {
      check.mismatches.push_back({icon.name, ShellDoubt::IconHandler, reported.value_or(L"")});
      continue;
    }
    if (!reported || SameIconLocation(os.shell, *reported, icon.location)) continue;
    ShellDoubt doubt = ShellDoubt::Other;
    if (reported->empty()) {
      doubt = ShellDoubt::Unreadable;
    } else if (icon.source == ProgIdSource::UserChoice || icon.source == ProgIdSource::System) {
      doubt = ShellDoubt::UserChoice;
    } else {
      auto layerValue = [&](ClassLayer layer) {
        return RegReadValue(os.registry, LayerRoot(layer), DefaultIconPath(icon.progId), L"");
      };
      const std::wstring user = layerValue(ClassLayer::User), machine = layerValue(ClassLayer::Machine);
      if (!user.empty() && SameIconLocation(os.shell, *reported, user))
        doubt = ShellDoubt::UserValueWins;
      else if (!machine.empty() && SameIconLocation(os.shell, *reported, machine))
        doubt = ShellDoubt::MachineValueShown;
    }
    check.mismatches.push_back({icon.name, doubt, *reported});
  }
  check.unanswered = unanswered;
  check.shellAnswers = unanswered == 0 || unanswered < check.checked;
  return check;
}

std::wstring ShellCheckSummary(const ShellCheck& check) {
  if (check.checked == 0) return {};
  if (!check.shellAnswers && check.mismatches.empty())
    return L"The shell could not say which icons it shows.";
  // Only what the shell answered for is claimed.
  if (check.mismatches.empty() && check.unanswered > 0)
    return L"Explorer shows " + std::to_wstring(check.checked - check.unanswered) + L" of " +
           std::to_wstring(check.checked) + L" new icons; the shell could not say for the rest.";
  if (check.mismatches.empty())
    return check.checked == 1 ? L"Explorer shows the new icon." : L"Explorer shows the new icons.";
  return L"Explorer will not show " + std::to_wstring(check.mismatches.size()) + L" of " +
         std::to_wstring(check.checked) + L" as changed.";
}

std::wstring WithShellCheck(const std::wstring& outcome, const ShellCheck& check) {
  const std::wstring summary = ShellCheckSummary(check);
  return summary.empty() ? outcome : outcome + L" " + summary;
}

std::wstring ShellCheckMessage(const ShellCheck& check, std::size_t namedAtMost) {
  if (check.mismatches.empty()) return {};
  std::wstring text = check.mismatches.size() == 1
                          ? L"Explorer will not show this type with its new icon:\r\n"
                          : L"Explorer will not show these types with their new icons:\r\n";
  const std::size_t named = std::min(namedAtMost, check.mismatches.size());
  for (std::size_t i = 0; i < named; ++i)
    text += L"\r\n" + check.mismatches[i].name + L": " + DoubtText(check.mismatches[i]) + L".";
  if (named < check.mismatches.size())
    text += L"\r\n...and " + std::to_wstring(check.mismatches.size() - named) + L" more.";
  return text;
}

}  // namespace tarrow
