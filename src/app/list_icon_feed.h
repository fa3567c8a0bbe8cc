// The type list's icons: drawn on a loader's worker thread and given to the
// list's pictures a slice at a time on the window's thread, the rows on
// screen first.
#pragma once

#include <string>
#include <vector>

#include "app/delivery.h"
#include "catalog/icon_loader.h"
#include "catalog/list_pictures.h"

namespace tarrow::app {

class ListIconFeedListener {
 public:
  virtual ~ListIconFeedListener() = default;
  // Some rows' pictures came.
  virtual void OnListPicturesArrived() = 0;
};

class ListIconFeed : private Delivery::Source {
 public:
  ListIconFeed(Shell& shell, ImageStore& images, ListIconFeedListener& listener);
  bool Create() { return delivery_.Create(); }
  // Asks for the picture of every key of the store without one, at `sizePx`.
  void RequestMissing(int sizePx);
  // The keys of rows on screen: their icons go first.
  void Prioritise(const std::vector<std::wstring>& keys) { pictures_.Prioritise(keys); }
  // Drops every request not done, without waiting.
  void Cancel() { pictures_.Cancel(); }
  // Ends the worker; nothing more arrives.
  void Stop();
  bool loading() const { return pictures_.loading(); }

 private:
  bool hasResults() const override { return loader_.hasResults(); }
  bool idle() const override { return loader_.idle(); }
  void TakeSlice() override;

  Shell& shell_;
  ListIconFeedListener& listener_;
  ShellIconSource source_;
  Delivery delivery_{*this};
  IconLoader loader_;  // after the delivery it wakes
  ListPictures pictures_;
};

}  // namespace tarrow::app
