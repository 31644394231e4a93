// Reading the item lists of the user-data "meta" boxes into the file's
// ilst_metadata, every list the file holds joined into one: text items by
// the key table, numbers, genres, flags, freeform items and the cover; with
// keep-unparsed set, every item is also kept as stored: beside the fields it
// gave, or alone when it maps to none.
#include <cstdio>
#include <cstring>
#include <utility>

#include "foundation/exceptions.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/child_boxes.h"
#include "inputs/mp4/cover_art_limit.h"
#include "inputs/mp4/item_keys.h"
#include "inputs/mp4/item_list_merge.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/user_data_boxes.h"
#include "metadata/tags/id3v1_genres.h"

namespace tarnex {

namespace {

// A "covr" item is read whole to keep it for the writer; more than this many
// bytes could not be a set of pictures of at most 16 MiB each that anyone
// means to keep in memory.
constexpr std::uint64_t max_cover_item_bytes = 64 * 1024 * 1024;

// Text after a child's header bytes, up to the first zero byte.
std::string read_item_text(stream& in, std::uint64_t size, std::uint32_t header_bytes) {
  if (size < header_bytes) throw exception_truncation();
  in.skip_exact(header_bytes);
  std::string text = read_sized_text(in, size - header_bytes);
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

std::string decimal(long long value) { return std::to_string(value); }

// A "yyyy-mm-ddT00:00:00Z" date is the day alone; any other time is kept.
std::string trimmed_year(const std::string& value) {
  static const char pattern[] = "####-##-##T00:00:00Z";
  if (value.size() != sizeof pattern - 1) return value;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const bool digit = value[i] >= '0' && value[i] <= '9';
    if (pattern[i] == '#' ? !digit : value[i] != pattern[i]) return value;
  }
  return value.substr(0, 10);
}

// Numbers of "tmpo", "gnre", "trkn" and "disk": true when the item was
// handled (also when it adds nothing, as a genre outside the list).
bool read_numeric_data(std::uint32_t key, stream& in, std::uint64_t size, tag_fields& fields) {
  if (key == fourcc("tmpo") || key == fourcc("gnre")) {
    if (size < 10) return false;
    in.skip_exact(8);
    const std::uint16_t v = read_u16(in);
    if (key == fourcc("tmpo")) {
      char text[16];
      std::snprintf(text, sizeof text, "%.5u BPM", unsigned(v));
      fields.add("tempo", text);
    } else if (v >= 1 && v <= id3v1_genre_count) {
      fields.add("genre", id3v1_genre_list[v - 1]);
    }
    return true;
  }
  if (size < 14) return false;
  in.skip_exact(8 + 2);
  const std::uint16_t number = read_u16(in);
  const std::uint16_t total = read_u16(in);
  const bool track = key == fourcc("trkn");
  fields.add(track ? "track" : "disc", decimal(number));
  if (total != 0) fields.add(track ? "totaltracks" : "totaldiscs", decimal(total));
  return true;
}

bool is_numeric_key(std::uint32_t key) {
  return key == fourcc("tmpo") || key == fourcc("gnre") || key == fourcc("trkn") || key == fourcc("disk");
}

// One item; true when it added a field or was a handled number (a genre
// outside the list adds nothing yet is not kept as unparsed). Every "data"
// child of a text item is a value: taggers store several values of one
// field that way, and keeping only the last would lose the others.
// `freeform_name` takes the name of a freeform item of the iTunes vendor,
// whether it gave a value or not.
bool read_item(std::uint32_t key, stream& in, std::uint64_t size, tag_fields& fields, std::string& freeform_name) {
  std::vector<std::string> values;
  std::string name, mean;
  bool handled = false;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (handled) return;
    if (type == fourcc("data")) {
      if (is_numeric_key(key))
        handled = read_numeric_data(key, child, child_size, fields);
      else if (std::string value = read_item_text(child, child_size, 8); !value.empty())
        values.push_back(std::move(value));
    } else if (type == fourcc("name")) {
      name = read_item_text(child, child_size, 4);
    } else if (type == fourcc("mean")) {
      mean = read_item_text(child, child_size, 4);
    }
  });
  if (handled) return true;
  if (key == fourcc("----") && !name.empty() && (mean.empty() || equals_ascii_nocase(mean, "com.apple.iTunes")))
    freeform_name = name;
  if (values.empty()) return false;
  std::string field;
  if (name.empty()) {
    if (const char* mapped = field_for_item_key(key)) field = mapped;
    else if (key == fourcc("\xA9gen")) field = "genre";
    else if (key == fourcc("cpil")) field = "itunescompilation";
    else if (key == fourcc("pcst")) field = "itunespodcast";
    else return false;
    for (std::string& value : values) {
      if (key == fourcc("cpil") || key == fourcc("pcst")) value = decimal(static_cast<std::int8_t>(value[0]));
      if (field == "year") value = trimmed_year(value);
    }
  } else {
    if (!mean.empty() && !equals_ascii_nocase(mean, "com.apple.iTunes")) return false;
    field = name;
    if (equals_ascii_nocase(name, "date")) field = "year";
    else if (equals_ascii_nocase(name, "tracknumber")) field = "track";
    else if (equals_ascii_nocase(name, "cdec")) field = "codec";
  }
  for (const std::string& value : values) fields.add(field, value);
  return true;
}

// The pictures of a "covr" item: every "data" child replaces the one
// before, so the front cover is the last of them. The item is kept whole
// with the place of that last child.
void read_cover_item(ilst_metadata& metadata, std::string payload, std::size_t place) {
  cover_picture picture;
  cover_item item{{}, place, 0, payload.size(), payload.size()};
  memory_stream in(payload.data(), payload.size());
  std::size_t child_start = 0;
  read_child_boxes(in, payload.size(), [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    const std::size_t child_end = std::size_t(in.position() + child_size);
    const std::size_t start = std::exchange(child_start, child_end);
    if (type != fourcc("data") || child_size < 8) return;
    child.skip_exact(8);  // type code and locale
    if (child_size - 8 > max_picture_bytes) throw exception("cover art atom too big");
    picture.bytes = read_sized_text(child, child_size - 8);
    ++item.pictures;
    item.shown_start = start;
    item.shown_end = child_end;
  });
  item.payload = std::move(payload);
  metadata.cover_items.push_back(std::move(item));
  metadata.front_cover_as_read = picture.bytes;
  metadata.front_cover = std::move(picture);
}

std::string read_payload(stream& in, std::uint64_t size) {
  if (size > 0xFFFFFFFFu) qiv::throw_overflow();
  return read_sized_text(in, size);
}

// The children of "meta": after version and flags as the ISO layout has it,
// or straight away in the QuickTime layout, whose first word is then the
// size of the first child rather than a zero version and flags.
template <class Handler>
void read_meta_children(mp4_file& file, mp4_atom_reader& in, std::uint64_t size, Handler&& handler) {
  const std::uint32_t first = read_u32(in);
  std::uint64_t left = size - 4;
  if (first != 0) {
    const std::uint32_t type = read_u32(in);
    std::uint64_t child_size = first;
    std::uint32_t header_size = 8;
    if (child_size == 1) {
      child_size = read_u64(in);
      header_size = 16;
    }
    if (child_size < header_size || child_size > size) throw exception("invalid box/atom header");
    const std::uint64_t content_size = child_size - header_size;
    mp4_atom_reader content(in, content_size);
    handler(type, content, content_size, true);
    content.finish();
    left = size - child_size;
  }
  if (!read_damaged_child_boxes(in, left, handler)) file.skip_damaged_tags();
}

void read_one_item(const mp4_file& file, ilst_metadata& metadata, std::uint32_t key, mp4_atom_reader& item,
                   std::uint64_t item_size) {
  const std::size_t place = metadata.items_read++;
  if (key == fourcc("covr")) {
    if ((file.options & option_read_pictures) == 0) return;
    if (item_size > max_cover_item_bytes) throw exception("cover art atom too big");
    read_cover_item(metadata, read_payload(item, item_size), place);
    return;
  }
  // Parsed aside, so an item that fails halfway adds none of its fields.
  tag_fields fields;
  if (file.options & option_keep_unparsed_items) {
    raw_item raw{key, read_payload(item, item_size), place, {}};
    memory_stream bytes(raw.payload.data(), raw.payload.size());
    if (!read_item(key, bytes, raw.payload.size(), fields, raw.freeform_name))
      metadata.raw_items.push_back(std::move(raw));
    else if (!fields.empty())
      metadata.items_as_read.push_back({key, std::move(raw.payload), fields, place});
  } else if (file.options & option_read_tags) {
    std::string freeform_name;
    read_item(key, item, item_size, fields, freeform_name);
  }
  for (const auto& [name, entry] : fields.entries())
    for (const std::string& value : entry.values) metadata.fields.add(name, value);
}

// Damage inside one item, or an item cut off by the end of the list, costs
// that item: the items around it are whole.
void read_item_list(mp4_file& file, ilst_metadata& metadata, stream& in, std::uint64_t size) {
  const bool whole = read_damaged_child_boxes(
      in, size, [&](std::uint32_t key, mp4_atom_reader& item, std::uint64_t item_size, bool item_whole) {
        try {
          if (!item_whole) throw exception_truncation();
          // Room left for later edits, by this writer or another tagger.
          if (is_free_box(key)) return;
          read_one_item(file, metadata, key, item, item_size);
        } catch (const exception&) {
          file.skip_damaged_tags();
        }
      });
  if (!whole) file.skip_damaged_tags();
}

}  // namespace

void read_meta_box(mp4_file& file, mp4_atom_reader& in, std::uint64_t size) {
  if ((file.options & (option_read_tags | option_read_pictures)) == 0) return;
  file.metadata_present = true;
  // Tags damaged inside their own box cost the tags, not the file: the
  // reader is bounded by the box, so the audio boxes after it are intact.
  // Each item list is read whole before it joins those read before it (a
  // file may hold several), so damage costs no list but its own.
  try {
    read_meta_children(file, in, size,
                       [&](std::uint32_t type, mp4_atom_reader& list, std::uint64_t list_size, bool whole) {
                         if (!whole) file.skip_damaged_tags();
                         if (type != fourcc("ilst")) return;
                         ilst_metadata items;
                         read_item_list(file, items, list, list_size);
                         merge_item_list(file.item_list, std::move(items));
                       });
  } catch (const exception&) {
    file.skip_damaged_tags();
  }
}

}  // namespace tarnex
