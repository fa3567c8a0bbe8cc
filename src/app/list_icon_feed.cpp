#include "app/list_icon_feed.h"

#include "app/icon_delivery.h"
#include "catalog/scan.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kClassName[] = L"TarrowListIconFeed";
constexpr UINT kIconsDone = WM_APP + 1;
constexpr UINT_PTR kDeliveryTimer = 1;

}  // namespace

ListIconFeed::ListIconFeed(Os& os, ImageStore& images, ListIconFeedListener& listener)
    : shell_(os.shell),
      listener_(listener),
      source_(os.shell, &os.files),
      feed_(source_, kIconsDone, kDeliveryTimer),
      pictures_(images, feed_.loader()) {}

ListIconFeed::~ListIconFeed() {
  Stop();
}

bool ListIconFeed::Create() {
  if (!CreateMessageOnly(kClassName)) return false;
  feed_.Attach(hwnd_);
  return true;
}

void ListIconFeed::RequestMissing(int sizePx) {
  pictures_.RequestMissing(sizePx, SystemStandInIcon(shell_));
}

void ListIconFeed::Stop() {
  pictures_.Cancel();
  feed_.Detach();
  feed_.loader().Stop();
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT ListIconFeed::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (feed_.HandleMessage(msg, wp, [this] {
        if (pictures_.TakeDone(kIconsPerSlice)) listener_.OnListPicturesArrived();
      }))
    return 0;
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
