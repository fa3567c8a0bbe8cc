// Defaults.dat: the icon location of every listed type as the first scan found
// it, so that every original icon can be put back.
//
// One line per listed type: ProgID "," icon location, CR LF after every line.
// New files are UTF-8 with a byte-order mark; a file without one is read in
// the ANSI code page, as older files were written.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace tarrow {

inline constexpr wchar_t kSnapshotName[] = L"Defaults.dat";

// Strict UTF-8 as wide text: what is not UTF-8 becomes U+FFFD.
std::wstring FromUtf8(std::string_view bytes);

// Beside the program, and the per-user fall-back for a program folder that
// cannot be written (%LOCALAPPDATA%\Tarrow\Defaults.dat). Empty when the
// folder is unknown.
std::wstring SnapshotPathBesideProgram(Shell& shell);
std::wstring SnapshotPathPerUser(Shell& shell);

// The snapshot file that exists, beside the program first; empty when none.
std::wstring FindSnapshot(Os& os);

// Takes a snapshot during a scan. Begin decides whether one is taken at all
// (only when no snapshot exists); Record adds one type; End puts the complete
// file in place. A scan that never reaches End leaves no Defaults.dat.
class SnapshotWriter {
 public:
  explicit SnapshotWriter(Os& os);
  ~SnapshotWriter();
  void Begin();
  // A type whose line could not be read back as the same type (a comma or
  // line break in the ProgID, a line break in the location) is left out.
  void Record(const std::wstring& progId, const std::wstring& location);
  // True when a snapshot was put in place.
  bool End();
  bool active() const;

 private:
  struct State;
  Os& os_;
  std::unique_ptr<State> state_;
};

struct SnapshotLine {
  std::wstring progId;
  std::wstring location;
  std::size_t number = 0;  // of the line in the file, from 1
};

// A snapshot file's lines: those that can be used, and the numbers (from 1)
// of those that cannot. Empty lines are neither. The writer ends every line,
// so a last line without its end is taken for a file cut short and not used.
struct SnapshotContents {
  std::vector<SnapshotLine> lines;
  std::vector<std::size_t> unusable;
  // Nothing after the byte-order mark: the record of a first run that listed
  // no types, as the writer leaves it.
  bool empty = false;
};

// Splits each line at its first comma; lines without one, with an empty
// ProgID or location, or with a NUL in the ProgID cannot be used.
SnapshotContents ParseSnapshot(Shell& shell, std::string_view bytes);

enum class SnapshotState { Missing, Unreadable, Read };

struct SnapshotReading {
  SnapshotState state = SnapshotState::Missing;
  SnapshotContents contents;
  // Read, but with lines that cannot be used, or with text and no line at
  // all: a damaged file must never pass for a complete or an empty one.
  bool damaged() const {
    return state == SnapshotState::Read &&
           (!contents.unusable.empty() || (contents.lines.empty() && !contents.empty));
  }
};

// The snapshot that exists, beside the program first.
SnapshotReading ReadSnapshot(Os& os);

}  // namespace tarrow
