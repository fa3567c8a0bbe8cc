#include "app/change_commands.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "catalog/icon_location.h"
#include "changes/icon_transfer.h"
#include "changes/picture_store.h"
#include "changes/shell_check.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kClassName[] = L"TarrowChangeCommands";
constexpr UINT kWritten = WM_APP + 1;       // the writer is over
constexpr UINT kShellChecked = WM_APP + 2;  // the shell answered for the icons written

}  // namespace

ChangeCommands::ChangeCommands(Os& os, TypeList& types, ImageStore& images, const ImageListSink& pictures,
                               const TypeListView& list, const TypeFeed& feed,
                               ChangeCommandsListener& listener)
    : os_(os),
      types_(types),
      pictures_(pictures),
      list_(list),
      feed_(feed),
      listener_(listener),
      changes_(os, types, &images) {}

bool ChangeCommands::Create() {
  return CreateMessageOnly(kClassName);
}

void ChangeCommands::Stop() {
  if (writer_.joinable()) writer_.join();
  ending_ = nullptr;
  activity_ = nullptr;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT ChangeCommands::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kWritten:
      OnWritten();
      return 0;
    case kShellChecked:
      OnShellChecked();
      return 0;
  }
  return Default(msg, wp, lp);
}

void ChangeCommands::Write(const wchar_t* activity, std::function<Ending()> write) {
  activity_ = activity;
  writer_ = std::thread([this, window = hwnd_, write = std::move(write)] {
    ending_ = write();
    ::PostMessageW(window, kWritten, 0, 0);
  });
  listener_.OnChangesUpdated();
}

void ChangeCommands::OnWritten() {
  if (!writer_.joinable()) return;
  writer_.join();
  activity_ = nullptr;
  std::exchange(ending_, nullptr)();
}

// ---- what waits for Apply, and writing it

bool ChangeCommands::MayDropChanges(LeavingBy leaving) {
  // A write is never left half way: the window leaves once it is over.
  if (writing()) {
    leaving_ = leaving;
    return false;
  }
  const std::size_t pending = CountPendingTypes(types_);
  if (pending == 0) return true;
  switch (os_.shell.MessageBox(UnappliedChangesQuestion(pending, leaving), kMbYesNoCancel | kMbIconWarning)) {
    case kIdYes:
      OnApply();
      if (writing()) leaving_ = leaving;
      return false;
    case kIdNo:
      return true;
    default:
      return false;
  }
}

void ChangeCommands::OnApply() {
  if (!CanChange() || changes_.pendingTypes() == 0) return;
  Write(kApplyingText, [this, pending = changes_.Pending(), icons = PendingIcons(types_)]() -> Ending {
    ApplyOutcome outcome = WritePending(os_, pending);
    std::vector<WrittenIcon> written = AppliedIcons(icons, outcome);
    RedrawUnmovedIcons(os_.shell, written);
    return
        [this, outcome = std::move(outcome), written = std::move(written)] { OnApplied(outcome, written); };
  });
}

void ChangeCommands::OnApplied(ApplyOutcome outcome, const std::vector<WrittenIcon>& written) {
  changes_.Settle(outcome);
  TellApplied(os_.shell, outcome);
  lastOutcome_ = ApplySummary(outcome);
  // Nobody is left to hear the shell's answers once the window closes.
  if (leaving_ != LeavingBy::Exit) shellCheck_.Start(written, lastOutcome_, hwnd_, kShellChecked);
  listener_.OnChangesUpdated();
  LeaveIfAsked();
}

void ChangeCommands::LeaveIfAsked() {
  const auto leaving = std::exchange(leaving_, std::nullopt);
  if (leaving && CountPendingTypes(types_) == 0) listener_.OnLeave(*leaving);
}

void ChangeCommands::OnShellChecked() {
  // Answers for an outcome the status line no longer shows are old news.
  const auto done = shellCheck_.Take();
  if (!done || done->outcome != lastOutcome_) return;
  lastOutcome_ = WithShellCheck(lastOutcome_, done->check);
  listener_.OnChangesUpdated();
  if (const auto doubt = ShellCheckMessage(done->check); !doubt.empty())
    os_.shell.MessageBox(doubt, kMbOk | kMbIconWarning);
}

// ---- putting originals back

void ChangeCommands::OnRestoreDefaults() {
  if (!CanChange() || os_.shell.MessageBox(RestoreDefaultsQuestion(os_, types_), kRestoreQuestionStyle) != kIdYes)
    return;
  // The list names the types in messages; the writer reads a copy of it.
  Write(kRestoringText, [this, listed = types_]() -> Ending {
    std::set<std::wstring> classes = JournaledProgIds(os_);
    RestoreOutcome outcome = RestoreOriginals(os_, listed);
    return
        [this, outcome = std::move(outcome), classes = std::move(classes)] { OnRestored(outcome, classes); };
  });
}

void ChangeCommands::OnRestored(RestoreOutcome outcome, std::set<std::wstring> classes) {
  lastOutcome_ = RestoredTypesSummary(os_.shell, outcome, types_);
  if (leaving_ == LeavingBy::Exit) {
    // No walk to wait for: what went wrong is told before the window goes.
    if (const std::wstring message = RestoreMessage(os_, outcome); !message.empty())
      os_.shell.MessageBox(message, kMbOk | kMbIconWarning);
    leaving_.reset();
    return listener_.OnLeave(LeavingBy::Exit);
  }
  leaving_.reset();
  restored_ = std::move(outcome);
  restoredClasses_ = std::move(classes);
  listener_.OnWalkNeeded();
}

void ChangeCommands::OnWalkEnded(bool snapshotTaken) {
  if (!restored_) return;
  // Told only now, over the rebuilt list, whose walk takes a new snapshot
  // when there was none.
  const RestoreOutcome outcome = *std::exchange(restored_, std::nullopt);
  shellCheck_.Start(IconsOfProgIds(os_.shell, types_, std::exchange(restoredClasses_, {})), lastOutcome_,
                    hwnd_, kShellChecked);
  std::wstring message = RestoreMessage(os_, outcome);
  if (outcome.snapshot == SnapshotState::Missing && snapshotTaken)
    message +=
        L"\r\n\r\nThe icons as they are now have been saved as the new defaults; Restore Defaults will "
        L"put them back.";
  if (!message.empty()) os_.shell.MessageBox(message, kMbOk | kMbIconWarning);
}

// A change like any other: marked in the list, written by Apply, dropped
// with the list. Every selected type's original comes back.
void ChangeCommands::OnRestoreOriginalIcon() {
  const std::vector<std::size_t> selected = list_.SelectedTypes();
  if (selected.empty() || !CanChange()) return;
  const ChangeModel::SetChange asked = changes_.AskOriginal(selected, pictures_.sizePx());
  lastOutcome_ = !asked.unchanged.empty() ? NoOriginalText(types_, asked.unchanged)
                 : asked.withdrawn > 0     ? WithdrawnText(asked.withdrawn)
                                           : std::wstring();
  listener_.OnChangesUpdated();
}

// Every selected type takes the icon.
void ChangeCommands::OnIconChosen(const std::wstring& iconFile, std::int64_t cell) {
  const std::vector<std::size_t> selected = list_.SelectedTypes();
  // A change goes to every type of its ProgID: not before all are listed.
  if (selected.empty() || !CanChange() || cell < 1 || cell - 1 > std::numeric_limits<int>::max()) return;
  if (const std::wstring question = IconHandlerQuestion(types_, selected);
      !question.empty() && os_.shell.MessageBox(question, kMbYesNo | kMbIconQuestion) != kIdYes)
    return;
  // The location keeps the file as typed; only drawing it resolves it.
  const std::wstring location = BuildIconLocation(iconFile, cell - 1);
  // A picture for all users needs their folder, safe from every user: said
  // now, not at Apply, with the user's own layer offered instead.
  bool forUser = false;
  if (PictureFileOf(location)) {
    const std::vector<std::wstring> forAll = TypesChangedForAllUsers(os_, types_, selected);
    if (!forAll.empty() && !PrepareIconsFolder(os_, RecordScope::Machine)) {
      if (os_.shell.MessageBox(PictureForUserQuestion(os_.shell, forAll), kMbYesNo | kMbIconQuestion) != kIdYes)
        return;
      forUser = true;
    }
  }
  const auto assigned = forUser ? changes_.AssignForUser(selected, location, pictures_.sizePx())
                                : changes_.Assign(selected, location, pictures_.sizePx());
  if (assigned.changed == 0) return;
  lastOutcome_.clear();
  // Said once a run, before the first change of a Store app's type is written.
  const auto app = std::find_if(selected.begin(), selected.end(),
                                [&](std::size_t index) { return IsStoreAppType(types_[index]); });
  if (app != selected.end() && !std::exchange(storeAppWarned_, true))
    os_.shell.MessageBox(TypeName(types_[*app]) + L" " + kStoreAppUpdateWarning, kMbOk | kMbIconInformation);
  listener_.OnChangesUpdated();
}

// ---- icons carried between computers

// Written at once, like Restore Defaults, and the list read anew: changes
// waiting in the list are applied or dropped first.
void ChangeCommands::OnImportIcons(HWND owner) {
  if (!CanChange() || !MayDropChanges(LeavingBy::Import)) return;
  ImportChoice choice = ChooseImport(os_, reinterpret_cast<std::uintptr_t>(owner));
  if (!choice.plan) {
    if (choice.summary.empty()) return;
    lastOutcome_ = std::move(choice.summary);
    return listener_.OnChangesUpdated();
  }
  Write(kImportingText, [this, plan = std::move(*choice.plan), listed = types_]() -> Ending {
    ApplyOutcome outcome = ApplyImport(os_, plan, listed);
    return [this, plan, outcome = std::move(outcome)] {
      lastOutcome_ = TellImported(os_.shell, plan, outcome);
      if (!leaving_ && !outcome.busy && !outcome.journalFailed) return listener_.OnWalkNeeded();
      listener_.OnChangesUpdated();
      LeaveIfAsked();
    };
  });
}

void ChangeCommands::OnExportIcons(HWND owner) {
  std::wstring done = ExportIconsAsked(os_, reinterpret_cast<std::uintptr_t>(owner));
  if (done.empty()) return;
  lastOutcome_ = std::move(done);
  listener_.OnChangesUpdated();
}

}  // namespace tarrow::app
