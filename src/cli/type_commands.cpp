// The commands over the file types: the same resolver, layers, journal and
// records as the window, without one.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "catalog/icon_location.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/apply.h"
#include "changes/change_model.h"
#include "changes/icon_transfer.h"
#include "changes/journal.h"
#include "changes/picture_icon.h"
#include "changes/picture_store.h"
#include "changes/reg_export.h"
#include "changes/restore.h"
#include "changes/shell_check.h"
#include "cli/commands.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tarrow::cli {
namespace {

// JSON string text: quotes, backslashes and control characters escaped.
std::wstring JsonString(const std::wstring& text) {
  std::wstring out = L"\"";
  for (const wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += c;
    } else if (c < 0x20) {
      static const wchar_t kHex[] = L"0123456789abcdef";
      out += L"\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + L"\"";
}

const wchar_t* SourceName(ProgIdSource source) {
  switch (source) {
    case ProgIdSource::UserChoice:
    // The system's own answer that no registry reading reached is a choice
    // of the user's that only it can check.
    case ProgIdSource::System:
      return L"userChoice";
    case ProgIdSource::CurVer:
      return L"curVer";
    case ProgIdSource::Default:
      break;
  }
  return L"default";
}

// The listed type of an extension, as the shell compares names; null when the
// extension is not listed.
const TypeItem* Find(Shell& shell, const TypeList& types, const std::wstring& extension) {
  const std::wstring wanted = shell.LowerCase(extension);
  const auto it = std::find_if(types.begin(), types.end(), [&](const TypeItem& item) {
    return shell.LowerCase(item.extension) == wanted;
  });
  return it == types.end() ? nullptr : &*it;
}

int UnknownExtension(CommandContext& context, const std::wstring& extension) {
  WriteLine(context.err, L"tarrow: " + EscapedField(extension) + L" is not a file type Tarrow lists.");
  return kExitUsage;
}

}  // namespace

int RunList(CommandContext& context, bool json, TypesListed which) {
  const TypeList types = ListTypes(context.os, which);
  // The first run of the program, whichever way it runs, records the originals.
  TakeSnapshotIfNone(context.os, types);
  if (!json) {
    for (const TypeItem& item : types) {
      WriteLine(context.out, EscapedField(item.extension) + L"\t" + EscapedField(item.progId) + L"\t" +
                                 EscapedField(item.description) + L"\t" + EscapedField(item.location));
    }
    return kExitOk;
  }
  ChangeStatus changed(context.os);
  std::wstring text = L"[";
  bool first = true;
  for (const TypeItem& item : types) {
    text += first ? L"\n" : L",\n";
    first = false;
    text += L"  {\"extension\": " + JsonString(item.extension) + L", \"progId\": " + JsonString(item.progId) +
            L", \"description\": " + JsonString(item.description) + L", \"location\": " +
            JsonString(item.location) + L", \"layer\": \"" +
            (item.layer == ClassLayer::User ? L"user" : L"machine") + L"\", \"source\": \"" +
            SourceName(item.source) + L"\", \"changed\": " + (changed.Changed(item) ? L"true" : L"false") +
            L", \"iconHandler\": " + (item.iconHandler ? L"true" : L"false") + L", \"hasIcon\": " +
            (HasOwnIcon(item) ? L"true" : L"false") + L", \"packaged\": " +
            (IsPackagedIcon(item.location) ? L"true" : L"false") + L", \"shellIcon\": " +
            JsonString(context.os.shell.ShellIconLocation(item.extension).value_or(L"")) + L"}";
  }
  text += first ? L"]" : L"\n]";
  WriteLine(context.out, text);
  return kExitOk;
}

// Why --set cannot give `location`, as a sentence; empty when it can. A
// picture is made an icon here as Apply makes it, so that one that makes
// none is named before anything is read or written.
std::wstring SetLocationProblem(Os& os, const std::wstring& location) {
  if (const auto picture = PictureFileOf(location))
    return MakePictureIconFromFile(os, os.shell.ExpandEnvironment(*picture)).problem;
  const IconLocation icon = SplitIconLocation(location);
  if (IsPictureFile(icon.file) && icon.index != 0)
    return L"\"" + icon.file + L"\" is a picture, which is one icon: give it without an index, or with 0.";
  std::wstring problem = LocationProblem(os.shell, location);
  if (problem.empty()) return problem;
  // A file that is not there, or cannot be read, counts no icons either:
  // told as --icons tells it.
  const std::wstring quoted = L"\"" + icon.file + L"\"";
  if (problem.starts_with(quoted + L" holds no icons,"))
    if (const std::wstring why = MissingFileProblem(os, icon.file); !why.empty())
      problem = quoted + L": " + why;
  return problem + L".";
}

int RunSet(CommandContext& context, const std::vector<std::wstring>& extensions,
           const std::wstring& location) {
  // Refused before anything is read or written: a location the list would
  // drop, or that no shell can draw, would leave a type Tarrow cannot show.
  if (const std::wstring problem = SetLocationProblem(context.os, location); !problem.empty()) {
    WriteLine(context.err, L"tarrow: " + problem);
    return kExitUsage;
  }
  // A type without an icon of its own is given one as any other.
  TypeList listed = ListTypes(context.os, TypesListed::All);
  // A mistyped extension stops the command before any write.
  std::vector<std::size_t> named;
  bool unknown = false;
  for (const std::wstring& extension : extensions) {
    const TypeItem* item = Find(context.os.shell, listed, extension);
    if (item) {
      named.push_back(static_cast<std::size_t>(item - &listed[0]));
    } else {
      UnknownExtension(context, extension);
      unknown = true;
    }
  }
  if (unknown) return kExitUsage;
  TakeSnapshotIfNone(context.os, listed);
  ChangeModel changes(context.os, listed);
  std::vector<std::size_t> assigned;
  bool warned = false;
  for (const std::size_t index : named) {
    if (changes.Assign(index, location)) {
      assigned.push_back(index);
      // Said once, before anything is written.
      if (IsStoreAppType(listed[index]) && !std::exchange(warned, true))
        WriteLine(context.err, L"tarrow: " + TypeName(listed[index]) + L" " + kStoreAppUpdateWarning);
    } else if (!IsChanged(listed[index])) {
      WriteLine(context.out, TypeName(listed[index]) + L": " + EscapedField(location) +
                                 L" (already its icon; nothing to change)");
    }
  }
  const std::vector<WrittenIcon> pending = PendingIcons(listed);
  const ApplyOutcome outcome = changes.Write();
  for (const std::size_t index : assigned) {
    const TypeItem& item = listed[index];
    if (IsChanged(item)) continue;  // failed: named in the message below
    // A picture is written as the icon made of it.
    const std::wstring stored =
        item.location == location ? L"" : L", stored as " + EscapedField(item.location);
    WriteLine(context.out, TypeName(item) + L": " + EscapedField(location) + stored + L" (" +
                               (item.layer == ClassLayer::User ? L"for this user only" : L"for all users") +
                               L")");
  }
  if (const std::wstring message = ApplyMessage(context.os.shell, outcome, ChangeKind::Command);
      !message.empty()) {
    WriteMessage(context.err, message);
    return outcome.busy ? kExitBusy : kExitFailed;
  }
  const std::vector<WrittenIcon> written = AppliedIcons(pending, outcome);
  RedrawUnmovedIcons(context.os.shell, written);
  // A warning only: the value is set all the same.
  if (const auto doubt = ShellCheckMessage(CheckWithShell(context.os, written)); !doubt.empty())
    WriteMessage(context.err, doubt);
  return kExitOk;
}

int RunRestore(CommandContext& context, const std::vector<std::wstring>& extensions) {
  // A type given its first icon is named as any other.
  const TypeList listed = ListTypes(context.os, TypesListed::All);
  std::optional<std::set<std::wstring>> only;
  if (!extensions.empty()) {
    only.emplace();
    for (const std::wstring& extension : extensions) {
      const TypeItem* item = Find(context.os.shell, listed, extension);
      if (!item) return UnknownExtension(context, extension);
      only->insert(item->progId);
    }
  }
  const std::set<std::wstring> journaled = JournaledProgIds(context.os, only);
  const RestoreOutcome outcome = RestoreOriginals(context.os, listed, only);
  // As the window's scan after a restore does: the icons as they are now
  // become the record when there was none.
  const TypeList restored = ListTypes(context.os);
  if (!outcome.busy) TakeSnapshotIfNone(context.os, restored);
  const std::wstring message = RestoreMessage(context.os, outcome);
  if (!message.empty()) WriteMessage(context.err, message);
  const ShellCheck check = CheckWithShell(context.os, IconsOfProgIds(context.os.shell, restored, journaled));
  if (const auto doubt = ShellCheckMessage(check); !doubt.empty()) WriteMessage(context.err, doubt);
  WriteLine(context.out, RestoreSummary(outcome));
  if (outcome.busy) return kExitBusy;
  return RestoreFell(outcome) ? kExitFailed : kExitOk;
}

int RunExport(CommandContext& context, const std::wstring& file) {
  const std::wstring folder =
      file.substr(0, file.find_last_of(L"\\/") == std::wstring::npos ? 0 : file.find_last_of(L"\\/"));
  if (!folder.empty() && !context.os.files.Exists(folder)) {
    return ReportUsageError(L"the folder " + folder + L" does not exist", context.err);
  }
  const ExportOutcome outcome = ExportIcons(context.os, file);
  for (const std::wstring& problem : outcome.problems) WriteLine(context.err, L"tarrow: " + problem);
  if (!outcome.done.empty()) WriteLine(context.out, outcome.done);
  return outcome.failed ? kExitFailed : kExitOk;
}

}  // namespace tarrow::cli
