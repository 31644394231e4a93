#include "inputs/mp4/user_data_boxes.h"

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/child_boxes.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

constexpr std::uint32_t max_chapters = 1024;

// Text of a "data", "name" or "mean" child after its four-byte header word
// (and, for "data", the four-byte locale), up to the first zero byte.
std::string read_item_text(mp4_atom_reader& in, std::uint64_t size, std::uint32_t header_bytes) {
  if (size < header_bytes) return std::string();
  in.skip_exact(header_bytes);
  std::string text = read_sized_text(in, size - header_bytes);
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

// A freeform item: "mean" names the vendor, "name" the field, "data" holds
// the value. Only the vendor whose names the player knows is taken.
void read_freeform_item(mp4_file& file, mp4_atom_reader& in, std::uint64_t size) {
  std::string mean, name, value;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (type == fourcc("data"))
      value = read_item_text(child, child_size, 8);
    else if (type == fourcc("name"))
      name = read_item_text(child, child_size, 4);
    else if (type == fourcc("mean"))
      mean = read_item_text(child, child_size, 4);
  });
  if (value.empty() || name.empty()) return;
  if (!mean.empty() && !equals_ascii_nocase(mean, "com.apple.iTunes")) return;
  if (equals_ascii_nocase(name, "date"))
    name = "year";
  else if (equals_ascii_nocase(name, "tracknumber"))
    name = "track";
  else if (equals_ascii_nocase(name, "cdec"))
    name = "codec";
  file.metadata_items.add(name, value);
}

}  // namespace

void read_meta_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size) {
  if ((file.options & (option_read_tags | option_read_pictures)) == 0) return;
  if (file.metadata_present) return;  // only the first item list counts
  file.metadata_present = true;
  if (size < 4) throw exception_truncation();
  in.skip_exact(4);  // version and flags
  read_child_boxes(in, size - 4, [&](std::uint32_t type, mp4_atom_reader& list, std::uint64_t list_size) {
    if (type != fourcc("ilst") || (file.options & option_read_tags) == 0) return;
    read_child_boxes(list, list_size, [&](std::uint32_t key, mp4_atom_reader& item, std::uint64_t item_size) {
      if (key == fourcc("----")) read_freeform_item(file, item, item_size);
    });
  });
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

}  // namespace tarnex
