// Icons drawn off the window's thread. The window's thread asks for icons,
// says which it needs first, and takes what is done when it is woken; one
// worker thread extracts them, one request at a time, in that order.
#pragma once

#include <compare>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace tarrow {

// Icons `first` to `first + count - 1` of a file at `sizePx` pixels; with a
// count of 0, or `counting`, the number of icons the file holds as well.
struct IconRequest {
  std::wstring file;  // as stored: the source resolves it
  int first = 0;
  int count = 1;
  int sizePx = 0;
  bool counting = false;
  auto operator<=>(const IconRequest&) const = default;
};

using IconJobId = std::uint64_t;

// An icon drawn as pixels: rows of 32-bit values, top row first, the
// colours with their alpha and the mask (set where the icon is transparent).
struct IconPixels {
  std::vector<std::uint32_t> colour, mask;
};

struct IconResult {
  IconJobId id = 0;
  IconRequest request;
  std::vector<IconHandle> icons;  // `count` entries, 0 where none; the taker owns them
  // Where the source drew an icon as pixels already (IconSource::Draw), its
  // pixels; its handle is then 0. Empty, or one entry per icon.
  std::vector<std::optional<IconPixels>> pixels;
  int total = 0;  // of a request that counts
  bool counted() const { return request.count == 0 || request.counting; }
};

// Where the worker gets its icons; called on the worker's thread only.
class IconSource {
 public:
  virtual ~IconSource() = default;
  virtual int Count(const std::wstring& file) = 0;
  virtual std::vector<IconHandle> Extract(const IconRequest& request) = 0;
  virtual void Release(IconHandle icon) = 0;
  // May turn the result's icons into pixels, releasing them, so that the
  // window's thread only copies pixels. Runs on the worker's thread too.
  virtual void Draw(IconResult& result) { (void)result; }
};

// The shell's icons, each file resolved for extraction as the list and the
// grid name it. Given the files, a picture (IsPictureFile) is a file of one
// icon, the picture itself, centred and scaled to the size asked for.
class ShellIconSource : public IconSource {
 public:
  explicit ShellIconSource(Shell& shell, FileSystem* files = nullptr) : shell_(shell), files_(files) {}
  int Count(const std::wstring& file) override;
  std::vector<IconHandle> Extract(const IconRequest& request) override;
  void Release(IconHandle icon) override { shell_.DestroyIcon(icon); }

 private:
  Shell& shell_;
  FileSystem* files_;
};

// The order requests are worked on: each request once, those asked for
// first at the front. Not thread-safe; the loader guards it.
class IconSchedule {
 public:
  // The request's id, and whether it is new: a request already made since
  // the last Clear keeps its id and its place.
  std::pair<IconJobId, bool> Add(const IconRequest& request);
  // Moves the requests still queued to the front, the first named first.
  void Prioritise(const std::vector<IconJobId>& ids);
  // Forgets these requests: those queued are taken off, and any of them
  // asked for again is new.
  void Forget(const std::vector<IconJobId>& ids);
  // The request to work on next, taken off the queue.
  std::optional<std::pair<IconJobId, IconRequest>> Take();
  // Forgets every request; ids are never given twice.
  void Clear();
  bool empty() const { return queue_.empty(); }

 private:
  std::map<IconRequest, IconJobId> known_;             // every request since Clear
  std::map<std::int64_t, IconJobId> queue_;            // by place, front first
  std::unordered_map<IconJobId, std::int64_t> place_;  // of every queued request
  std::unordered_map<IconJobId, IconRequest> queued_;
  std::int64_t front_ = 0, back_ = 0;
  IconJobId next_ = 1;
};

class IconLoader {
 public:
  // `wake` runs on a worker's thread when results wait to be taken and none
  // did before: it may only post a message. `workers` threads take requests
  // side by side, each in the queue's order.
  IconLoader(IconSource& source, std::function<void()> wake, int workers = 1);
  ~IconLoader();
  IconLoader(const IconLoader&) = delete;
  IconLoader& operator=(const IconLoader&) = delete;

  // The request's id; queued at the back unless made already this round.
  IconJobId Request(const IconRequest& request);
  void Prioritise(const std::vector<IconJobId>& ids);
  // Withdraws requests no longer wanted: those queued are never worked on,
  // and asking for one again makes a new job. One in hand or done still
  // comes, under its old id.
  void Withdraw(const std::vector<IconJobId>& ids);
  // Drops every request and every result not taken, without waiting: the
  // request in hand finishes and its icons are released unseen.
  void Cancel();
  // The results of this round not taken yet, in the order they were done:
  // at least one, and no more than `mostIcons` icons' worth after that, so
  // that the window's thread can take them a slice at a time.
  std::vector<IconResult> TakeResults(std::size_t mostIcons = SIZE_MAX);
  // Whether results wait to be taken.
  bool hasResults() const;
  // Releases an icon of a result taken.
  void Release(IconHandle icon) {
    if (IsIcon(icon)) source_.Release(icon);
  }
  // Nothing of this round queued, in hand or waiting to be taken. A request
  // cancelled while in hand does not count: it ends without a wake-up.
  bool idle() const;
  // Cancels, and waits for the worker to end: after it, no icon is alive
  // that the loader made and nobody took.
  void Stop();

  // Results not taken hold at most about this many icons: past it the
  // worker waits, so that a window that cannot keep up holds few handles.
  static constexpr std::size_t kMostUntakenIcons = 512;

 private:
  void Work();
  void ReleaseAll(std::vector<IconResult>& results);

  IconSource& source_;
  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  IconSchedule schedule_;
  std::vector<IconResult> results_;
  std::size_t untakenIcons_ = 0;
  std::uint64_t round_ = 0;
  int inHand_ = 0;  // requests of this round being worked on
  bool stopping_ = false;
  bool woken_ = false;
  std::vector<std::thread> workers_;  // last: they start once everything above is ready
};

}  // namespace tarrow
