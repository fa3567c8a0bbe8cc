// Whether another copy of the program runs in this user session.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/handles.h"

namespace tarrow::win32 {

// The name the program's window holds while it is open.
inline constexpr wchar_t kSingleInstanceName[] = L"Tarrow.SingleInstance";

// Whether a copy of the program holds the name: its window is open, or
// opening. Asks without taking the name, so a window started meanwhile is not
// turned away.
bool InstanceRuns(const wchar_t* name);

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
