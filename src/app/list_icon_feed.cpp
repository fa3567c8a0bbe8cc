#include "app/list_icon_feed.h"

#include "app/icon_delivery.h"
#include "catalog/scan.h"

namespace tarrow::app {

ListIconFeed::ListIconFeed(Shell& shell, ImageStore& images, ListIconFeedListener& listener)
    : shell_(shell),
      listener_(listener),
      source_(shell),
      loader_(source_, [this] { delivery_.Wake(); }),
      pictures_(images, loader_) {}

void ListIconFeed::RequestMissing(int sizePx) {
  pictures_.RequestMissing(sizePx, SystemStandInIcon(shell_));
}

void ListIconFeed::Stop() {
  pictures_.Cancel();
  loader_.Stop();
  delivery_.Close();
}

void ListIconFeed::TakeSlice() {
  if (pictures_.TakeDone(kIconsPerSlice)) listener_.OnListPicturesArrived();
}

}  // namespace tarrow::app
