#include "platform/win32/instance.h"

namespace tarrow::win32 {
namespace {

std::wstring SessionName(const wchar_t* name) {
  return std::wstring(L"Local\\") + name;
}

}  // namespace

bool InstanceRuns(const wchar_t* name) {
  const UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, SessionName(name).c_str()));
  // A name held by a copy we may not open is held all the same.
  return mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
}

SingleInstance::SingleInstance(const wchar_t* name) {
  mutex_.reset(::CreateMutexW(nullptr, TRUE, SessionName(name).c_str()));
  prevInstance_ = mutex_ && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace tarrow::win32
