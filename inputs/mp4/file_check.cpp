#include "inputs/mp4/file_check.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/stopped_write_leftover.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

constexpr std::uint64_t id3v1_size = 128;

const char garbage_at_end[] = "File is corrupted, garbage found at the end.";

std::string invalid_header_at(std::uint64_t position) {
  return "Invalid box header found at " + std::to_string(position) + " bytes, giving up.";
}

std::uint64_t load_be(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// Whether every byte from `from` to the end of the file is zero. Reads in
// pieces.
bool zeros_to_end(stream& in, std::uint64_t from, std::uint64_t file_size) {
  in.seek(from);
  std::uint8_t piece[4096];
  bool zeros = true;
  for (std::uint64_t left = file_size - from; zeros && left != 0;) {
    const std::uint32_t want = std::uint32_t(std::min<std::uint64_t>(left, sizeof piece));
    const std::uint32_t got = in.read(piece, want);
    if (got != want) zeros = false;
    for (std::uint32_t i = 0; zeros && i < got; ++i) zeros = piece[i] == 0;
    left -= got;
  }
  return zeros;
}

// Walks the boxes, counting their types; ends at the first thing that is
// not a whole box.
void walk(stream& in, file_check_result& result, std::map<std::uint32_t, int>& counts) {
  in.seek(0);
  const std::uint64_t file_size = in.size();
  for (;;) {
    const std::uint64_t p = in.position();
    result.boxes_end = p;
    std::uint8_t head[8];
    const std::uint32_t got = in.read(head, 8);
    if (got == 0) return;
    // Zeros behind the movie and its media data: room another tagger left
    // unused (one that drops a "free" box leaves its bytes so). A later
    // write drops them like the open "free" box below; they hold nothing.
    if (std::all_of(head, head + got, [](std::uint8_t b) { return b == 0; }) && counts[fourcc("moov")] != 0 &&
        counts[fourcc("mdat")] != 0 && zeros_to_end(in, p + got, file_size)) {
      result.cut_position = p;
      return;
    }
    if (got < 8) {
      result.reports.push_back(garbage_at_end);
      return;
    }
    if (std::memcmp(head, "TAG", 3) == 0 && p + id3v1_size == file_size) {
      result.reports.push_back("File is corrupted, apparent ID3 tag found at the end.");
      result.cut_position = p;
      return;
    }
    for (int i = 4; i < 8; ++i)
      if (head[i] < 0x20) {
        result.reports.push_back(invalid_header_at(p));
        return;
      }
    std::uint64_t size = load_be(head, 4);
    std::uint64_t header_size = 8;
    // Unused bytes to the end of the file: what a tag write cut off left
    // staged there. A later write drops them like an ID3v1 tag, but only
    // behind the movie and its media data: a "free" header that swallows
    // the media data is damage, and cutting it would lose the audio.
    if (size == 0 && std::memcmp(head + 4, "free", 4) == 0 && counts[fourcc("moov")] != 0 &&
        counts[fourcc("mdat")] != 0) {
      result.cut_position = p;
      result.staged_tail = true;
      return;
    }
    if (size == 0) {
      result.open_ended_box = p;
      result.open_ended_type = std::uint32_t(load_be(head + 4, 4));
    }
    if (size == 1) {
      std::uint8_t wide[8];
      if (in.read(wide, 8) < 8) {
        result.reports.push_back(garbage_at_end);
        return;
      }
      size = load_be(wide, 8);
      header_size = 16;
    }
    if (size < header_size || p + size < p) {
      result.reports.push_back(invalid_header_at(p));
      return;
    }
    const std::uint32_t type = std::uint32_t(load_be(head + 4, 4));
    ++counts[type];
    if (p + size > file_size) {
      result.reports.push_back("Object \"" + std::string(reinterpret_cast<const char*>(head + 4), 4) + "\" at " +
                               std::to_string(p) + " bytes is truncated.");
      if (type == fourcc("mdat")) result.reports.push_back("Media data is truncated, the file may not be playable completely.");
      return;
    }
    // A "free" box that a stopped tag write of earlier builds left over the
    // old movie box and the boxes after it: the media data is in there,
    // where every reader still finds it, and the next write takes it out.
    if (is_free_box(type) && header_size == 8 && starts_as_movie_payload(in, p + 8, size - 8) &&
        run_holds_media_data(in, p + 8, p + size))
      ++counts[fourcc("mdat")];
    in.seek(p + header_size);
    if (in.skip(size - header_size) != size - header_size) {
      result.reports.push_back(garbage_at_end);
      return;
    }
    result.last_box_offset = p;
    result.last_box_header_size = std::uint32_t(header_size);
  }
}

}  // namespace

file_check_result check_file_layout(stream& in) {
  file_check_result result;
  std::map<std::uint32_t, int> counts;
  walk(in, result, counts);
  result.fragmented = counts[fourcc("moof")] != 0;
  const int movies = counts[fourcc("moov")];
  if (movies == 0) result.reports.push_back("No MOOV boxes found, the file is unplayable.");
  if (movies >= 2) result.reports.push_back("Invalid file, multiple MOOV boxes found.");
  if (counts[fourcc("mdat")] == 0)
    result.reports.push_back("No MDAT box found, the file does not contain valid media data to play.");
  if (counts[fourcc("ftyp")] == 0) result.reports.push_back("No FTYP atom found, the file is invalid.");
  return result;
}

void mp4_check_and_fix_file(stream& in, std::vector<std::string>& reports, std::uint64_t& cut_position) {
  file_check_result result = check_file_layout(in);
  reports.insert(reports.end(), result.reports.begin(), result.reports.end());
  cut_position = result.cut_position;
}

std::string trailing_garbage_report(std::uint64_t bytes) {
  return "Removed " + std::to_string(bytes) + " bytes of trailing garbage.";
}

}  // namespace tarnex
