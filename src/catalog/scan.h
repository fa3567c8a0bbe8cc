// The file-type scan: walks HKEY_CLASSES_ROOT for every registered extension
// with a usable icon, and on request those without one. The window's walk
// runs on a worker thread of its own and hands the types over in batches; the
// command line reads them at once.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "catalog/resolver.h"
#include "catalog/type_list.h"
#include "platform/os.h"

namespace tarrow {

// Which types the list shows.
enum class TypesListed {
  WithIcon,  // those with an icon location of their own
  All,       // those too whose class has no DefaultIcon value yet
};

// The item a resolved type is listed as, its picture not yet given; nullopt
// for a type the list leaves out: no ProgID or description, an icon that is
// each file itself ("%1"), or, unless `which` is All, no icon location of its
// own. A type without one is listed with an empty location, in the layer of
// its class.
std::optional<TypeItem> ListedItem(const ResolvedType& type, TypesListed which = TypesListed::WithIcon);

// The types the list shows, in its order, without pictures: for callers
// without a window.
TypeList ListTypes(Os& os, TypesListed which = TypesListed::WithIcon);

// Takes the snapshot of these types' icons when there is none yet, as the
// end of the window's first complete walk does; true when one was taken.
// Types without an icon are left out (a line cannot say "none").
bool TakeSnapshotIfNone(Os& os, const TypeList& types);

// What the walk hands over at a time: the types found since the last take,
// in the root's order, each with the key of its picture ("Index" and its
// place among the root's keys) but no picture yet.
struct WalkBatch {
  std::vector<TypeItem> types;
  bool done = false;  // the walk is over and this is the last of it
};

// The registry walk on a worker thread. The window's thread starts it and
// takes what it found when woken; the worker reads the registry through a
// resolver of its own and touches nothing else.
class TypeWalk {
 public:
  // `wake` runs on the worker's thread when results wait to be taken and
  // none did before: it may only post a message.
  TypeWalk(Registry& registry, Shell& shell, std::function<void()> wake);
  ~TypeWalk();
  TypeWalk(const TypeWalk&) = delete;
  TypeWalk& operator=(const TypeWalk&) = delete;

  // Walks the registry anew for `which` types. A walk in hand is dropped
  // without waiting for it, with whatever of it was not taken.
  void Start(TypesListed which = TypesListed::WithIcon);
  // Drops the walk in hand, if any, without waiting.
  void Cancel();
  // What this walk found since the last take, no more than `most` types.
  WalkBatch Take(std::size_t most = SIZE_MAX);
  // Whether something waits to be taken (types, or the walk's end).
  bool hasResults() const;
  // The walk's end waits to be taken, behind whatever else it found.
  bool over() const;
  // A walk was started and its end is not taken yet.
  bool walking() const;
  // Nothing in hand and nothing to take.
  bool idle() const { return !walking(); }
  // Cancels, and waits for the worker to end.
  void Stop();

 private:
  void Work();
  void Walk(std::uint64_t round, TypesListed which);
  // False once the walk of `round` is no longer wanted.
  bool Wanted(std::uint64_t round) const;
  void Hand(std::uint64_t round, std::vector<TypeItem>& found, bool done);

  Registry& registry_;
  Shell& shell_;
  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t round_ = 0;   // the walk wanted; 0 for none
  std::uint64_t walked_ = 0;  // the last walk the worker began
  // Which types the wanted walk lists.
  TypesListed listed_ = TypesListed::WithIcon;
  std::vector<TypeItem> found_;
  bool ended_ = false;    // the wanted walk is over; its end not taken yet
  bool walking_ = false;  // a walk was started and its end not taken
  bool woken_ = false;
  bool stopping_ = false;
  std::thread worker_;  // last: it starts once everything above is ready
};

// Adds what a walk found to the list, each type with a key in `images` that
// waits for the picture of its icon (ListPictures draws them).
void AddWalked(std::vector<TypeItem> found, TypeList& types, ImageStore& images);

// What a type shows when its own icon cannot be drawn: the system's icon of
// a file of unknown type. No file when the system folder is unknown.
IconLocation SystemStandInIcon(Shell& shell);

}  // namespace tarrow
