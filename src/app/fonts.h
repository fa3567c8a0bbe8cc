// The program's fonts, made for a DPI in one place.
#pragma once

#include <windows.h>

#include "platform/win32/handles.h"

namespace tarrow::app {

// The program's face at `points` and `weight`, scaled for `dpi`.
win32::UniqueFont MakeFont(UINT dpi, double points, int weight);

// The normal and bold 8.25 point fonts the windows' text uses.
class UiFonts {
 public:
  void Update(UINT dpi);
  HFONT normal() const { return normal_.get(); }
  HFONT bold() const { return bold_.get(); }

 private:
  win32::UniqueFont normal_, bold_;
};

}  // namespace tarrow::app
