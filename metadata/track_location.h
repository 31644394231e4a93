// Where a track lives: a path and a subsong index (0 for a whole file; cue
// sheets and multi-track files number their tracks from 1).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/string_object.h"

class track_location {
public:
  track_location() = default;
  track_location(const char* path, std::uint32_t subsong) : subsong_(subsong) { set_path(path); }
  // Copies always own their text, whatever the source keeps.
  track_location(const track_location& other) : subsong_(other.subsong_) { set_path(other.path_); }
  track_location(track_location&& other) noexcept;
  track_location& operator=(const track_location& other);
  track_location& operator=(track_location&& other) noexcept;
  ~track_location() { release(); }

  // The empty text when no path is set.
  const char* get_path() const noexcept { return path_ != nullptr ? path_ : ""; }
  void set_path(const char* path);
  std::uint32_t get_subsong() const noexcept { return subsong_; }
  void set_subsong(std::uint32_t subsong) noexcept { subsong_ = subsong; }

  // The path as shown to the user, in double quotes, then " / index: N" when
  // the subsong is not 0. A path no scheme handler claims is shown unchanged.
  void format_for_display(qiv::string_object& out) const;

  friend bool operator==(const track_location& a, const track_location& b) noexcept {
    return a.subsong_ == b.subsong_ && std::strcmp(a.get_path(), b.get_path()) == 0;
  }

private:
  friend class track_handle;

  // A track handle keeps its path text in its own heap block, behind the
  // object: its location only points at it, saving a heap block per track.
  struct borrow_text {};
  track_location(borrow_text, const char* path, std::uint32_t subsong) noexcept
      : path_(path), subsong_(subsong), owns_path_(false) {}

  void release() noexcept;

  // Every track handle keeps a location: a bare text costs a pointer where a
  // string object costs six. Null for the empty path.
  const char* path_ = nullptr;
  std::uint32_t subsong_ = 0;
  bool owns_path_ = false;
};
