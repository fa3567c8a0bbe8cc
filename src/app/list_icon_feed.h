// The type list's icons: drawn on a loader's worker thread and given to the
// list's pictures a slice at a time on the window's thread, the rows on
// screen first. The icons come through an IconFeed to a message-only window
// of the feed's own, so that no other window routes its messages.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/icon_feed.h"
#include "app/window.h"
#include "catalog/icon_loader.h"
#include "catalog/list_pictures.h"
#include "platform/os.h"

namespace tarrow::app {

class ListIconFeedListener {
 public:
  virtual ~ListIconFeedListener() = default;
  // Some rows' pictures came.
  virtual void OnListPicturesArrived() = 0;
};

class ListIconFeed : public Window<ListIconFeed> {
 public:
  ListIconFeed(Os& os, ImageStore& images, ListIconFeedListener& listener);
  ~ListIconFeed();
  ListIconFeed(const ListIconFeed&) = delete;
  ListIconFeed& operator=(const ListIconFeed&) = delete;

  bool Create();
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
  friend class Window<ListIconFeed>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  Shell& shell_;
  ListIconFeedListener& listener_;
  ShellIconSource source_;
  IconFeed feed_;
  ListPictures pictures_;
};

}  // namespace tarrow::app
