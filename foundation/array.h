// The growable array that holds most of the system's collections: plain
// elements (pointers, numbers, records) and elements with constructors
// (strings, counted references) alike.
//
// Elements [0, count) are constructed; the rest of the allocation is raw. Each
// resize names its allocation rule, because owners differ in what they need:
//   set_size           exactly n elements (n = 0 frees the storage);
//   resize_doubling    doubles up to n and never shrinks (work buffers);
//   resize_hysteresis  doubles up to n and halves only while fewer than a
//                      quarter would be used (lists that grow and shrink).
// Every allocation failure or size overflow throws std::bad_alloc and leaves
// the elements as they were.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/bit_array.h"
#include "foundation/checked_alloc.h"
#include "foundation/exceptions.h"
#include "foundation/sort.h"

namespace qiv {

namespace array_detail {

// Starts from the allocation (1 when there is none) and doubles until it
// holds `wanted`; a doubling past 32 bits throws std::bad_alloc.
std::uint32_t doubling_capacity(std::uint32_t allocated, std::uint32_t wanted);

// doubling_capacity, then halved while a quarter of it is still more than
// `wanted`: shrinking arrays hold at most four times their use without
// reallocating at every removal.
std::uint32_t hysteresis_capacity(std::uint32_t allocated, std::uint32_t wanted);

// Resizes a heap block without moving it; false when that is not possible.
bool resize_in_place(void* block, std::uint32_t count, std::size_t element_size);

} // namespace array_detail

template <class T>
class array {
  // The storage comes from malloc, which aligns to 8 bytes here.
  static_assert(alignof(T) <= 8, "array elements must not need more than 8-byte alignment");
  static constexpr bool plain = std::is_trivially_copyable_v<T>;

public:
  using value_type = T;

  array() noexcept = default;
  // A copy starts empty and takes the source's elements at its end. It
  // delegates, so that a failing element copy still frees the block.
  array(const array& other) : array() {
    if (!other.is_empty()) append(other);
  }
  array(array&& other) noexcept { swap(other); }
  array& operator=(const array& other) {
    if (this != &other) {
      array copy(other);
      swap(copy);
    }
    return *this;
  }
  array& operator=(array&& other) noexcept {
    array taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~array() {
    destroy_range(0, count_);
    std::free(storage_);
  }

  std::uint32_t get_count() const noexcept { return count_; }
  std::uint32_t get_allocated() const noexcept { return allocated_; }
  bool is_empty() const noexcept { return count_ == 0; }

  T* data() noexcept { return storage_; }
  const T* data() const noexcept { return storage_; }
  T* begin() noexcept { return storage_; }
  T* end() noexcept { return storage_ + count_; }
  const T* begin() const noexcept { return storage_; }
  const T* end() const noexcept { return storage_ + count_; }
  T& operator[](std::uint32_t index) noexcept { return storage_[index]; }
  const T& operator[](std::uint32_t index) const noexcept { return storage_[index]; }

  // Lets an array be the source of another's insert_from.
  void get_item(T& out, std::uint32_t index) const { out = storage_[index]; }

  // Stores a value into an existing element; the count does not change.
  void set(std::uint32_t index, const T& value) { storage_[index] = value; }

  void set_size(std::uint32_t count) { resize_to(count, count); }

  void resize_doubling(std::uint32_t count) {
    resize_to(count, std::max(allocated_, array_detail::doubling_capacity(allocated_, count)));
  }

  void resize_hysteresis(std::uint32_t count) {
    resize_to(count, array_detail::hysteresis_capacity(allocated_, count));
  }

  // Appends one element (resize_hysteresis, so appends cost amortised
  // constant time).
  void append(const T& value) {
    T copy(value);  // the value may be one of our own elements, which growth moves
    resize_hysteresis(checked_sum(count_, 1));
    storage_[count_ - 1] = std::move(copy);
  }

  // Appends copies of every element of `other` (counted references take a
  // reference each) and answers the count before the append.
  std::uint32_t append(const array& other) {
    const std::uint32_t old_count = count_;
    const std::uint32_t added = other.count_;
    resize_hysteresis(checked_sum(old_count, added));
    try {
      // Indexing after the growth keeps this right when other is *this.
      for (std::uint32_t i = 0; i < added; ++i) storage_[old_count + i] = other.storage_[i];
    } catch (...) {
      drop_tail(old_count);
      throw;
    }
    return old_count;
  }

  // Removes [first, last), moving the tail down; the allocation is kept.
  void remove_range(std::uint32_t first, std::uint32_t last) {
    if (first > last || last > count_) throw_invalid_params();
    std::move(storage_ + last, storage_ + count_, storage_ + first);
    drop_tail(count_ - (last - first));
  }

  // Frees the storage of an array that holds elements; an empty array keeps
  // the small allocation resize_hysteresis left it.
  void clear() noexcept {
    if (count_ == 0) return;
    destroy_range(0, count_);
    std::free(storage_);
    storage_ = nullptr;
    count_ = allocated_ = 0;
  }

  // Keeps, in their order, the elements whose bit is set in the mask; the
  // others are dropped (released, for counted references).
  void keep_by_mask(const bit_array& mask) {
    std::uint32_t kept = mask.find(false, 0, scan_length(0));
    if (kept >= count_) return;
    for (std::uint32_t next = kept + 1;; ++next) {
      next = mask.find(true, next, scan_length(next));
      if (next >= count_) break;
      using std::swap;
      swap(storage_[kept], storage_[next]);
      ++kept;
    }
    resize_hysteresis(kept);
  }

  // Inserts every item of a source list (anything with get_count() and
  // get_item(out, index), an array among them) at a position, which is
  // lowered to the count when it lies beyond it. Answers the position used.
  // When the source throws, the array is put back as it was.
  template <class Source>
  std::uint32_t insert_from(std::uint32_t position, const Source& source) {
    if constexpr (std::is_base_of_v<array, Source>) {
      if (static_cast<const array*>(&source) == this) return insert_from(position, array(source));
    }
    if (position > count_) position = count_;
    const std::uint32_t added = source.get_count();
    const std::uint32_t old_count = count_;
    // Moving cannot be undone half way: element types must move without throwing.
    static_assert(plain || std::is_nothrow_move_assignable_v<T>, "array elements must move without throwing");
    resize_hysteresis(checked_sum(old_count, added));
    std::move_backward(storage_ + position, storage_ + old_count, storage_ + old_count + added);
    try {
      for (std::uint32_t i = 0; i < added; ++i) source.get_item(storage_[position + i], i);
    } catch (...) {
      std::move(storage_ + position + added, storage_ + old_count + added, storage_ + position);
      drop_tail(old_count);
      throw;
    }
    return position;
  }

  // Sorts by an item comparator, int(const T&, const T&) answering negative,
  // zero or positive. Equal items end in an order that differs between runs.
  template <class Compare>
  void sort(Compare compare) {
    item_sort<Compare> callback(storage_, compare);
    sort_randomized(callback, count_);
  }

  // As sort, but equal items keep their order.
  template <class Compare>
  void sort_stable(Compare compare) {
    item_sort<Compare> callback(storage_, compare);
    ::qiv::sort_stable(callback, count_);
  }

  // Rearranges [first, first + count) so that position k of the range
  // receives the element that was at first + permutation[k].
  void reorder_by_permutation(std::uint32_t first, const std::uint32_t* permutation, std::uint32_t count) {
    if (first > count_ || count > count_ - first) throw_invalid_params();
    range_reorder callback(storage_ + first);
    ::qiv::reorder_by_permutation(callback, permutation, count);
  }

  void swap(array& other) noexcept {
    std::swap(storage_, other.storage_);
    std::swap(count_, other.count_);
    std::swap(allocated_, other.allocated_);
  }

private:
  template <class Compare>
  class item_sort final : public sort_callback {
  public:
    item_sort(T* items, Compare& order) : items_(items), order_(order) {}
    int compare(std::uint32_t i, std::uint32_t j) override { return order_(items_[i], items_[j]); }
    void swap(std::uint32_t i, std::uint32_t j) override {
      using std::swap;
      swap(items_[i], items_[j]);
    }

  private:
    T* items_;
    Compare& order_;
  };

  class range_reorder final : public reorder_callback {
  public:
    explicit range_reorder(T* items) : items_(items) {}
    void swap(std::uint32_t i, std::uint32_t j) override {
      using std::swap;
      swap(items_[i], items_[j]);
    }

  private:
    T* items_;
  };

  static std::uint32_t checked_sum(std::uint32_t a, std::uint32_t b) {
    if (b > UINT32_MAX - a) throw_bad_alloc();
    return a + b;
  }

  // The length of a mask scan from `start` to the count, within the scan's
  // signed range.
  std::int32_t scan_length(std::uint32_t start) const noexcept {
    return static_cast<std::int32_t>(std::min<std::uint32_t>(count_ - start, INT32_MAX));
  }

  // Growing reallocates before the count rises; shrinking lowers the count
  // (destroying the surplus) before reallocating.
  void resize_to(std::uint32_t count, std::uint32_t capacity) {
    if (count > count_) {
      if (capacity != allocated_) reallocate(capacity);
      construct_range(count_, count);
      count_ = count;
    } else {
      drop_tail(count);
      if (capacity != allocated_) shrink_storage(capacity);
    }
  }

  // A failed shrink loses nothing: the array keeps its larger block.
  void shrink_storage(std::uint32_t capacity) noexcept {
    try {
      reallocate(capacity);
    } catch (const std::bad_alloc&) {
    }
  }

  void reallocate(std::uint32_t capacity) {
    if constexpr (plain) {
      storage_ = static_cast<T*>(realloc_array_checked(storage_, capacity, sizeof(T)));
    } else {
      if (capacity == 0) {
        std::free(storage_);
        storage_ = nullptr;
      } else if (!storage_ || !array_detail::resize_in_place(storage_, capacity, sizeof(T))) {
        // The block must move: copy the elements into a fresh one (or move
        // them when that cannot throw), so that a failure on the way leaves
        // the old block and its elements untouched.
        T* fresh = static_cast<T*>(checked_malloc(mul_checked(capacity, sizeof(T))));
        std::uint32_t built = 0;
        try {
          for (; built < count_; ++built) ::new (static_cast<void*>(fresh + built)) T(std::move_if_noexcept(storage_[built]));
        } catch (...) {
          destroy_items(fresh, 0, built);
          std::free(fresh);
          throw;
        }
        destroy_range(0, count_);
        std::free(storage_);
        storage_ = fresh;
      }
    }
    allocated_ = capacity;
  }

  // New elements are value-initialised: plain ones read as zero, never as
  // whatever the heap held.
  void construct_range(std::uint32_t first, std::uint32_t last) {
    // Plain numbers and pointers read as zero bytes: one memset, where the
    // loop below costs a cycle a byte on a read buffer that grows by many
    // kilobytes a file.
    if constexpr (std::is_scalar_v<T> && !std::is_member_pointer_v<T>) {
      if (last > first) std::memset(static_cast<void*>(storage_ + first), 0, std::size_t(last - first) * sizeof(T));
      return;
    }
    std::uint32_t i = first;
    try {
      for (; i < last; ++i) ::new (static_cast<void*>(storage_ + i)) T();
    } catch (...) {
      destroy_items(storage_, first, i);
      throw;
    }
  }

  void drop_tail(std::uint32_t count) noexcept {
    destroy_range(count, count_);
    count_ = count;
  }

  void destroy_range(std::uint32_t first, std::uint32_t last) noexcept { destroy_items(storage_, first, last); }

  static void destroy_items(T* items, std::uint32_t first, std::uint32_t last) noexcept {
    if constexpr (!std::is_trivially_destructible_v<T>)
      for (std::uint32_t i = first; i < last; ++i) items[i].~T();
  }

  T* storage_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t allocated_ = 0;
};

template <class T>
void swap(array<T>& a, array<T>& b) noexcept {
  a.swap(b);
}

// Arrays of pointers: the message filters, idle handlers, dialogs and the
// handle lists. Counted elements use array<ref_ptr<T>>.
template <class T>
using ptr_array = array<T*>;

class byte_array : public array<std::uint8_t> {
public:
  // Appends n bytes (which may come from this array itself). A total size
  // that wraps 32 bits throws std::bad_alloc.
  void grow_by(const void* bytes, std::uint32_t n);
  // Resizes to exactly n bytes and copies them in.
  void assign(const void* bytes, std::uint32_t n);
};

} // namespace qiv
