// The tracks of a parsed cue sheet, in sheet order: each with its number, the
// FILE it belongs to, its FLAGS, its 100 index times and its own track_info.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/refcounted.h"
#include "metadata/track_info.h"

namespace cue_parser {

// Index 00 to 99, in seconds from the start of the file; an index the sheet
// does not give is 0.0. Index 00 may be negative (a PREGAP before the first
// track's INDEX 01).
using index_times = std::array<double, 100>;

}  // namespace cue_parser

class cue_track_entry final : public qiv::refcounted_object {
public:
  track_info_impl info;
  std::uint32_t number = 0;
  std::string file_name;
  std::string flags;
  cue_parser::index_times indexes{};
};

class cue_track_list {
public:
  using entry_ptr = qiv::ref_ptr<cue_track_entry>;

  cue_track_entry& append_new() {
    entries_.emplace_back(new cue_track_entry());
    return *entries_.back();
  }
  void clear() noexcept { entries_.clear(); }
  std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(entries_.size()); }
  cue_track_entry& operator[](std::uint32_t i) const noexcept { return *entries_[i]; }
  auto begin() const noexcept { return entries_.begin(); }
  auto end() const noexcept { return entries_.end(); }

private:
  std::vector<entry_ptr> entries_;
};
