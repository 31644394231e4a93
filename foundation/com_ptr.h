// An owned reference to a COM interface: released when it goes, so no path
// out of a function that opened devices or sessions leaks one.
#pragma once

#include <utility>

namespace qiv {

template <class T>
class com_ptr {
public:
  com_ptr() noexcept = default;
  com_ptr(const com_ptr& other) noexcept : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  com_ptr(com_ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~com_ptr() { reset(); }
  com_ptr& operator=(com_ptr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  void reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->Release();
  }
  // For the out-parameter of a creating call; the old reference goes first.
  T** receive() noexcept {
    reset();
    return &object_;
  }
  void** receive_void() noexcept { return reinterpret_cast<void**>(receive()); }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

private:
  T* object_ = nullptr;
};

} // namespace qiv
