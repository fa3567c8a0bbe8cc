// "&Restore Defaults": puts back every icon location that Defaults.dat
// recorded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "changes/apply.h"
#include "platform/os.h"

namespace tarrow {

inline constexpr wchar_t kRestoreQuestion[] =
    L"Restore all icons to original state?\r(Before Tarrow was installed)";
inline constexpr unsigned kRestoreQuestionStyle = kMbYesNo | kMbIconQuestion | kMbSystemModal;

struct RestoreOutcome {
  bool snapshotRead = false;  // false: no Defaults.dat, or one that cannot be read
  std::size_t written = 0;
  std::vector<WriteFailure> failures;  // in file order
};

// Writes every usable snapshot line back, in file order, and tells the shell
// when anything was written. Shows nothing.
RestoreOutcome RestoreDefaultIcons(Os& os);

// The message for a restore that found no snapshot to read.
// `newSnapshotTaken`: the rescan afterwards saved the current icons as one.
std::wstring NoSnapshotMessage(bool newSnapshotTaken);

// The main window's part in a restore.
class RestoreHost {
 public:
  virtual ~RestoreHost() = default;
  virtual void HideMainWindow() = 0;
  // Rebuilds the type list from the registry (which drops unapplied changes).
  virtual void Rescan() = 0;
  virtual void ShowMainWindow() = 0;
};

// Command3_Click: asks first; on Yes hides the window, restores, rescans and
// shows it again, then says what went wrong, if anything, over the rebuilt
// list. False when the user said No.
bool RestoreDefaults(Os& os, RestoreHost& host);

}  // namespace tarrow
