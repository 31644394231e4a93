// The track handles of one file in a folder tree. Nearly every file holds
// one track, so one handle is kept in place and only several take a block of
// their own: a library of 100,000 files would otherwise pay a vector and a
// heap block for each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/track_handle.h"

class compact_handle_list {
public:
  compact_handle_list() noexcept : many_(nullptr) {}
  compact_handle_list(compact_handle_list&& other) noexcept : many_(nullptr) { take(other); }
  compact_handle_list& operator=(compact_handle_list&& other) noexcept;
  compact_handle_list(const compact_handle_list&) = delete;
  compact_handle_list& operator=(const compact_handle_list&) = delete;
  ~compact_handle_list() { clear(); }

  const track_handle_ptr* begin() const noexcept { return count_ == 1 ? &one_ : many_; }
  const track_handle_ptr* end() const noexcept { return begin() + count_; }
  const track_handle_ptr* data() const noexcept { return begin(); }
  std::size_t size() const noexcept { return count_; }
  bool empty() const noexcept { return count_ == 0; }

  // Releases every handle.
  void clear() noexcept;
  // Takes over the handles of `handles`, which is left empty. Should the
  // block not be had, the list and `handles` stay as they were.
  void assign(track_handle_list&& handles);

private:
  void take(compact_handle_list& other) noexcept;

  union {
    track_handle_ptr one_;    // while count_ is 1
    track_handle_ptr* many_;  // otherwise: count_ handles, or null
  };
  std::uint32_t count_ = 0;
};
