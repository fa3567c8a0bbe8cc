// Whether another copy of the program runs in this user session.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/handles.h"

namespace tarrow::win32 {

// Owns a named mutex for the program's lifetime. The first copy to create it
// is the one instance; a copy started at the same moment finds it taken.
class SingleInstance {
 public:
  explicit SingleInstance(const wchar_t* name);
  // True when another copy already held the name.
  bool PrevInstance() const { return prevInstance_; }

 private:
  UniqueHandle mutex_;
  bool prevInstance_ = false;
};

}  // namespace tarrow::win32
