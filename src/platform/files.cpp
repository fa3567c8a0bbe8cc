#include "platform/files.h"

#include <utility>

#include "platform/text.h"

namespace tarrow {

bool FileExists(FileSystem& files, std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  if (path.empty() || path.back() == L'\\' || path.find(L'\0') != std::wstring::npos) return false;
  return files.CanOpenForRead(path);
}

std::wstring DialogFilter(std::wstring filter) {
  if (filter.empty() || filter.back() != L'|') filter += L'|';
  for (auto& c : filter) {
    if (c == L'|') c = L'\0';
  }
  return filter;
}

std::wstring ShowOpenDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& initialFolder) {
  const auto chosen = shell.ShowOpenDialog({owner, DialogFilter(filter), title, initialFolder, {}});
  if (!chosen) return {};
  return TrimBlanks(chosen->substr(0, chosen->find(L'\0')));
}

std::wstring ShowSaveDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& defaultExtension) {
  const auto chosen = shell.ShowSaveDialog({owner, DialogFilter(filter), title, {}, defaultExtension});
  if (!chosen) return {};
  return TrimBlanks(chosen->substr(0, chosen->find(L'\0')));
}

WholeFileWriter::WholeFileWriter(FileSystem& files, std::wstring path)
    : files_(files), path_(std::move(path)), tempPath_(path_ + L".tmp") {}

WholeFileWriter::~WholeFileWriter() {
  Abandon();
}

bool WholeFileWriter::Open() {
  if (open()) return true;
  // Left behind by a writer that was killed.
  files_.Remove(tempPath_);
  file_ = files_.Create(tempPath_);
  writeFailed_ = false;
  return open();
}

void WholeFileWriter::Write(std::string_view bytes) {
  if (open() && !file_->Write(bytes)) writeFailed_ = true;
}

bool WholeFileWriter::Finish() {
  if (!open()) return false;
  const bool written = file_->Commit() && !writeFailed_;
  file_.reset();
  if (written && files_.Replace(tempPath_, path_)) return true;
  files_.Remove(tempPath_);
  return false;
}

void WholeFileWriter::Abandon() {
  if (!open()) return;
  // Closed first: an open file cannot be deleted on Windows.
  file_.reset();
  files_.Remove(tempPath_);
}

bool WriteWholeFile(FileSystem& files, const std::wstring& path, std::string_view bytes) {
  WholeFileWriter writer(files, path);
  if (!writer.Open()) return false;
  writer.Write(bytes);
  return writer.Finish();
}

}  // namespace tarrow
