// The system-folder procedure.
#pragma once

#include <string>

#include "platform/os.h"

namespace tarrow {

// The Windows system directory without a trailing backslash; empty when the
// platform cannot say.
std::wstring GetSystemFolder(Shell& shell);

}  // namespace tarrow
