// The icon feed on a window of the test's own: its wake-up, its timer and
// its slices, and nothing once detached.
#include "app/icon_feed.h"

#include <gtest/gtest.h>
#include <thread>

namespace tarrow::app {
namespace {

constexpr UINT kWake = WM_APP + 5;
constexpr UINT_PTR kTimer = 9;

// A file of icons none of which can be drawn: results with empty places.
class BlankSource : public IconSource {
 public:
  int Count(const std::wstring&) override { return 0; }
  std::vector<IconHandle> Extract(const IconRequest& request) override {
    return std::vector<IconHandle>(static_cast<std::size_t>(request.count), 0);
  }
  void Release(IconHandle) override {}
};

class IconFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window_);
    feed_.Attach(window_);
  }
  void TearDown() override {
    feed_.Detach();
    ::DestroyWindow(window_);
  }

  BlankSource source_;
  IconFeed feed_{source_, kWake, kTimer};
  HWND window_ = nullptr;
};

TEST_F(IconFeedTest, AWakeUpArmsTheTimerWhichTakesSlicesUntilNothingIsLeftAndThenStops) {
  // Three results of a slice each.
  for (int k = 0; k < 3; ++k) feed_.loader().Request({L"blank.dll", k * 64, 64, 32});
  std::size_t taken = 0;
  const auto takeSlice = [&] { taken += feed_.loader().TakeResults(kIconsPerSlice).size(); };
  int wakes = 0, ticks = 0;
  MSG msg;
  while (taken < 3 && ::GetMessageW(&msg, window_, 0, 0) > 0) {
    wakes += msg.message == kWake;
    ticks += msg.message == WM_TIMER && msg.wParam == kTimer;
    if (!feed_.HandleMessage(msg.message, msg.wParam, takeSlice)) ::DispatchMessageW(&msg);
  }
  EXPECT_EQ(taken, 3u);
  EXPECT_GE(wakes, 1);
  ASSERT_TRUE(feed_.loader().idle());
  EXPECT_FALSE(::KillTimer(window_, kTimer)) << "the feed stopped its timer once the loader was idle";

  // The owner's other timers and messages are its own.
  bool ran = false;
  EXPECT_FALSE(feed_.HandleMessage(WM_TIMER, kTimer + 1, [&] { ran = true; }));
  EXPECT_FALSE(feed_.HandleMessage(WM_APP + 6, 0, [&] { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST_F(IconFeedTest, ADetachedFeedPostsNothing) {
  feed_.Detach();
  feed_.loader().Request({L"blank.dll", 0, 1, 32});
  while (!feed_.loader().hasResults()) std::this_thread::yield();
  // Joins the worker: the wake-up that follows a result is over.
  feed_.loader().Stop();
  MSG msg;
  EXPECT_FALSE(::PeekMessageW(&msg, window_, kWake, kWake, PM_REMOVE));
  EXPECT_FALSE(feed_.HandleMessage(kWake, 0, [] { ADD_FAILURE() << "a slice taken for a detached window"; }));
}

}  // namespace
}  // namespace tarrow::app
