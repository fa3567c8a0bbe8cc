// The registry walk as the main window sees it: started, and its types
// reported as they arrive, a slice at a time on the window's thread.
#pragma once

#include <vector>

#include "app/delivery.h"
#include "catalog/scan.h"
#include "platform/os.h"

namespace tarrow::app {

class TypeFeedListener {
 public:
  virtual ~TypeFeedListener() = default;
  // Types the walk found, in the root's order; `done` with the last of them.
  virtual void OnTypesFound(std::vector<TypeItem> types, bool done) = 0;
};

class TypeFeed : private Delivery::Source {
 public:
  TypeFeed(Os& os, TypeFeedListener& listener);
  bool Create() { return delivery_.Create(); }
  // Reads the registry anew for `which` types, dropping a walk in hand.
  void Start(TypesListed which) { walk_.Start(which); }
  bool walking() const { return walk_.walking(); }
  // Ends the worker; nothing more is reported.
  void Stop();

 private:
  bool hasResults() const override { return walk_.hasResults(); }
  bool idle() const override { return walk_.idle(); }
  void TakeSlice() override;

  TypeFeedListener& listener_;
  Delivery delivery_{*this};
  TypeWalk walk_;  // after the delivery it wakes
};

}  // namespace tarrow::app
