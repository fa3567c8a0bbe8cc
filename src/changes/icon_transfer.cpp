#include "changes/icon_transfer.h"

#include "catalog/resolver.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "changes/picture_store.h"
#include "changes/records.h"
#include "changes/reg_export.h"
#include "changes/reg_import.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tarrow {

ExportOutcome ExportIcons(Os& os, const std::wstring& file) {
  ExportOutcome outcome;
  std::vector<RegFileValue> values;
  std::vector<std::wstring> classes;  // each value's class, to name it
  std::set<std::wstring> iconFiles;   // Tarrow's own that the values name
  for (const RecordScope scope : {RecordScope::User, RecordScope::Machine}) {
    const std::wstring iconsFolder = IconsFolder(os.shell, scope);
    const JournalLoad record = LoadRecord(os, scope);
    if (!record.usable()) {
      outcome.problems.push_back(L"the record of changed icons, " + RecordPlace(os.shell, scope) +
                                 L", is damaged or cannot be trusted; nothing was exported.");
      outcome.failed = true;
      return outcome;
    }
    for (const JournalEntry& entry : record.entries) {
      // Only a value Tarrow's change still holds is Tarrow's to carry elsewhere.
      const auto now = ReadOriginal(os.registry, entry.layer, entry.progId);
      if (entry.settled || !now || !HoldsWritten(entry, *now)) continue;
      const wchar_t* root =
          entry.layer == ClassLayer::User ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\";
      values.push_back({root + DefaultIconPath(entry.progId), L"", now->type, StoredText(now->bytes)});
      if (auto own = OwnIconFile(os.shell, iconsFolder, StoredValue{now->type, now->bytes}))
        iconFiles.insert(std::move(*own));
      classes.push_back(entry.progId);
    }
  }
  // A value the file cannot carry is left out, never written in a form that
  // would import as something else.
  std::vector<RegFileValue> carried;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::wstring problem = RegFileProblem(values[i]);
    if (problem.empty()) {
      carried.push_back(values[i]);
    } else {
      outcome.problems.push_back(L"the icon of \"" + EscapedField(classes[i]) + L"\" was left out: " +
                                 problem + L", which a .reg file cannot carry.");
    }
  }
  outcome.failed = carried.size() != values.size();
  if (carried.empty()) {
    outcome.done =
        L"Nothing to export: " +
        std::wstring(values.empty() ? L"Tarrow has changed no icon" : L"every value was left out") +
        L", so " + file + L" was not written.";
    return outcome;
  }
  // The icons made of pictures go with the file: another computer has none.
  const std::wstring iconsBeside = CarriedIconsFolder(file);
  for (const std::wstring& icon : iconFiles) {
    const auto bytes = os.files.ReadAll(icon);
    if (!bytes || !os.files.EnsureFolder(iconsBeside) ||
        !WriteWholeFile(os.files, iconsBeside + L"\\" + icon.substr(icon.rfind(L'\\') + 1), *bytes)) {
      outcome.problems.push_back(icon + L" could not be copied to " + iconsBeside +
                                 L"; nothing was exported.");
      outcome.failed = true;
      return outcome;
    }
  }
  if (!WriteWholeFile(os.files, file, RegFileBytes(carried))) {
    outcome.problems.push_back(file + L" could not be written; nothing was exported.");
    outcome.failed = true;
    return outcome;
  }
  outcome.done = std::to_wstring(carried.size()) + (carried.size() == 1 ? L" value" : L" values") +
                 L" exported to " + file + L".";
  return outcome;
}

ImportPlan PlanImport(Os& os, const std::wstring& file) {
  ImportPlan plan;
  const std::optional<std::string> bytes = os.files.ReadAll(file);
  if (!bytes) {
    plan.fault = file + L" cannot be read";
    plan.refusal = plan.fault + L"; nothing was imported.";
    plan.unreadable = true;
    return plan;
  }
  RegIconFile read = ReadRegIconFile(*bytes, os.shell);
  if (!read.ok()) {
    plan.fault = file + L", line " + std::to_wstring(read.faultLine) + L": " + read.fault;
    plan.refusal = plan.fault + L". Nothing was imported.";
    return plan;
  }
  // The file's own layer is not trusted to say where: each icon goes where
  // it takes effect for this user.
  TypeResolver resolver(os.registry, os.shell);
  const std::wstring iconsBeside = CarriedIconsFolder(file);
  for (RegIconValue& value : read.values) {
    // An icon made of a picture on the computer exported from, which this
    // one lacks, is taken from beside the file.
    if (const auto made = MadeIconFileOf(os.shell, value.location);
        made && !os.files.Exists(os.shell.ExpandEnvironment(*made))) {
      const std::wstring carried = iconsBeside + L"\\" + made->substr(made->rfind(L'\\') + 1);
      if (os.files.Exists(carried)) value.location = carried + L",0";
    }
    if (IsWritableClass(value.className) && resolver.ClassExists(value.className)) {
      plan.writes.push_back({value.className, value.className, value.location});
      const auto shown = resolver.ReadMerged(value.className + L"\\DefaultIcon");
      if (!shown || shown->text != value.location) ++plan.changing;
    } else {
      plan.absent.push_back(value.className);
    }
  }
  return plan;
}

std::wstring PassedOverMessage(const ImportPlan& plan) {
  if (plan.absent.empty()) return {};
  return L"passed over, as this computer has no such file type: " + NameList(plan.absent) + L".";
}

std::wstring ImportQuestion(const ImportPlan& plan, const std::wstring& file) {
  const auto types = [](std::size_t n) {
    return std::to_wstring(n) + (n == 1 ? L" file type" : L" file types");
  };
  std::wstring text = L"The icons of " + file + L" change " + types(plan.changing) + L".";
  if (const std::size_t same = plan.writes.size() - plan.changing; same > 0)
    text += L" " + types(same) + (same == 1 ? L" shows its icon already." : L" show theirs already.");
  if (!plan.absent.empty())
    text += L"\r\n\r\n" + std::to_wstring(plan.absent.size()) + L" will be " + PassedOverMessage(plan);
  return text + L"\r\n\r\nRestore Defaults or Restore original icon takes them back. Import them now?";
}

ApplyOutcome ApplyImport(Os& os, const ImportPlan& plan, const TypeList& listed) {
  // The first run of the program, whichever way it runs, records the originals.
  TakeSnapshotIfNone(os, listed);
  return WriteIcons(os, plan.writes);
}

namespace {

constexpr wchar_t kRegFileFilter[] = L"Registration files (*.reg)|*.reg|All files (*.*)|*.*";

// A sentence of the command line's, whose lines start in lower case, as a
// message box starts it.
std::wstring AsMessage(std::wstring sentence) {
  if (!sentence.empty() && sentence[0] >= L'a' && sentence[0] <= L'z')
    sentence[0] = static_cast<wchar_t>(sentence[0] - L'a' + L'A');
  return sentence;
}

}  // namespace

std::wstring ExportIconsAsked(Os& os, std::uintptr_t owner) {
  const std::wstring file = ShowSaveDialog(os.shell, owner, kRegFileFilter, L"Export Icons", L"reg");
  if (file.empty()) return {};
  const ExportOutcome outcome = ExportIcons(os, file);
  std::wstring problems;
  for (const std::wstring& problem : outcome.problems)
    problems += (problems.empty() ? L"" : L"\r\n") + AsMessage(problem);
  if (!problems.empty()) os.shell.MessageBox(problems, kMbOk | kMbIconWarning);
  return outcome.done.empty() ? L"Nothing was exported." : outcome.done;
}

ImportChoice ChooseImport(Os& os, std::uintptr_t owner) {
  const std::wstring file = ShowOpenDialog(os.shell, owner, kRegFileFilter, L"Import Icons", {});
  if (file.empty()) return {};
  ImportPlan plan = PlanImport(os, file);
  if (!plan.refusal.empty()) {
    os.shell.MessageBox(plan.refusal, kMbOk | kMbIconError);
    return {std::nullopt, L"Nothing was imported."};
  }
  if (plan.changing == 0) {
    std::wstring text = plan.writes.empty() ? file + L" gives no file type of this computer an icon."
                                            : L"Every file type of " + file + L" shows its icon already.";
    if (!plan.absent.empty()) text += L"\r\n\r\n" + AsMessage(PassedOverMessage(plan));
    os.shell.MessageBox(text, kMbOk | kMbIconInformation);
    return {std::nullopt, L"Nothing was imported."};
  }
  if (os.shell.MessageBox(ImportQuestion(plan, file), kMbYesNo | kMbIconQuestion) != kIdYes) return {};
  return {std::move(plan), {}};
}

std::wstring TellImported(Shell& shell, const ImportPlan& plan, const ApplyOutcome& outcome) {
  std::wstring message = ApplyMessage(shell, outcome);
  if (!plan.absent.empty())
    message += (message.empty() ? L"" : L"\r\n\r\n") + AsMessage(PassedOverMessage(plan));
  if (!message.empty()) shell.MessageBox(message, kMbOk | kMbIconWarning);
  return L"Imported: " + ApplySummary(outcome);
}

}  // namespace tarrow
