#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::MessageBoxW(nullptr, L"Tarrow", L"Tarrow", MB_OK);
  return 0;
}
