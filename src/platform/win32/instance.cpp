#include "platform/win32/instance.h"

namespace tarrow::win32 {

SingleInstance::SingleInstance(const wchar_t* name) {
  std::wstring local = L"Local\\";
  local += name;
  mutex_.reset(::CreateMutexW(nullptr, TRUE, local.c_str()));
  prevInstance_ = mutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace tarrow::win32
