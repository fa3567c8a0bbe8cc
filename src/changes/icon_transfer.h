// Icons carried to another computer in a .reg file: Tarrow's changes
// exported, and a file's icons imported through the same rules as Apply.
// The command line and the window both go through these, and tell the user
// the same words.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/type_list.h"
#include "changes/apply.h"
#include "platform/os.h"

namespace tarrow {

struct ExportOutcome {
  // What the user must know, a sentence each: a value left out, or why
  // nothing was written.
  std::vector<std::wstring> problems;
  // What was written, or that there was nothing to write; empty when the
  // export failed.
  std::wstring done;
  // A value was left out, or the file could not be written.
  bool failed = false;
};

// Writes every icon Tarrow's change still holds, in either record, to
// `file` as a .reg file. A value a .reg file cannot carry is left out and
// named; a damaged record writes nothing.
ExportOutcome ExportIcons(Os& os, const std::wstring& file);

// What a .reg file would change, read as untrusted input.
struct ImportPlan {
  // Why nothing of the file is imported (it cannot be read, or holds
  // something else than file types' icons, naming the first line at fault);
  // empty when it can be imported.
  std::wstring refusal;
  // The same without what follows from it ("Nothing was imported."), for a
  // command that reads the file to another end.
  std::wstring fault;
  bool unreadable = false;           // the refusal is that the file cannot be read
  std::vector<IconWrite> writes;     // for the classes this computer has
  std::vector<std::wstring> absent;  // the classes it lacks: passed over
  std::size_t changing = 0;          // writes whose class shows another icon now
};
ImportPlan PlanImport(Os& os, const std::wstring& file);

// "Passed over, as this computer has no such file type: a, b."; empty when
// every class is here.
std::wstring PassedOverMessage(const ImportPlan& plan);

// The question before an import: how many types it changes.
std::wstring ImportQuestion(const ImportPlan& plan, const std::wstring& file);

// Writes the plan as Apply writes: where each icon takes effect, the
// originals recorded first, so that Restore takes an import back. The
// originals of `listed` become the defaults when there are none yet.
ApplyOutcome ApplyImport(Os& os, const ImportPlan& plan, const TypeList& listed);

// The window's "Export icons…": the file chosen in a Save dialog, then
// ExportIcons; what the user must know in a message box. Returns the line for
// the status bar; empty when the user cancelled.
std::wstring ExportIconsAsked(Os& os, std::uintptr_t owner);

// The window's "Import icons…" up to the writing: a .reg file chosen in an
// Open dialog, read with PlanImport's rules (a refusal shown), and the user
// asked how many types it changes. `plan` is what to write; without one,
// `summary` is the status line's words, empty when the user cancelled.
struct ImportChoice {
  std::optional<ImportPlan> plan;
  std::wstring summary;
};
ImportChoice ChooseImport(Os& os, std::uintptr_t owner);

// After ApplyImport: what the user must know shown as Apply's is, with the
// classes passed over; returns the status line's words.
std::wstring TellImported(Shell& shell, const ImportPlan& plan, const ApplyOutcome& outcome);

}  // namespace tarrow
