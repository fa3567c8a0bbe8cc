#include "app/delivery.h"

#include "app/icon_delivery.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kClassName[] = L"TarrowDelivery";
constexpr UINT kWake = WM_APP + 1;
constexpr UINT_PTR kTimer = 1;

}  // namespace

Delivery::~Delivery() {
  Close();
}

bool Delivery::Create() {
  const bool created = CreateMessageOnly(kClassName);
  target_ = hwnd_;
  return created;
}

void Delivery::Wake() const {
  if (const HWND target = target_.load()) ::PostMessageW(target, kWake, 0, 0);
}

void Delivery::Close() {
  target_ = nullptr;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT Delivery::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kWake:
      ArmIconTimer(hwnd_, kTimer);
      [[fallthrough]];
    case WM_TIMER:
      DeliverIcons(hwnd_, kTimer, source_, [this] { source_.TakeSlice(); });
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
