// The layout check run before a retag: a walk over the top-level boxes that
// reports in plain words what is wrong with the file, and where an ID3v1 tag
// appended to the end, a "free" box open to the end, or zeros to the end
// start (the tag writer cuts them once its new movie box is in force).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

inline constexpr std::uint64_t no_cut = ~std::uint64_t(0);

struct file_check_result {
  std::vector<std::string> reports;
  // Start of what the tag writer drops: an appended ID3v1 tag, a "free"
  // box that runs to the end of the file, or zeros to its end.
  std::uint64_t cut_position = no_cut;
  // The cut is of a "free" box open to the end: what a tag write stopped
  // before its switch, or after the movie box's return, left.
  bool staged_tail = false;
  std::uint64_t boxes_end = 0;          // end of the last whole box walked
  // The last whole box walked, where the file has one.
  std::uint64_t last_box_offset = no_cut;
  std::uint32_t last_box_header_size = 0;
  // A box whose size field is 0, which runs to the end of the file (the walk
  // stops there), and its type.
  std::uint64_t open_ended_box = no_cut;
  std::uint32_t open_ended_type = 0;
  // Movie fragments follow the movie box.
  bool fragmented = false;
};

// The walk alone; changes nothing in the file.
void mp4_check_and_fix_file(stream& in, std::vector<std::string>& reports, std::uint64_t& cut_position);
file_check_result check_file_layout(stream& in);

// The report for the cut of `bytes` trailing bytes.
std::string trailing_garbage_report(std::uint64_t bytes);

}  // namespace tarnex
