#include "app/type_feed.h"

#include <utility>

namespace tarrow::app {
namespace {

// Rows added in one slice: about what the list takes in a few ms.
constexpr std::size_t kTypesPerSlice = 64;

}  // namespace

TypeFeed::TypeFeed(Os& os, TypeFeedListener& listener)
    : listener_(listener), walk_(os.registry, os.shell, [this] { delivery_.Wake(); }) {}

void TypeFeed::Stop() {
  walk_.Stop();
  delivery_.Close();
}

void TypeFeed::TakeSlice() {
  WalkBatch batch = walk_.Take(kTypesPerSlice);
  if (batch.types.empty() && !batch.done) return;
  listener_.OnTypesFound(std::move(batch.types), batch.done);
}

}  // namespace tarrow::app
