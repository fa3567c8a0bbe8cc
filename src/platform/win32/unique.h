// Ownership of one OS handle: move-only, released exactly once.
#pragma once

#include <utility>

namespace tarrow::win32 {

template <typename H, auto Close>
class Unique {
 public:
  Unique() = default;
  explicit Unique(H handle) : handle_(handle) {}
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  H get() const { return handle_; }
  explicit operator bool() const { return handle_ != H{}; }
  // For APIs that hand back a handle through a pointer; drops the old one.
  H* put() {
    reset();
    return &handle_;
  }
  H release() { return std::exchange(handle_, H{}); }
  void reset(H handle = H{}) {
    if (handle_ != H{}) Close(handle_);
    handle_ = handle;
  }

 private:
  H handle_{};
};

}  // namespace tarrow::win32
