// The file and dialog procedures: the program's only way to files and the open-file dialog.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace tarrow {

// Whether `path` names a file that can be opened for reading. One trailing
// backslash is ignored; folders never count as files.
bool FileExists(FileSystem& files, std::wstring path);

// The dialog's form of a filter: every "|" becomes a NUL, and the list ends
// with an element terminator ("a|b" gives a NUL b NUL).
std::wstring DialogFilter(std::wstring filter);

// Lets the user choose one existing file. `filter` is the "|"-separated list
// of descriptions and patterns. Returns the chosen full path, or empty text
// when the user cancels.
std::wstring ShowOpenDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& initialFolder);

// Lets the user choose a file to write, asking before one is replaced;
// `defaultExtension` (without its dot) is added to a name typed without one.
// Returns the chosen full path, or empty text when the user cancels.
std::wstring ShowSaveDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& defaultExtension);

// A file put in place whole or not at all: written to "<path>.tmp" beside it
// and moved over it only once every write and the flush succeeded, so a kill
// or a full disk at any moment leaves either the old file or the new one.
// Whatever does not reach Finish leaves no temporary file behind.
class WholeFileWriter {
 public:
  WholeFileWriter(FileSystem& files, std::wstring path);
  ~WholeFileWriter();
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  // Creates the temporary file; false when it cannot be.
  bool Open();
  bool open() const { return file_ != nullptr; }
  // A failed write is remembered: Finish then puts nothing in place.
  void Write(std::string_view bytes);
  // True when the file is in place; otherwise the old one is untouched.
  bool Finish();

 private:
  void Abandon();
  FileSystem& files_;
  std::wstring path_;
  std::wstring tempPath_;
  std::unique_ptr<OutputFile> file_;
  bool writeFailed_ = false;
};

// The whole of `bytes` as the file at `path`, or nothing changed.
bool WriteWholeFile(FileSystem& files, const std::wstring& path, std::string_view bytes);

}  // namespace tarrow
