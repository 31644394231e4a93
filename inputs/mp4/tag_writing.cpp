#include "inputs/mp4/tag_writing.h"

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/box_writing.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/user_data_boxes.h"

namespace tarnex {

namespace {

// Writes of at most this size, so that no single call exceeds what the
// stream interface moves at once.
constexpr std::uint32_t write_block = 1u << 20;
constexpr std::size_t box_header_bytes = 8;

bool is_front_cover(const cover_picture& picture) {
  return equals_ascii_nocase(picture.kind, "front cover") && picture.index == 0;
}

bool same_entry(const tag_fields::entry& a, const tag_fields::entry& b) {
  return a.multi_valued == b.multi_valued && a.values == b.values;
}

// The fields every song holds alike: with one song, all of its fields.
tag_fields common_fields(const std::vector<song>& songs) {
  tag_fields common;
  if (songs.empty()) return common;
  for (const auto& [name, entry] : songs.front().metadata.entries()) {
    bool everywhere = true;
    for (const song& other : songs) {
      const tag_fields::entry* found = other.metadata.find(name);
      if (found == nullptr || !same_entry(*found, entry)) everywhere = false;
    }
    if (everywhere) common.set(name, entry);
  }
  return common;
}

ilst_metadata item_list_to_write(const mp4_file& file) {
  ilst_metadata out;
  out.fields = common_fields(file.songs);
  for (const cover_picture& picture : file.pictures)
    if (is_front_cover(picture)) {
      out.front_cover = picture;
      break;
    }
  out.raw_items = file.item_list.raw_items;
  out.cover_item_as_read = file.item_list.cover_item_as_read;
  out.front_cover_as_read = file.item_list.front_cover_as_read;
  return out;
}

// File-level fields and every picture, and per song what differs from them.
tags_content tags_to_write(const mp4_file& file) {
  tags_content out;
  out.fields = common_fields(file.songs);
  out.pictures = file.pictures;
  for (std::size_t i = 0; i < file.songs.size(); ++i) {
    tags_segment segment;
    segment.chapter = std::uint32_t(i);
    for (const auto& [name, entry] : file.songs[i].metadata.entries()) {
      const tag_fields::entry* common = out.fields.find(name);
      if (common == nullptr || !same_entry(*common, entry)) segment.fields.set(name, entry);
    }
    out.segments.push_back(std::move(segment));
  }
  return out;
}

// The children of the old user-data boxes that the writer does not make
// itself, in file order.
bool is_rewritten_user_data(std::uint32_t type) {
  return type == fourcc("meta") || type == fourcc("chpl") || type == fourcc("indx") || type == fourcc("tags");
}

template <class Visit>
void for_each_child(const std::string& payload, Visit&& visit) {
  memory_stream in(payload.data(), payload.size());
  std::uint64_t consumed = 0;
  while (consumed < payload.size()) {
    const box_header header = read_child_header(in, payload.size() - consumed);
    const std::size_t start = std::size_t(in.position());
    visit(header.type, payload.substr(start, std::size_t(header.content_size)));
    in.skip_exact(header.content_size);
    consumed += header.header_size + header.content_size;
  }
}

byte_buffer build_movie_box(const mp4_file& file, stream& io, std::uint32_t write_mode) {
  const std::uint64_t payload_size = file.moov_size - file.moov_header_size;
  io.seek(file.moov_offset + file.moov_header_size);
  io.check_remaining(payload_size);
  const std::string old_payload = read_sized_text(io, payload_size);

  byte_buffer payload, user_data;
  for_each_child(old_payload, [&](std::uint32_t type, const std::string& content) {
    if (type != fourcc("udta")) {
      append_box(payload, type, content);
      return;
    }
    for_each_child(content, [&](std::uint32_t child, const std::string& child_content) {
      if (!is_rewritten_user_data(child)) append_box(user_data, child, child_content);
    });
  });
  if (write_mode & mode_item_list) {
    byte_buffer meta;
    write_meta_box(item_list_to_write(file), meta);
    append_box(user_data, fourcc("meta"), meta);
  }
  if (file.songs.size() > 1 ||
      (file.songs.size() == 1 && file.songs.front().start != 0 && !file.start_from_edit_list)) {
    byte_buffer chapters;
    write_chapter_list(file.songs, chapters);
    append_box(user_data, fourcc("chpl"), chapters);
  }
  if (!file.index_map.empty()) {
    byte_buffer index;
    write_index_map(file.index_map, index);
    append_box(user_data, fourcc("indx"), index);
  }
  if (write_mode & mode_tags_box) {
    byte_buffer tags;
    write_tags_box(tags_to_write(file), tags);
    append_box(user_data, fourcc("tags"), tags);
  }
  append_box(payload, fourcc("udta"), user_data);
  byte_buffer movie;
  append_box(movie, fourcc("moov"), payload);
  return movie;
}

void write_all(stream& io, std::uint64_t at, const std::string& bytes) {
  io.seek(at);
  for (std::size_t done = 0; done < bytes.size();) {
    const std::uint32_t n = std::uint32_t(bytes.size() - done < write_block ? bytes.size() - done : write_block);
    io.write(bytes.data() + done, n);
    done += n;
  }
}

// Bytes at the start of `now` equal to those of `before`, looked for from
// `from` on (the header before it is compared on its own).
std::size_t unchanged_prefix(const std::string& now, const std::string& before, std::size_t from) {
  std::size_t i = from;
  while (i < now.size() && i < before.size() && now[i] == before[i]) ++i;
  return i;
}

std::string read_tail(stream& io, std::uint64_t from, std::uint64_t to) {
  io.seek(from);
  return read_sized_text(io, to - from);
}

}  // namespace

std::uint32_t choose_write_mode(const mp4_file& file) {
  const bool one_cover_or_none = file.pictures.empty() || (file.pictures.size() == 1 && is_front_cover(file.pictures[0]));
  return file.songs.size() == 1 && one_cover_or_none ? mode_item_list : mode_item_list | mode_tags_box;
}

void mp4_update_file_tags(mp4_file& file, stream& io, std::uint32_t write_mode, std::vector<std::string>& reports) {
  // Everything is read and built before the first byte is written.
  const byte_buffer movie = build_movie_box(file, io, write_mode);
  const file_check_result layout = check_file_layout(io);
  reports.insert(reports.end(), layout.reports.begin(), layout.reports.end());

  // A box that runs to the end of the file (size 0) or a header that cannot
  // be read would make the movie box look last, and writing over it would
  // cut the media data: only a file whose boxes end exactly where the file
  // does (before an appended ID3v1 tag) is written.
  const std::uint64_t old_size = io.size();
  const std::uint64_t boxes_end = layout.cut_position != no_cut ? layout.cut_position : old_size;
  if (layout.boxes_end != boxes_end || file.total_size != boxes_end || file.moov_offset + file.moov_size > boxes_end)
    throw exception("the file's boxes do not end where the file does; not rewriting it");

  const bool movie_is_last = file.moov_offset + file.moov_size == boxes_end;
  const std::uint64_t write_at = movie_is_last ? file.moov_offset : boxes_end;
  const std::uint64_t new_end = write_at + movie.size();
  // The bytes the write covers, to put back when it fails.
  const std::string old_tail = read_tail(io, write_at, old_size);

  byte_buffer written = movie;
  // Over a longer old box, a "free" header keeps the file whole until the
  // size is set.
  if (new_end < old_size && old_size - new_end >= 8) {
    append_u32(written, std::uint32_t(old_size - new_end));
    append_fourcc(written, fourcc("free"));
  }

  bool flipped = false;
  try {
    if (movie_is_last) {
      // Only what changed is written: the tracks' boxes come first and are
      // copied unchanged, so a retag of a long file writes its user data and
      // the movie box's size, not its sample tables.
      const std::size_t same = unchanged_prefix(written, old_tail, box_header_bytes);
      write_all(io, write_at + same, written.substr(same));
      if (written.compare(0, box_header_bytes, old_tail, 0, box_header_bytes) != 0)
        write_all(io, write_at, written.substr(0, box_header_bytes));
    } else {
      write_all(io, write_at, written);
      // Only now that the new box is whole does the old one stop counting.
      write_all(io, file.moov_offset + 4, "free");
      flipped = true;
    }
    io.truncate(new_end);
  } catch (...) {
    try {
      if (flipped) write_all(io, file.moov_offset + 4, "moov");
      write_all(io, write_at, old_tail);
      io.truncate(old_size);
    } catch (...) {
      // The first failure is the one to report; the file may still hold
      // the new box, whole or cut, after the untouched media data.
    }
    throw;
  }
  if (layout.cut_position != no_cut) reports.push_back(trailing_garbage_report(old_size - layout.cut_position));
  file.moov_offset = write_at;
  file.moov_size = movie.size();
  file.moov_header_size = 8;
  file.total_size = new_end;
}

}  // namespace tarnex
