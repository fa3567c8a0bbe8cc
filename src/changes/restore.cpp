#include "changes/restore.h"

#include "catalog/snapshot.h"

namespace tarrow {

RestoreOutcome RestoreDefaultIcons(Os& os) {
  RestoreOutcome outcome;
  const SnapshotReading snapshot = ReadSnapshot(os);
  if (snapshot.state != SnapshotState::Read || snapshot.contents.lines.empty()) return outcome;
  outcome.snapshotRead = true;
  for (const SnapshotLine& line : snapshot.contents.lines) {
    Status status = kSuccess;
    if (WriteDefaultIcon(os.registry, line.progId, line.location, &status)) {
      ++outcome.written;
    } else {
      outcome.failures.push_back({line.progId, status});
    }
  }
  // Without this Explorer keeps showing the icons it has cached.
  if (outcome.written > 0) os.shell.NotifyAssociationsChanged();
  return outcome;
}

std::wstring NoSnapshotMessage(bool newSnapshotTaken) {
  std::wstring text =
      L"Defaults.dat, the record of the original icons, could not be found or read, so nothing was restored.";
  if (newSnapshotTaken) {
    text +=
        L"\r\n\r\nThe icons as they are now have been saved as the new defaults; Restore Defaults will "
        L"put them back.";
  }
  return text;
}

bool RestoreDefaults(Os& os, RestoreHost& host) {
  if (os.shell.MessageBox(kRestoreQuestion, kRestoreQuestionStyle) != kIdYes) return false;
  host.HideMainWindow();
  const RestoreOutcome outcome = RestoreDefaultIcons(os);
  host.Rescan();
  host.ShowMainWindow();
  // Told only now, over the rebuilt list: the rescan is what takes a new
  // snapshot when there was none.
  if (!outcome.snapshotRead) {
    os.shell.MessageBox(NoSnapshotMessage(ReadSnapshot(os).state == SnapshotState::Read),
                        kMbOk | kMbIconWarning);
  }
  ReportFailures(os.shell, outcome.failures, ChangeKind::Restore);
  return true;
}

}  // namespace tarrow
