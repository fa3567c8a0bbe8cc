// The handle types the program owns.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "platform/win32/unique.h"

namespace tarrow::win32 {

inline void CloseFile(HANDLE file) {
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

using UniqueHkey = Unique<HKEY, &::RegCloseKey>;
using UniqueHicon = Unique<HICON, &::DestroyIcon>;
using UniqueHandle = Unique<HANDLE, &::CloseHandle>;
using UniqueFont = Unique<HFONT, &::DeleteObject>;
using UniqueBitmap = Unique<HBITMAP, &::DeleteObject>;
using UniqueBrush = Unique<HBRUSH, &::DeleteObject>;
using UniqueImageList = Unique<HIMAGELIST, &::ImageList_Destroy>;

// A file handle, whose "none" is INVALID_HANDLE_VALUE rather than 0.
class UniqueFile {
 public:
  explicit UniqueFile(HANDLE file) : file_(file) {}
  UniqueFile(UniqueFile&& other) noexcept : file_(other.release()) {}
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  ~UniqueFile() { CloseFile(file_); }
  HANDLE get() const { return file_; }
  bool valid() const { return file_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(file_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE file_;
};

// A window's device context, released to its window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context until the end of the scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;
  ~Selected() { ::SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace tarrow::win32
