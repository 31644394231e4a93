// Counted objects and the references that share them.
//
// Most long-lived objects (services, tree and list nodes, track handles,
// callbacks handed between threads, counted strings) carry their own count and
// destroy themselves when the last reference goes. References and pairs are
// not atomic themselves: their owner keeps two threads from writing one at
// once. Only the count is shared, so it changes by locked instructions.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace qiv {

class refcounted_object {
public:
  // Locked, so references to one object may be taken on several threads.
  void add_ref() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }

  // The caller that takes the count from 1 to 0 is the last owner and alone
  // destroys the object; nobody touches it afterwards.
  void release() noexcept {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  // A snapshot for diagnostics; another thread may change it at once.
  std::int32_t ref_count() const noexcept { return count_.load(std::memory_order_relaxed); }

protected:
  // A new object has count 0: the first reference that stores it takes the
  // first count.
  refcounted_object() noexcept = default;
  // A copy is a new object with references of its own (clones start at 0).
  refcounted_object(const refcounted_object&) noexcept {}
  refcounted_object& operator=(const refcounted_object&) noexcept { return *this; }
  // Only release destroys a counted object.
  virtual ~refcounted_object() = default;

private:
  std::atomic<std::int32_t> count_{0};
};

// A counted reference: holds one count on its object, or is null.
template <class T>
class ref_ptr {
public:
  using element_type = T;

  ref_ptr() noexcept = default;
  ref_ptr(std::nullptr_t) noexcept {}
  ref_ptr(T* object) noexcept : object_(object) {
    if (object_) object_->add_ref();
  }
  ref_ptr(const ref_ptr& other) noexcept : ref_ptr(other.object_) {}
  template <class U>
  ref_ptr(const ref_ptr<U>& other) noexcept : ref_ptr(other.get()) {}
  ref_ptr(ref_ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~ref_ptr() { reset(); }

  // The new object is counted and stored before the old one is released: the
  // old one's destructor may cascade into other objects (or into a reference
  // that reaches this one), and this reference already holds its new value
  // then. Assigning an object to the reference that holds it is therefore safe.
  ref_ptr& operator=(T* object) noexcept {
    if (object) object->add_ref();
    T* old = std::exchange(object_, object);
    if (old) old->release();
    return *this;
  }
  ref_ptr& operator=(const ref_ptr& other) noexcept { return *this = other.object_; }
  template <class U>
  ref_ptr& operator=(const ref_ptr<U>& other) noexcept { return *this = other.get(); }
  ref_ptr& operator=(ref_ptr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(object_, std::exchange(other.object_, nullptr));
      if (old) old->release();
    }
    return *this;
  }
  ref_ptr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  // The slot is null before the old object is released, so whatever that
  // release destroys never sees a reference to a dying object.
  void reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->release();
  }

  // Copy-on-write: before a holder changes an object that others may share, it
  // takes a private copy (T::clone returns a new object of the same kind). A
  // clone that fails to allocate throws before the holder changes.
  void replace_with_clone() {
    if (!object_) return;
    *this = object_->clone();
  }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // Exchanges the two references without touching either count.
  void swap(ref_ptr& other) noexcept { std::swap(object_, other.object_); }

  friend bool operator==(const ref_ptr& a, const ref_ptr& b) noexcept { return a.object_ == b.object_; }
  friend bool operator==(const ref_ptr& a, std::nullptr_t) noexcept { return a.object_ == nullptr; }
  friend bool operator==(const ref_ptr& a, const T* b) noexcept { return a.object_ == b; }

private:
  T* object_ = nullptr;
};

template <class T>
void swap(ref_ptr<T>& a, ref_ptr<T>& b) noexcept {
  a.swap(b);
}

// A counted reference with one companion word that travels with it: a value
// that belongs with the object (an index, a flag), or a pointer into the
// object's own data so that readers reach the data without a virtual call.
// The pair is empty (null, companion zero) while an old object is released.
template <class T, class Companion = std::uintptr_t>
class refptr_pair {
public:
  refptr_pair() noexcept = default;
  refptr_pair(T* object, Companion companion) noexcept { assign(object, companion); }
  refptr_pair(const refptr_pair& other) noexcept : object_(other.object_), companion_(other.companion_) {
    if (object_) object_->add_ref();
  }
  refptr_pair(refptr_pair&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)), companion_(std::exchange(other.companion_, Companion{})) {}
  ~refptr_pair() { reset(); }

  refptr_pair& operator=(const refptr_pair& other) noexcept {
    assign(other.object_, other.companion_);
    return *this;
  }
  refptr_pair& operator=(refptr_pair&& other) noexcept {
    move_assign(other);
    return *this;
  }

  // Takes the new reference before releasing the old one, so assigning a pair
  // the object it already holds is safe.
  void assign(T* object, Companion companion) noexcept {
    if (object) object->add_ref();
    empty_and_release();
    object_ = object;
    companion_ = companion;
  }

  // Stores an object whose companion is its own data (T::payload()). The new
  // reference is taken before the old object is released: releasing first
  // would destroy an object stored into the pair that holds its only
  // reference, and then count and read freed memory.
  void assign_with_payload(T* object) noexcept {
    if (object) object->add_ref();
    empty_and_release();
    if (object) {
      object_ = object;
      companion_ = object->payload();
    }
  }

  // A fresh object with empty fields (count 0) stored as by
  // assign_with_payload. An allocation failure leaves the pair as it was.
  void create() { assign_with_payload(new T()); }

  // The source's values are taken before the destination's old object is
  // released, so a source that lives inside that object is never read after
  // its destruction. The moved object's count does not change.
  void move_assign(refptr_pair& source) noexcept {
    if (this == &source) return;
    T* object = std::exchange(source.object_, nullptr);
    Companion companion = std::exchange(source.companion_, Companion{});
    empty_and_release();
    object_ = object;
    companion_ = companion;
  }

  void reset() noexcept { empty_and_release(); }

  // Exchanges the two pairs without count changes.
  void swap(refptr_pair& other) noexcept {
    std::swap(object_, other.object_);
    std::swap(companion_, other.companion_);
  }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  Companion companion() const noexcept { return companion_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

private:
  void empty_and_release() noexcept {
    T* old = std::exchange(object_, nullptr);
    companion_ = Companion{};
    if (old) old->release();
  }

  T* object_ = nullptr;
  Companion companion_{};
};

template <class T, class Companion>
void swap(refptr_pair<T, Companion>& a, refptr_pair<T, Companion>& b) noexcept {
  a.swap(b);
}

// Fetches item i of a list of counted references: the list's get_item hands
// out a new reference into a fresh slot, which the caller then owns. When the
// list throws, the fresh reference is released on the way out.
template <class T, class List>
ref_ptr<T> list_get_ref(const List& list, std::uint32_t index) {
  ref_ptr<T> fresh;
  list.get_item(fresh, index);
  return fresh;
}

} // namespace qiv
