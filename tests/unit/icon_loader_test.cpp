#include "catalog/icon_loader.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <set>

#include "catalog/list_pictures.h"
#include "loader_wakes.h"

namespace tarrow {
namespace {

IconRequest At(const wchar_t* file, int index) {
  return {file, index, 1, 16};
}

TEST(IconScheduleTest, EachRequestIsQueuedOnceAndTheRowsOnScreenGoFirst) {
  IconSchedule schedule;
  const IconJobId a = schedule.Add(At(L"a.dll", 0)).first;
  const IconJobId b = schedule.Add(At(L"b.dll", 0)).first;
  const IconJobId c = schedule.Add(At(L"c.dll", 0)).first;
  const IconJobId d = schedule.Add(At(L"d.dll", 0)).first;
  EXPECT_EQ(schedule.Add(At(L"b.dll", 0)), std::pair(b, false)) << "a location asked for twice";
  EXPECT_EQ(schedule.Take()->first, a);

  // Rows c and b come on screen (in that order), then a taken one and one
  // never asked for are named: both are passed over.
  schedule.Prioritise({c, b});
  schedule.Prioritise({a, 99});
  EXPECT_EQ(schedule.Take()->first, c);
  EXPECT_EQ(schedule.Take()->first, b);
  EXPECT_EQ(schedule.Take()->first, d);
  EXPECT_FALSE(schedule.Take());
  EXPECT_EQ(schedule.Add(At(L"a.dll", 0)), std::pair(a, false)) << "done this round: not again";

  // A new round: the same location is asked for again, under a new id.
  schedule.Clear();
  const auto again = schedule.Add(At(L"a.dll", 0));
  EXPECT_TRUE(again.second);
  EXPECT_GT(again.first, d);
}

TEST(IconScheduleTest, AForgottenRequestIsNotWorkedOnAndAskingAgainMakesANewOne) {
  IconSchedule schedule;
  const IconJobId a = schedule.Add(At(L"a.dll", 0)).first;
  const IconJobId b = schedule.Add(At(L"b.dll", 0)).first;
  const IconJobId c = schedule.Add(At(L"c.dll", 0)).first;
  EXPECT_EQ(schedule.Take()->first, a);
  // The grid scrolled away from a (done) and b (queued).
  schedule.Forget({a, b, 99});
  EXPECT_EQ(schedule.Take()->first, c);
  EXPECT_TRUE(schedule.empty());
  const auto again = schedule.Add(At(L"a.dll", 0));
  EXPECT_TRUE(again.second) << "scrolled back: a is drawn again";
  EXPECT_GT(again.first, c);
  EXPECT_EQ(schedule.Add(At(L"c.dll", 0)), std::pair(c, false)) << "c was not forgotten";
  EXPECT_EQ(schedule.Take()->first, again.first);
  EXPECT_FALSE(schedule.Take());
}

// Hands out numbered icons, holding back any extraction from `heldFile`
// until released; counts the icons alive.
class HeldSource : public IconSource {
 public:
  std::wstring heldFile;
  std::wstring goneFile;  // holds no icons

  int Count(const std::wstring&) override { return 3; }
  std::vector<IconHandle> Extract(const IconRequest& request) override {
    std::unique_lock lock(mutex_);
    if (request.file == heldFile) {
      inHand_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    std::vector<IconHandle> icons;
    if (request.file == goneFile) return std::vector<IconHandle>(static_cast<std::size_t>(request.count), 0);
    for (int k = 0; k < request.count; ++k) {
      icons.push_back(next_);
      live_.insert(next_++);
    }
    return icons;
  }
  void Release(IconHandle icon) override {
    std::lock_guard lock(mutex_);
    live_.erase(icon);
  }
  void WaitInHand() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inHand_; });
  }
  void ReleaseHeld() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::size_t live() {
    std::lock_guard lock(mutex_);
    return live_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool inHand_ = false, released_ = false;
  std::set<IconHandle> live_;
  IconHandle next_ = 0x100;
};

// Every result until the loader has nothing left, as the window takes them.
std::vector<IconResult> TakeAll(IconLoader& loader, LoaderWakes& wakes) {
  std::vector<IconResult> all;
  TakeUntilIdle(loader, wakes, [&] {
    auto results = loader.TakeResults();
    for (auto& result : results) all.push_back(std::move(result));
    return !results.empty();
  });
  return all;
}

// The list's pictures over a source that holds back one file.
struct PictureLoading {
  struct Sink : PictureSink {
    std::vector<IconHandle> added;
    int AddPicture(IconHandle icon) override {
      added.push_back(icon);
      return static_cast<int>(added.size()) - 1;
    }
    void RemoveAllPictures() override { added.clear(); }
  } sink;
  HeldSource source;
  LoaderWakes wakes;
  IconLoader loader{source, wakes.Callback()};
  ImageStore images{sink};
  ListPictures pictures{images, loader};
};

TEST(IconLoaderTest, CancelDoesNotWaitForTheIconInHandAndNothingOfTheOldRoundArrives) {
  HeldSource source;
  source.heldFile = L"slow.dll";
  LoaderWakes wakes;
  IconLoader loader(source, wakes.Callback());
  loader.Request(At(L"slow.dll", 0));
  loader.Request(At(L"queued.dll", 0));
  source.WaitInHand();

  // Returns while slow.dll is still being read: the source holds it.
  loader.Cancel();
  const IconJobId fresh = loader.Request(At(L"fresh.dll", 4));
  source.ReleaseHeld();
  const std::vector<IconResult> results = TakeAll(loader, wakes);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].id, fresh);
  EXPECT_EQ(results[0].request, At(L"fresh.dll", 4));
  EXPECT_EQ(source.live(), 1u) << "the cancelled icon was released, the new one handed over";
  source.Release(results[0].icons[0]);

  // A request that counts, and the results left untaken at the end.
  const int seen = wakes.count();
  const IconJobId counted = loader.Request({L"many.dll", 0, 0, 16});
  loader.Request({L"many.dll", 0, 3, 16});
  wakes.WaitBeyond(seen);
  const auto first = loader.TakeResults();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0].id, counted);
  EXPECT_EQ(first[0].total, 3);
  EXPECT_TRUE(first[0].icons.empty());
  loader.Stop();
  EXPECT_EQ(source.live(), first.size() == 2 ? 3u : 0u) << "only icons the window took are alive";
}

// With two workers, one can still hold a cancelled request when the other
// has delivered everything of the new round: that one ends without a
// wake-up, so the loader must be idle already, or the window would wait for
// a wake-up that never comes.
TEST(IconLoaderTest, WithTwoWorkersACancelledRequestInHandLeavesTheNewRoundIdleOnceTaken) {
  HeldSource source;
  source.heldFile = L"slow.dll";
  LoaderWakes wakes;
  IconLoader loader(source, wakes.Callback(), 2);
  loader.Request(At(L"slow.dll", 0));
  source.WaitInHand();
  loader.Cancel();
  EXPECT_TRUE(loader.idle()) << "nothing of the new round yet";

  int seen = wakes.count();
  const IconJobId fresh = loader.Request(At(L"fresh.dll", 0));
  wakes.WaitBeyond(seen);  // the other worker is done with it
  const std::vector<IconResult> results = loader.TakeResults();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].id, fresh);
  EXPECT_TRUE(loader.idle()) << "only the cancelled request is in hand";

  // The new round goes on while the old request is still held, and is
  // woken for as before.
  seen = wakes.count();
  const IconJobId next = loader.Request(At(L"next.dll", 0));
  EXPECT_FALSE(loader.idle());
  wakes.WaitBeyond(seen);
  EXPECT_EQ(loader.TakeResults().at(0).id, next);
  EXPECT_TRUE(loader.idle());

  seen = wakes.count();
  source.ReleaseHeld();
  loader.Stop();
  EXPECT_EQ(wakes.count(), seen) << "the cancelled request woke nobody";
  EXPECT_EQ(source.live(), 2u) << "its icon released; the two taken are the test's";
}

TEST(IconLoaderTest, ResultsAreTakenASliceAtATime) {
  HeldSource source;
  source.heldFile = L"held.dll";
  LoaderWakes wakes;
  IconLoader loader(source, wakes.Callback());
  const IconJobId one = loader.Request({L"a.dll", 0, 1, 16});
  const IconJobId three = loader.Request({L"b.dll", 0, 3, 16});
  loader.Request({L"held.dll", 0, 1, 16});
  source.WaitInHand();
  // At least one result, then no more than two icons' worth.
  auto slice = loader.TakeResults(2);
  ASSERT_EQ(slice.size(), 1u);
  EXPECT_EQ(slice[0].id, one);
  EXPECT_TRUE(loader.hasResults());
  slice = loader.TakeResults(2);
  ASSERT_EQ(slice.size(), 1u);
  EXPECT_EQ(slice[0].id, three);
  EXPECT_FALSE(loader.hasResults());
  source.ReleaseHeld();
  loader.Stop();
}

TEST(ListPicturesTest, ARescanDuringLoadingShowsOnlyTheNewRoundsPictures) {
  PictureLoading f;
  auto& [sink, source, wakes, loader, images, pictures] = f;
  source.heldFile = L"old.dll";
  images.AddWaiting(L"Index1", {L"old.dll", 0});
  images.AddWaiting(L"Index2", {L"other.dll", 0});
  pictures.RequestMissing(16, {});
  source.WaitInHand();

  // The scan again, with old.dll still being read: its icon comes out as
  // 0x100, after which new.dll's is 0x101.
  pictures.Cancel();
  images.Clear();
  images.AddWaiting(L"Index1", {L"new.dll", 0});
  pictures.RequestMissing(16, {});
  source.ReleaseHeld();
  TakeUntilIdle(loader, wakes, [&] { return pictures.TakeDone(); });
  EXPECT_FALSE(pictures.loading());
  EXPECT_EQ(sink.added, std::vector<IconHandle>{0x101});
  EXPECT_EQ(images.IndexOf(L"Index1"), 0);
  loader.Stop();
  EXPECT_EQ(source.live(), 0u) << "the list keeps copies; no icon is left";
}

TEST(ListPicturesTest, ATypeWhoseIconIsGoneGetsTheStandInThatCameInTheSameBatch) {
  PictureLoading f;
  auto& [sink, source, wakes, loader, images, pictures] = f;
  source.goneFile = L"gone.dll";
  source.heldFile = L"held.dll";
  images.AddWaiting(L"Index1", {L"stand-in.dll", 0});
  images.AddWaiting(L"Index2", {L"gone.dll", 0});
  images.AddWaiting(L"Index3", {L"held.dll", 0});
  pictures.RequestMissing(16, {L"stand-in.dll", 0});
  // The worker is on the third: the first two are done, and taken together.
  source.WaitInHand();
  pictures.TakeDone();
  EXPECT_EQ(images.IndexOf(L"Index1"), 0);
  EXPECT_EQ(images.IndexOf(L"Index2"), 0) << "the stand-in, drawn once";
  source.ReleaseHeld();
  loader.Stop();
  EXPECT_EQ(sink.added.size(), 1u);
}

}  // namespace
}  // namespace tarrow
