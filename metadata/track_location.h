// Where a track lives: a path and a subsong index (0 for a whole file; cue
// sheets and multi-track files number their tracks from 1).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/string_object.h"

class track_location {
public:
  track_location() = default;
  track_location(const char* path, std::uint32_t subsong) : path_(path ? path : ""), subsong_(subsong) {}

  // The empty text when no path is set.
  const char* get_path() const noexcept { return path_.c_str(); }
  void set_path(const char* path) { path_ = path ? path : ""; }
  std::uint32_t get_subsong() const noexcept { return subsong_; }
  void set_subsong(std::uint32_t subsong) noexcept { subsong_ = subsong; }

  // The path as shown to the user, in double quotes, then " / index: N" when
  // the subsong is not 0. A path no scheme handler claims is shown unchanged.
  void format_for_display(qiv::string_object& out) const;

  friend bool operator==(const track_location& a, const track_location& b) noexcept {
    return a.subsong_ == b.subsong_ && a.path_ == b.path_;
  }

private:
  std::string path_;
  std::uint32_t subsong_ = 0;
};
