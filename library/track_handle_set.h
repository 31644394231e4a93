// A set of track handles, each held once by one reference, for the sets the
// library keeps of every track: a hash table of bare handle pointers in one
// block, filled up to four fifths, a few bytes a track instead of a tree node
// each. The order of a walk is that of the table, not of any property of the
// tracks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "metadata/track_handle.h"

class track_handle_set {
public:
  track_handle_set() = default;
  track_handle_set(track_handle_set&& other) noexcept;
  track_handle_set& operator=(track_handle_set&& other) noexcept;
  track_handle_set(const track_handle_set&) = delete;
  track_handle_set& operator=(const track_handle_set&) = delete;
  ~track_handle_set() { clear(); }

  // True when the handle was not in the set before.
  bool insert(const track_handle_ptr& handle);
  // True when the handle was in the set.
  bool erase(const track_handle* handle);
  bool contains(const track_handle* handle) const noexcept;
  std::size_t size() const noexcept { return count_; }
  bool empty() const noexcept { return count_ == 0; }
  // Releases every handle.
  void clear() noexcept;
  // Appends every handle to `out`.
  void append_to(track_handle_list& out) const;
  // Calls `visit` with every handle, which stays in the set meanwhile.
  template <class Visit>
  void for_each(Visit&& visit) const {
    for (track_handle* handle : slots_)
      if (handle != nullptr) visit(handle);
  }

private:
  std::size_t home_of(const track_handle* handle) const noexcept;
  // The slot holding `handle`, or the empty slot where it would go.
  std::size_t slot_of(const track_handle* handle) const noexcept;
  void grow();

  std::vector<track_handle*> slots_;  // a power of two of them; null = free
  std::size_t count_ = 0;
  unsigned home_shift_ = 32;  // 32 less the bits of a slot index
};
