// A worker's results reach the window's thread through a message-only
// window of their own: the worker posts it a wake-up, and it takes the
// results a slice at a time on its timer (icon_delivery.h), after input and
// painting. Whoever owns the worker owns one of these, so no other window
// routes its messages.
#pragma once

#include <windows.h>

#include <atomic>

#include "app/window.h"

namespace tarrow::app {

class Delivery : public Window<Delivery> {
 public:
  // What the results are taken from, on the window's thread.
  class Source {
   public:
    virtual ~Source() = default;
    virtual bool hasResults() const = 0;
    virtual bool idle() const = 0;
    virtual void TakeSlice() = 0;
  };

  explicit Delivery(Source& source) : source_(source) {}
  ~Delivery();
  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;

  bool Create();
  // Asks for the results to be taken; safe on any thread, and nothing once
  // the window is gone.
  void Wake() const;
  // Results come no more: wake-ups already posted find no window.
  void Close();

 private:
  friend class Window<Delivery>;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  Source& source_;
  std::atomic<HWND> target_{nullptr};  // read on the worker's thread
};

}  // namespace tarrow::app
