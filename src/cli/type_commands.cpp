// The commands over the file types: the same resolver, layers, journal and
// records as the window, without one.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "changes/reg_export.h"
#include "changes/restore.h"
#include "changes/shell_check.h"
#include "cli/commands.h"
#include "platform/files.h"

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

// The ProgIDs whose icon Tarrow changed and has not put back: those the
// journal holds, and those whose icon differs from the line of Defaults.dat.
class ChangedTypes {
 public:
  explicit ChangedTypes(Os& os) : shell_(os.shell) {
    for (const JournalEntry& entry : LoadJournal(os).entries)
      journaled_.insert(shell_.LowerCase(entry.progId));
    for (const SnapshotLine& line : ReadSnapshot(os).contents.lines)
      recorded_[shell_.LowerCase(line.progId)] = line.location;
  }
  bool Changed(const TypeItem& item) const {
    const std::wstring key = shell_.LowerCase(item.progId);
    if (journaled_.count(key)) return true;
    const auto it = recorded_.find(key);
    return it != recorded_.end() && it->second != item.location;
  }

 private:
  Shell& shell_;
  std::set<std::wstring> journaled_;
  std::map<std::wstring, std::wstring> recorded_;
};

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
  WriteLine(context.err, L"tarrow: " + extension + L" is not a file type Tarrow lists.");
  return kExitUsage;
}

// A message meant for a box, as lines for a console.
void WriteMessage(TextSink& sink, std::wstring text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') continue;
      out += L'\n';
    } else {
      out += text[i];
    }
  }
  WriteLine(sink, L"tarrow: " + out);
}

// A value's text as the registry keeps it: its bytes as wide characters, the
// terminator dropped.
std::wstring StoredText(const std::vector<unsigned char>& bytes) {
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace

int RunList(CommandContext& context, bool json) {
  const TypeList types = ListTypes(context.os);
  // The first run of the program, whichever way it runs, records the originals.
  TakeSnapshotIfNone(context.os, types);
  if (!json) {
    for (const TypeItem& item : types) {
      WriteLine(context.out,
                item.extension + L"\t" + item.progId + L"\t" + item.description + L"\t" + item.location);
    }
    return kExitOk;
  }
  const ChangedTypes changed(context.os);
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
            L", \"iconHandler\": " + (item.iconHandler ? L"true" : L"false") + L", \"shellIcon\": " +
            JsonString(context.os.shell.ShellIconLocation(item.extension).value_or(L"")) + L"}";
  }
  text += first ? L"]" : L"\n]";
  WriteLine(context.out, text);
  return kExitOk;
}

int RunSet(CommandContext& context, const std::wstring& extension, const std::wstring& location) {
  const TypeList listed = ListTypes(context.os);
  const TypeItem* item = Find(context.os.shell, listed, extension);
  if (!item) return UnknownExtension(context, extension);
  TakeSnapshotIfNone(context.os, listed);
  TypeList change;
  TypeItem changed = *item;
  changed.pending = location;
  change.Add(changed);
  const ApplyOutcome outcome = WriteChanges(context.os, change);
  const std::wstring message = ApplyMessage(context.os.shell, outcome);
  if (!message.empty()) {
    WriteMessage(context.err, message);
    return kExitFailed;
  }
  RedrawUnmovedIcons(context.os.shell, PendingIcons(change));
  // A warning only: the value is set all the same.
  if (const auto doubt = ShellCheckMessage(CheckWithShell(context.os, PendingIcons(change))); !doubt.empty())
    WriteMessage(context.err, doubt);
  WriteLine(context.out, TypeName(*item) + L": " + location + L" (" +
                             (outcome.forUser > 0 ? L"for this user only" : L"for all users") + L")");
  return kExitOk;
}

int RunRestore(CommandContext& context, const std::vector<std::wstring>& extensions) {
  const TypeList listed = ListTypes(context.os);
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
  TakeSnapshotIfNone(context.os, restored);
  const std::wstring message = RestoreMessage(context.os, outcome);
  if (!message.empty()) WriteMessage(context.err, message);
  const ShellCheck check = CheckWithShell(context.os, IconsOfProgIds(context.os.shell, restored, journaled));
  if (const auto doubt = ShellCheckMessage(check); !doubt.empty()) WriteMessage(context.err, doubt);
  WriteLine(context.out, RestoreSummary(outcome));
  const bool failed = !outcome.failures.empty() || outcome.refusedEntries > 0 ||
                      outcome.journal == JournalState::Damaged || outcome.journal == JournalState::Unreadable;
  return failed ? kExitFailed : kExitOk;
}

int RunExport(CommandContext& context, const std::wstring& file) {
  const std::wstring folder =
      file.substr(0, file.find_last_of(L"\\/") == std::wstring::npos ? 0 : file.find_last_of(L"\\/"));
  if (!folder.empty() && !context.os.files.Exists(folder)) {
    return ReportUsageError(L"the folder " + folder + L" does not exist", context.err);
  }
  const JournalLoad journal = LoadJournal(context.os);
  if (journal.state == JournalState::Damaged || journal.state == JournalState::Unreadable) {
    WriteLine(context.err, L"tarrow: the record of changed icons, " + JournalPath(context.os.shell) +
                               L", is damaged or cannot be read; nothing was exported.");
    return kExitFailed;
  }
  std::vector<RegFileValue> values;
  for (const JournalEntry& entry : journal.entries) {
    RegKey key = 0;
    if (context.os.registry.OpenKey(LayerRoot(entry.layer), DefaultIconPath(entry.progId), RegAccess::Read,
                                    key) != kSuccess)
      continue;
    // The value exactly as stored; only text values are Tarrow's to carry
    // elsewhere.
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (context.os.registry.QueryValue(key, L"", type, nullptr, size) == kSuccess &&
        (type == kRegSz || type == kRegExpandSz)) {
      std::vector<unsigned char> bytes(size);
      if (context.os.registry.QueryValue(key, L"", type, bytes.data(), size) == kSuccess) {
        bytes.resize(size);
        const wchar_t* root =
            entry.layer == ClassLayer::User ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\";
        values.push_back({root + DefaultIconPath(entry.progId), L"", type, StoredText(bytes)});
      }
    }
    context.os.registry.CloseKey(key);
  }
  if (!WriteWholeFile(context.os.files, file, RegFileBytes(values))) {
    WriteLine(context.err, L"tarrow: " + file + L" could not be written; nothing was exported.");
    return kExitFailed;
  }
  WriteLine(context.out, std::to_wstring(values.size()) + (values.size() == 1 ? L" value" : L" values") +
                             L" exported to " + file + L".");
  return kExitOk;
}

}  // namespace tarrow::cli
