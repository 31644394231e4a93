#include "inputs/mp4/stopped_write_leftover.h"

#include <algorithm>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/mp4_track.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {


struct raw_box {
  std::uint64_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t header = 8;
  bool open_ended = false;  // size 0: runs to the end of the file
};

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

// One chunk offset table of a track: where its entries lie in the movie
// box payload, how many and how wide.
struct chunk_table {
  std::size_t track = 0;  // the index of its "trak" box
  std::size_t at = 0;
  std::uint32_t count = 0;
  std::uint32_t width = 4;
  std::uint64_t entry(std::string_view movie, std::uint32_t i) const {
    std::uint64_t v = 0;
    for (std::uint32_t b = 0; b < width; ++b) v = (v << 8) | std::uint8_t(movie[at + i * width + b]);
    return v;
  }
};

// Every chunk offset table of the "trak" boxes of `movie`, in order: a track
// may hold more than one, of which players pick different ones. Throws
// where a box does not parse.
std::vector<chunk_table> chunk_tables(std::string_view movie) {
  std::vector<chunk_table> tables;
  const auto inside = [](std::string_view payload, std::uint32_t wanted, auto&& visit) {
    for_each_child(payload, [&](std::uint32_t type, std::string_view content) {
      if (type == wanted) visit(content);
    });
  };
  std::size_t track = 0;
  for_each_child(movie, [&](std::uint32_t type, std::string_view trak) {
    if (type != fourcc("trak")) return;
    inside(trak, fourcc("mdia"), [&](std::string_view mdia) {
      inside(mdia, fourcc("minf"), [&](std::string_view minf) {
        inside(minf, fourcc("stbl"), [&](std::string_view stbl) {
          for_each_child(stbl, [&](std::uint32_t kind, std::string_view content) {
            if (kind != fourcc("stco") && kind != fourcc("co64")) return;
            if (content.size() < 8) throw exception_truncation();
            const auto* p = reinterpret_cast<const std::uint8_t*>(content.data());
            chunk_table& table = tables.emplace_back();
            table.track = track;
            table.width = kind == fourcc("co64") ? 8 : 4;
            table.count = load_u32(p + 4);
            table.at = std::size_t(content.data() + 8 - movie.data());
            if ((content.size() - 8) / table.width < table.count) throw exception_truncation();
          });
        });
      });
    });
    ++track;
  });
  return tables;
}

// Whether a track of `movie` holds more than one chunk offset table: which
// chunks it reads then depends on the reader. Tables that cannot be walked
// are not counted here; they already keep any box from being mended.
bool has_track_with_two_chunk_tables(std::string_view movie) {
  try {
    const std::vector<chunk_table> tables = chunk_tables(movie);
    for (std::size_t i = 1; i < tables.size(); ++i)
      if (tables[i].track == tables[i - 1].track) return true;
  } catch (const exception&) {
  }
  return false;
}

}  // namespace

bool movie_reads_between(std::string_view movie_payload, std::uint64_t from, std::uint64_t end) {
  try {
    for (const chunk_table& table : chunk_tables(movie_payload))
      for (std::uint32_t i = 0; i < table.count; ++i) {
        const std::uint64_t chunk = table.entry(movie_payload, i);
        if (chunk >= from && chunk < end) return true;
      }
  } catch (const exception&) {
    return true;
  }
  return false;
}

namespace {

// Whether the `size` bytes at `at` are, beyond doubt, the movie box this
// file's stopped write replaced: no track reads a chunk among them, and they
// parse as a movie box whose tracks read the chunks the one in force reads.
// Media data that only begins like a movie box is another program's, and
// the player never turns it into room other taggers drop.
bool is_replaced_movie_box(stream& io, const mp4_file& file, std::string_view movie_payload, std::uint64_t at,
                           std::uint32_t size) {
  if (movie_reads_between(movie_payload, at, at + size)) return false;
  // Its user data may hold large pictures and says nothing about the
  // tracks: the rest is read, about the size of the movie box in force.
  const std::uint64_t most = 2 * std::uint64_t(movie_payload.size()) + (1u << 16);
  byte_buffer movie;
  const std::size_t movie_header = open_box(movie, fourcc("moov"));
  raw_box child;
  for (std::uint64_t p = at + 8; p < at + size; p += child.size) {
    if (!read_raw_box(io, p, at + size, child) || child.open_ended) return false;
    if (child.type == fourcc("udta")) continue;
    if (movie.size() + child.size > most) return false;
    io.seek(p);
    movie += read_sized_text(io, child.size);
  }
  close_box(movie, movie_header);
  mp4_file replaced;
  try {
    memory_stream in(movie.data(), movie.size());
    mp4_open_file(replaced, in, file.options & (option_decoding_tables | option_audio_tracks | option_video_tracks),
                  true);
  } catch (const exception&) {
    return false;
  }
  if (replaced.tracks.size() != file.tracks.size()) return false;
  for (std::size_t i = 0; i < file.tracks.size(); ++i)
    if (replaced.tracks[i]->chunk_offsets != file.tracks[i]->chunk_offsets) return false;
  return true;
}

// The box at `at` spans the old movie box, the boxes that followed it and
// the 8-byte "free" header that ended them when the new movie box was staged
// behind it. The old movie box's children were those of the one in force
// (its own payload), user data aside, in the same order.
stopped_write_leftover over_media(stream& io, const mp4_file& file, std::string_view movie_payload, std::uint64_t at,
                                  std::uint64_t end) {
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
  if (!is_replaced_movie_box(io, file, movie_payload, at, found.old_movie_size)) return {};
  // Media data that ran to the end of the file when the write began still
  // does; it ends at the staged "free" header. Each box here turns top level:
  // one that holds chunks a track reads must be a media data box, as other
  // taggers drop a "free" or "skip" box and may drop a "uuid" one, and the
  // "free" header at the end must hold none.
  if (movie_reads_between(movie_payload, tail, end)) return {};
  while (p < tail) {
    raw_box next;
    if (!read_raw_box(io, p, tail, next)) return {};
    const std::uint64_t next_end = next.open_ended ? tail : p + next.size;
    if (movie_reads_between(movie_payload, p, next_end) &&
        (next.type != fourcc("mdat") || movie_reads_between(movie_payload, p, p + next.header)))
      return {};
    if (next.open_ended) {
      if (next.header != 8 || tail - p > max_u32) return {};
      found.inner_sizes.emplace_back(p, size_field(std::uint32_t(tail - p)));
    }
    p = next_end;
  }
  if (tail_box.open_ended) found.inner_sizes.emplace_back(tail, size_field(8));
  found.kind = stopped_write_leftover::shape::over_media;
  found.offset = at;
  return found;
}

bool same_bytes(stream& io, std::uint64_t a, std::uint64_t b, std::uint64_t size) {
  io.seek(a);
  const byte_buffer first = read_sized_text(io, size);
  io.seek(b);
  return first == read_sized_text(io, size);
}

// Chapter texts are a few bytes per chapter: a larger box is not such texts.
constexpr std::uint64_t max_texts_size = 1u << 24;

// The box at `at` is the old movie box turned "free" up to the media data
// box at `texts_at` that holds the renamed chapter texts alone, which the
// movie box in force (last) follows. Its content is still the old movie
// box, or begins with the texts on their way back. Neither box may hold a
// sample of any other track, and the way back leaves room for a "free"
// header in front of the copies in force.
stopped_write_leftover before_chapter_texts(stream& io, const mp4_file& file, std::string_view movie_payload,
                                            std::uint64_t at, std::uint64_t texts_at) {
  raw_box texts;
  if (!read_raw_box(io, texts_at, file.moov_offset, texts) || texts.open_ended || texts.header != 8 ||
      texts.type != fourcc("mdat") || texts_at + texts.size != file.moov_offset || texts.size > max_texts_size ||
      file.moov_header_size != 8)
    return {};
  const std::uint64_t moved_by = texts_at - at, texts_end = file.moov_offset;
  if (at + texts.size + file.moov_size + 8 > texts_at || holds_chunk(file, at, file.moov_offset)) return {};
  byte_buffer payload(movie_payload);
  std::size_t moved_tracks = 0;
  try {
    for (const chunk_table& table : chunk_tables(movie_payload)) {
      std::uint32_t inside = 0;
      for (std::uint32_t i = 0; i < table.count; ++i) {
        const std::uint64_t chunk = table.entry(movie_payload, i);
        if (chunk >= texts_at + 8 && chunk < texts_end) ++inside;
        else if (chunk >= at && chunk < texts_end) return {};
      }
      if (inside == 0) continue;
      if (inside != table.count || ++moved_tracks > 1) return {};
      for (std::uint32_t i = 0; i < table.count; ++i) {
        const std::uint64_t chunk = table.entry(movie_payload, i) - moved_by;
        for (std::uint32_t b = 0; b < table.width; ++b)
          payload[table.at + i * table.width + b] = char(chunk >> (8 * (table.width - 1 - b)));
      }
    }
  } catch (const exception&) {
    return {};
  }
  if (moved_tracks != 1) return {};
  if (!starts_as_movie_payload(io, at + 8, moved_by - 8) && !same_bytes(io, at + 8, texts_at + 8, texts.size - 8))
    return {};
  stopped_write_leftover found;
  found.kind = stopped_write_leftover::shape::before_chapter_texts;
  found.offset = at;
  found.moved_by = moved_by;
  found.texts_size = texts.size;
  io.seek(texts_at);
  found.returned = read_sized_text(io, texts.size);
  append_u32(found.returned, std::uint32_t(file.moov_size));
  append_fourcc(found.returned, fourcc("moov"));
  found.returned += payload;
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
  // With two chunk tables in a track, the proof that no track reads what
  // the mend drops holds for one reader's choice, not every reader's.
  const bool two_tables = has_track_with_two_chunk_tables(movie_payload);
  raw_box box;
  for (std::uint64_t at = 0; at < file.moov_offset; at += box.size) {
    if (!read_raw_box(io, at, file_size, box) || box.open_ended) break;
    const std::uint64_t end = at + box.size;
    if (movie_is_last && is_free_box(box.type) && box.header == 8 && end < file.moov_offset &&
        layout.cut_position == no_cut && layout.reports.empty()) {
      stopped_write_leftover found = before_chapter_texts(io, file, movie_payload, at, end);
      if (found.kind != stopped_write_leftover::shape::none) {
        if (two_tables) throw exception_write_refused(refusals::two_chunk_tables);
        return found;
      }
    }
    if (box.header != 8 || !(box.type == fourcc("mdat") || is_free_box(box.type)) ||
        !starts_as_movie_payload(io, at + 8, box.size - 8))
      continue;
    // A "free" box over media data is what earlier builds left; this one's
    // switch makes the box "mdat" wherever the movie box was not last.
    const bool over_media_data = box.type == fourcc("mdat") || movie_reads_between(movie_payload, at + 8, end);
    if (two_tables && (over_media_data || (end == file.moov_offset && movie_is_last)))
      throw exception_write_refused(refusals::two_chunk_tables);
    if (over_media_data) {
      stopped_write_leftover found = over_media(io, file, movie_payload, at, end);
      if (found.kind != stopped_write_leftover::shape::none) return found;
    } else if (end == file.moov_offset && movie_is_last && !movie_reads_between(movie_payload, at, end)) {
      stopped_write_leftover found;
      found.kind = stopped_write_leftover::shape::before_movie;
      found.offset = at;
      return found;
    }
  }
  return {};
}

}  // namespace tarnex
