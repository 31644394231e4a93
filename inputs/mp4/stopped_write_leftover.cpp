#include "inputs/mp4/stopped_write_leftover.h"

#include <algorithm>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/mp4_track.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

constexpr std::uint64_t max_u32 = 0xFFFFFFFFu;

struct raw_box {
  std::uint64_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t header = 8;
  bool open_ended = false;  // size 0: runs to the end of the file
};

std::uint32_t load_u32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// The box at `at` if its header is whole and it ends by `end` (or runs to
// the end of the file).
bool read_raw_box(stream& io, std::uint64_t at, std::uint64_t end, raw_box& out) {
  if (at > end || end - at < 8) return false;
  std::uint8_t head[16];
  io.seek(at);
  if (io.read(head, 8) < 8) return false;
  for (int i = 4; i < 8; ++i)
    if (head[i] < 0x20) return false;
  out.size = load_u32(head);
  out.type = load_u32(head + 4);
  out.header = 8;
  if (out.size == 1) {
    if (end - at < 16 || io.read(head + 8, 8) < 8) return false;
    out.size = (std::uint64_t(load_u32(head + 8)) << 32) | load_u32(head + 12);
    out.header = 16;
  }
  out.open_ended = out.size == 0;
  return out.open_ended || (out.size >= out.header && out.size <= end - at);
}

byte_buffer size_field(std::uint32_t size) {
  byte_buffer out;
  append_u32(out, size);
  return out;
}

bool holds_chunk(const mp4_file& file, std::uint64_t from, std::uint64_t end) {
  for (const track_ptr& track : file.tracks)
    for (std::uint64_t chunk : track->chunk_offsets)
      if (chunk >= from && chunk < end) return true;
  return false;
}

// The box at `at` spans the old movie box, the boxes that followed it and
// the 8-byte "free" header that ended them when the new movie box was staged
// behind it. The old movie box's children were those of the one in force
// (its own payload), user data aside, in the same order.
stopped_write_leftover over_media(stream& io, std::string_view movie_payload, std::uint64_t at, std::uint64_t end) {
  stopped_write_leftover found;
  if (end - at < 24) return found;
  const std::uint64_t tail = end - 8;
  raw_box tail_box;
  if (!read_raw_box(io, tail, end, tail_box) || !is_free_box(tail_box.type) || tail_box.header != 8 ||
      !(tail_box.open_ended || tail_box.size == 8))
    return found;
  std::vector<std::uint32_t> kept;
  try {
    for_each_child(movie_payload, [&](std::uint32_t type, std::string_view) {
      if (type != fourcc("udta")) kept.push_back(type);
    });
  } catch (const exception&) {
    return found;
  }
  std::uint64_t p = at + 8;
  std::size_t matched = 0;
  for (raw_box child; read_raw_box(io, p, tail, child) && !child.open_ended; p += child.size) {
    if (child.type == fourcc("udta")) continue;
    if (matched == kept.size() || child.type != kept[matched]) break;
    ++matched;
  }
  if (matched != kept.size() || p - at > max_u32) return found;
  found.old_movie_size = std::uint32_t(p - at);
  // Media data that ran to the end of the file when the write began still
  // does; it ends at the staged "free" header.
  while (p < tail) {
    raw_box next;
    if (!read_raw_box(io, p, tail, next)) return {};
    if (next.open_ended) {
      if (next.header != 8 || tail - p > max_u32) return {};
      found.inner_sizes.emplace_back(p, size_field(std::uint32_t(tail - p)));
      p = tail;
    } else {
      p += next.size;
    }
  }
  if (tail_box.open_ended) found.inner_sizes.emplace_back(tail, size_field(8));
  found.kind = stopped_write_leftover::shape::over_media;
  found.offset = at;
  return found;
}

}  // namespace

bool starts_as_movie_payload(stream& io, std::uint64_t at, std::uint64_t size) {
  raw_box first;
  return read_raw_box(io, at, at + size, first) && !first.open_ended && first.type == fourcc("mvhd");
}

bool run_holds_media_data(stream& io, std::uint64_t from, std::uint64_t end) {
  raw_box box;
  for (std::uint64_t at = from; at < end && read_raw_box(io, at, end, box); at += box.size) {
    if (box.type == fourcc("mdat")) return true;
    if (box.open_ended) return false;
  }
  return false;
}

stopped_write_leftover find_stopped_write_leftover(stream& io, const mp4_file& file, std::string_view movie_payload,
                                                   const file_check_result& layout) {
  const std::uint64_t file_size = io.size();
  const bool movie_is_last = file.moov_offset + file.moov_size == layout.boxes_end;
  raw_box box;
  for (std::uint64_t at = 0; at < file.moov_offset; at += box.size) {
    if (!read_raw_box(io, at, file_size, box) || box.open_ended) break;
    const std::uint64_t end = at + box.size;
    if (box.header != 8 || !(box.type == fourcc("mdat") || is_free_box(box.type)) ||
        !starts_as_movie_payload(io, at + 8, box.size - 8))
      continue;
    // A "free" box over media data is what earlier builds left; this one's
    // switch makes the box "mdat" wherever the movie box was not last.
    if (box.type == fourcc("mdat") || holds_chunk(file, at + 8, end)) {
      stopped_write_leftover found = over_media(io, movie_payload, at, end);
      if (found.kind != stopped_write_leftover::shape::none) return found;
    } else if (end == file.moov_offset && movie_is_last) {
      stopped_write_leftover found;
      found.kind = stopped_write_leftover::shape::before_movie;
      found.offset = at;
      return found;
    }
  }
  return {};
}

}  // namespace tarnex
