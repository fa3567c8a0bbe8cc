// The window's change commands: choosing an icon for a type, asking its
// original back, Apply and Restore Defaults. Changes wait in the model until
// Apply; Apply and Restore Defaults write on a thread of their own, since a
// write may wait up to a minute for another process's lock and thousands of
// types take seconds, and the window answers meanwhile. The model is touched
// on the window's thread only: the writer gets what it writes as data, and
// its outcome is settled back on the window's thread, where every message
// box is shown. What the window must do about it is reported upward.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "app/image_list.h"
#include "app/shell_check_task.h"
#include "app/type_feed.h"
#include "app/type_list_view.h"
#include "app/window.h"
#include "catalog/type_list.h"
#include "catalog/type_view.h"
#include "changes/change_model.h"
#include "changes/restore.h"
#include "platform/os.h"

namespace tarrow::app {

inline constexpr wchar_t kApplyingText[] = L"Applying changes\u2026";
inline constexpr wchar_t kRestoringText[] = L"Restoring original icons\u2026";
inline constexpr wchar_t kImportingText[] = L"Importing icons\u2026";

class ChangeCommandsListener {
 public:
  virtual ~ChangeCommandsListener() = default;
  // The changes waiting, a write's state or the outcome line changed: the
  // list, the status line and the commands show it.
  virtual void OnChangesUpdated() = 0;
  // The registry holds icons the list does not show: it is read again.
  virtual void OnWalkNeeded() = 0;
  // What the user asked to leave by, once the changes it waited for are written.
  virtual void OnLeave(LeavingBy leaving) = 0;
};

class ChangeCommands : public Window<ChangeCommands> {
 public:
  ChangeCommands(Os& os, TypeList& types, ImageStore& images, const ImageListSink& pictures,
                 const TypeListView& list, const TypeFeed& feed, ChangeCommandsListener& listener);
  ChangeCommands(const ChangeCommands&) = delete;
  ChangeCommands& operator=(const ChangeCommands&) = delete;
  ~ChangeCommands() { Stop(); }

  // The window the writer's and the shell's answers come back to.
  bool Create();
  // Waits for a write in hand (never left half way), then reports no more.
  void Stop();

  void OnApply();
  void OnRestoreDefaults();
  void OnRestoreOriginalIcon();
  void OnIconChosen(const std::wstring& iconFile, std::int64_t cell);
  // A .reg file's icons, written as Apply writes them; Tarrow's changes to one.
  void OnImportIcons(HWND owner);
  void OnExportIcons(HWND owner);
  // Asks before unapplied changes are dropped. False when the user chose to
  // stay, or when leaving waits for a write: OnLeave follows once it is over
  // and nothing is left waiting.
  bool MayDropChanges(LeavingBy leaving);
  // The shell answered for the icons Apply or a restore wrote.
  void OnShellChecked();
  // The list was read again; a restore's outcome is told now, over it.
  void OnWalkEnded(bool snapshotTaken);
  // The list is read anew: the pictures of pending changes go with it.
  void Forget() { changes_.Forget(); }
  // What the user's last step came to, when it was no change, for the
  // status line; empty when it needs no word. Older news goes.
  void Tell(std::wstring news) { lastOutcome_ = std::move(news); }

  // Whether a change may be made or written now: not while the list is read
  // or a write runs.
  bool CanChange() const { return !feed_.walking() && !writing(); }
  bool writing() const { return writer_.joinable(); }
  // What the writer is doing, for the status line, while writing().
  const wchar_t* activity() const { return activity_; }
  // Of the last Apply or restore, for the status line.
  const std::wstring& lastOutcome() const { return lastOutcome_; }
  bool checkingShell() const { return shellCheck_.running(); }

 private:
  friend class Window<ChangeCommands>;
  // What the window's thread does with a write's outcome.
  using Ending = std::function<void()>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  // Runs `write` on the writer; its ending runs here once it is over. Every
  // change written as a whole (Apply, Restore Defaults, a set of icons
  // imported) goes through it: `write` gets its data by value and touches no
  // model; the ending settles the model, tells the user, asks for a walk.
  void Write(const wchar_t* activity, std::function<Ending()> write);
  void OnWritten();
  void OnApplied(ApplyOutcome outcome, const std::vector<WrittenIcon>& written);
  void OnRestored(RestoreOutcome outcome, std::set<std::wstring> classes);
  void LeaveIfAsked();

  Os& os_;
  TypeList& types_;
  const ImageListSink& pictures_;
  const TypeListView& list_;
  const TypeFeed& feed_;
  ChangeCommandsListener& listener_;
  ChangeModel changes_;
  ShellCheckTask shellCheck_{os_};
  std::thread writer_;
  Ending ending_;  // set by the writer, run here after joining it
  const wchar_t* activity_ = nullptr;
  std::optional<LeavingBy> leaving_;        // asked for while a write ran
  std::wstring lastOutcome_;                // of the last Apply or Restore, for the status line
  bool storeAppWarned_ = false;             // the user was told a Store app may put its icon back
  std::optional<RestoreOutcome> restored_;  // told once the walk after it is over
  std::set<std::wstring> restoredClasses_;  // of that restore, checked with the shell after the walk
};

}  // namespace tarrow::app
