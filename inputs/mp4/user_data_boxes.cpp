#include "inputs/mp4/user_data_boxes.h"

#include "foundation/text_cut.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/child_boxes.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

constexpr std::uint32_t max_chapters = 1024;
constexpr std::uint32_t max_index_entries = 100;
// A name's length is one byte; a longer name is cut on a character, since
// readers refuse the whole file over half a character.
constexpr std::size_t max_chapter_name_bytes = 255;

}  // namespace

void read_user_data_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size) {
  // Errors of a child's own parser (a chapter count out of range, a second
  // tags box) still fail the file. Sizes that do not add up cost what they
  // reach: a child cut off by the end of the box is passed over, except the
  // item list, whose whole items are still read.
  const bool whole = read_damaged_child_boxes(
      in, size, [&](std::uint32_t type, mp4_atom_reader& data, std::uint64_t data_size, bool child_whole) {
        if (!child_whole) file.skip_damaged_tags();
        if (type == fourcc("meta"))
          read_meta_box(file, data, data_size);
        else if (!child_whole)
          return;
        else if (type == fourcc("chpl"))
          read_chapter_list(file, data);
        else if (type == fourcc("indx") && (file.options & option_read_tags))
          read_index_map(file, data);
        else if (type == fourcc("tags") && (file.options & (option_read_tags | option_read_pictures)))
          read_tags_box(file, data, data_size);
      });
  if (!whole) file.skip_damaged_tags();
}

void read_chapter_list(mp4_file& file, mp4_atom_reader& in) {
  const std::uint8_t version = read_u8(in);
  in.skip_exact(4);  // flags and a reserved byte
  if (version > 1) return;
  const std::uint32_t count = read_u32(in);
  if (count > max_chapters) throw exception("invalid chapter count");
  file.chapters.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    chapter entry;
    entry.start = version == 1 ? read_u64(in) : read_u32(in);
    entry.name = read_sized_text(in, read_u8(in));
    file.chapters.push_back(std::move(entry));
  }
}


void read_index_map(mp4_file& file, mp4_atom_reader& in) {
  const std::uint32_t count = read_u32(in);
  if (count > max_index_entries) throw exception("invalid index map");
  file.index_map.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    index_map_entry entry;
    entry.value = read_u64(in);
    const std::uint32_t points = read_u32(in);
    if (points > max_index_entries) throw exception("invalid index map");
    read_u64_array(in, points, entry.points);
    file.index_map.push_back(std::move(entry));
  }
}

void read_tags_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size) {
  if (file.tags_present) throw exception("duplicate ND tagging info found");
  file.tags_present = true;
  read_tags_box(file.tags, in, size, file.options);
}

std::string chapter_title(const song& chapter) {
  const tag_fields::entry* title = chapter.metadata.find("title");
  if (title == nullptr || title->values.size() != 1) return std::string();
  return title->values.front();
}

std::string chapter_list_title(const song& chapter) {
  std::string name = chapter_title(chapter);
  name.resize(qiv::utf8_cut_length(name.data(), name.size(), max_chapter_name_bytes));
  return name;
}

void write_chapter_list(const std::vector<chapter>& chapters, byte_buffer& out) {
  append_u8(out, 1);
  append_u32(out, 0);
  append_u32(out, std::uint32_t(chapters.size()));
  for (const chapter& entry : chapters) {
    append_u64(out, entry.start);
    const std::string name = entry.name.substr(0, qiv::utf8_cut_length(entry.name.data(), entry.name.size(),
                                                                        max_chapter_name_bytes));
    append_u8(out, std::uint32_t(name.size()));
    out += name;
  }
}

void write_index_map(const std::vector<index_map_entry>& entries, byte_buffer& out) {
  append_u32(out, std::uint32_t(entries.size()));
  for (const index_map_entry& entry : entries) {
    append_u64(out, entry.value);
    append_u32(out, std::uint32_t(entry.points.size()));
    for (std::uint64_t point : entry.points) append_u64(out, point);
  }
}

}  // namespace tarnex
