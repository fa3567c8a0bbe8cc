#include "app/console.h"

#include <string>

namespace tarrow::app {
namespace {

// The standard handle when it leads somewhere; null otherwise.
HANDLE Inherited(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  ::SetLastError(NO_ERROR);
  return ::GetFileType(handle) == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR ? nullptr : handle;
}

HANDLE OpenParentConsole(win32::UniqueHandle& console) {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return nullptr;
  const HANDLE opened = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened != INVALID_HANDLE_VALUE) console.reset(opened);
  return console.get();
}

HANDLE Stream(DWORD which, win32::UniqueHandle& console) {
  if (const HANDLE inherited = Inherited(which)) return inherited;
  return console ? console.get() : OpenParentConsole(console);
}

}  // namespace

StreamSink::StreamSink(HANDLE handle) : handle_(handle) {
  DWORD mode = 0;
  console_ = handle_ && ::GetConsoleMode(handle_, &mode);
}

void StreamSink::Write(std::wstring_view text) {
  // Pieces small enough for every console and pipe.
  constexpr std::size_t kPiece = 8192;
  while (handle_ && !text.empty()) {
    std::wstring_view piece = text.substr(0, kPiece);
    // A surrogate pair stays in one piece.
    if (piece.size() == kPiece && piece.back() >= 0xD800 && piece.back() < 0xDC00) piece.remove_suffix(1);
    text.remove_prefix(piece.size());
    DWORD done = 0;
    if (console_) {
      if (!::WriteConsoleW(handle_, piece.data(), static_cast<DWORD>(piece.size()), &done, nullptr)) return;
      continue;
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, piece.data(), static_cast<int>(piece.size()), bytes.data(), n, nullptr,
                          nullptr);
    for (std::size_t at = 0; at < bytes.size(); at += done) {
      // A reader that went away (a closed pipe) ends the output, not the
      // command.
      if (!::WriteFile(handle_, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &done, nullptr) ||
          done == 0)
        return;
    }
  }
}

StandardStreams::StandardStreams()
    : out_(Stream(STD_OUTPUT_HANDLE, console_)), err_(Stream(STD_ERROR_HANDLE, console_)) {}

}  // namespace tarrow::app
