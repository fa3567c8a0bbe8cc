#include "app/message_loop.h"

namespace tarrow::app {

void Route(MSG& msg) {
  const HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && ::IsDialogMessageW(root, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

int RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) Route(msg);
  return static_cast<int>(msg.wParam);
}

}  // namespace tarrow::app
