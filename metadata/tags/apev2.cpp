#include "metadata/tags/apev2.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "foundation/byte_compare.h"
#include "foundation/byte_order.h"
#include "foundation/exceptions.h"
#include "foundation/code_page_text.h"
#include "foundation/work_steps.h"
#include "io/io_exceptions.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/apev2_zero_runs.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/tag_field_map.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/track_info.h"

namespace apev2 {

namespace {

constexpr std::size_t block_size = 32;
constexpr std::uint32_t flag_has_header = 0x80000000u;
constexpr std::uint32_t flag_is_header = 0x20000000u;
// Longer text values go before the others in a tag laid out for later edits.
constexpr std::size_t large_text_value = 1024;

void append_le(byte_vector& out, std::uint32_t value) {
  std::uint8_t bytes[4];
  qiv::store_le(bytes, value, 4);
  out.insert(out.end(), bytes, bytes + 4);
}

void append_block(byte_vector& out, std::uint32_t size, std::uint32_t count, std::uint32_t flags) {
  out.insert(out.end(), {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'});
  append_le(out, version_2);
  append_le(out, size);
  append_le(out, count);
  append_le(out, flags);
  out.insert(out.end(), 8, 0);
}

const item& item_of(const item& i) { return i; }
const item& item_of(const item* i) { return *i; }

// The items as they stand in a tag, behind `out`'s bytes; `extra` more
// bytes are reserved for what follows them, so that a picture is copied
// once.
template <class Items>
void append_items(byte_vector& out, const Items& items, std::size_t extra) {
  std::size_t size = out.size() + extra;
  for (const auto& entry : items) size += 8 + item_of(entry).key.size() + 1 + item_of(entry).value.size();
  out.reserve(size);
  for (const auto& entry : items) {
    const item& i = item_of(entry);
    append_le(out, std::uint32_t(i.value.size()));
    append_le(out, (i.type << 1) | (i.read_only ? 1u : 0u));
    out.insert(out.end(), i.key.begin(), i.key.end());
    out.push_back(0);
    out.insert(out.end(), i.value.begin(), i.value.end());
  }
}

// The items and a footer, with a header before them when asked.
template <class Items>
byte_vector render_with_footer(const Items& items, bool with_header) {
  byte_vector out;
  const std::uint32_t count = std::uint32_t(items.size());
  if (with_header) append_block(out, 0, count, flag_has_header | flag_is_header);
  append_items(out, items, block_size);
  // The size counts the items and the footer, not the header.
  const std::uint64_t size = std::uint64_t(out.size()) - (with_header ? block_size : 0) + block_size;
  if (size > 0xFFFFFFFFull) throw qiv::exception_overflow();
  if (with_header) qiv::store_le(out.data() + 12, std::uint32_t(size), 4);
  append_block(out, std::uint32_t(size), count, with_header ? flag_has_header : 0);
  return out;
}

bool goes_first_for_later_edits(const item& i) { return i.type != 0 || i.value.size() > large_text_value; }

bool key_is(const std::string& key, const char* name) { return qiv::stricmp_ascii_equal(key.c_str(), name); }

const char* first_value(const track_info& info, const char* name) {
  const std::uint32_t index = info.find_field(name);
  return index == track_info::not_found || info.field_value_count(index) == 0 ? nullptr : info.field_value(index, 0);
}

// "album artist" is stored as "Album artist": first character upper case
// (unless a space), the rest lower case.
std::string item_key(const char* field) {
  std::wstring wide = qiv::utf8_to_utf16(field, std::strlen(field));
  if (wide.empty()) return field;
  const std::size_t first = IS_HIGH_SURROGATE(wide[0]) && wide.size() > 1 ? 2 : 1;
  if (wide[0] != L' ') CharUpperBuffW(wide.data(), DWORD(first));
  if (wide.size() > first) CharLowerBuffW(wide.data() + first, DWORD(wide.size() - first));
  return qiv::utf16_to_utf8(wide.data(), wide.size());
}

// Items are written by groups, each named by the field it stands for: the
// number and total fields go together as "Track" (group "tracknumber") and
// "Disc" ("discnumber"), "date" as "Year", each other field and each
// ReplayGain value under its own name.
std::string field_group(const std::string& name) {
  if (key_is(name, "totaltracks")) return "tracknumber";
  if (key_is(name, "totaldiscs")) return "discnumber";
  return name;
}

// The group of an item in the file: that of the fields its reading gives.
// (A field named "year" is not the date: only the item key means it.)
std::string item_group(const std::string& key) {
  if (key_is(key, "Track")) return "tracknumber";
  if (key_is(key, "Disc")) return "discnumber";
  if (key_is(key, "Year")) return "date";
  return field_group(key);
}

bool group_changes(const std::string& group, const tag_changes& changes) {
  if (key_is(group, "tracknumber")) return changes.touches("tracknumber") || changes.touches("totaltracks");
  if (key_is(group, "discnumber")) return changes.touches("discnumber") || changes.touches("totaldiscs");
  return changes.touches(group.c_str());
}

void add_pair_item(item_list& items, const char* key, const track_info& info, const char* number,
                   const char* total) {
  const char* n = first_value(info, number);
  const char* m = first_value(info, total);
  // A total alone is kept as "/m", the form the reader takes back.
  if (n == nullptr && m == nullptr) return;
  std::string value = n != nullptr ? n : "";
  if (m != nullptr) value += std::string("/") + m;
  items.push_back({false, 0, key, value});
}

// The items of `info` for one group (none when it holds nothing for it);
// `fields` are the positions of the fields of the group's name.
void append_group_items(item_list& items, const std::string& group, const track_info& info,
                        const std::vector<std::uint32_t>& fields) {
  if (key_is(group, "tracknumber")) return add_pair_item(items, "Track", info, "tracknumber", "totaltracks");
  if (key_is(group, "discnumber")) return add_pair_item(items, "Disc", info, "discnumber", "totaldiscs");
  std::string text;
  if (const replaygain_field* gain = replaygain_find_field(group.c_str())) {
    if (replaygain_format_field(text, info.get_replaygain(), *gain)) items.push_back({false, 0, group, text});
    return;
  }
  item i;
  i.key = key_is(group, "date") ? std::string("Year") : item_key(group.c_str());
  if (!is_storable_key(i.key)) return;
  // The values of every field of the name, one item holding them all.
  bool any = false;
  qiv::count_work_steps(fields.size());
  for (const std::uint32_t f : fields) {
    for (std::uint32_t v = 0; v < info.field_value_count(f); ++v) {
      if (any) i.value.push_back('\0');
      i.value += info.field_value(f, v);
      any = true;
    }
  }
  if (any) items.push_back(std::move(i));
}

// Writes each group's items once, however many fields or items name it.
// The fields are gathered by name once: searching every field for each
// group, and every group written for each, would make a tag of thousands
// of fields cost their square.
class group_writer {
public:
  group_writer(item_list& out, const track_info& info) : out_(out), info_(info) {
    const std::uint32_t count = info.field_count();
    qiv::count_work_steps(count);
    for (std::uint32_t f = 0; f < count; ++f) fields_by_name_[info.field_name(f)].push_back(f);
  }

  void write(const std::string& group) {
    if (!written_.insert(group).second) return;
    static const std::vector<std::uint32_t> none;
    const auto fields = fields_by_name_.find(group);
    append_group_items(out_, group, info_, fields == fields_by_name_.end() ? none : fields->second);
  }

private:
  item_list& out_;
  const track_info& info_;
  // Names match with ASCII letters folded, as item keys do.
  std::map<std::string, std::vector<std::uint32_t>, field_name_less> fields_by_name_;
  std::set<std::string, field_name_less> written_;
};

}  // namespace

// One bad key makes other readers reject the whole tag, so a field whose
// name cannot be a key is not written.
bool is_storable_key(const std::string& key) {
  if (key.size() < 2 || key.size() > 255) return false;
  for (const char c : key)
    if (c < 0x20 || c > 0x7E) return false;
  for (const char* reserved : {"ID3", "TAG", "OggS", "MP+"})
    if (qiv::stricmp_ascii_equal(key.c_str(), reserved)) return false;
  return true;
}

bool read_tag_at_end(vantrel_io::file_object& file, item_list* items, unsigned& version, std::uint64_t& end,
                     const abort_signal& abort, bool* has_header) {
  if (has_header != nullptr) *has_header = false;
  if (end < block_size) vantrel_io::throw_io_data();
  std::uint8_t footer[block_size];
  file.seek(end - block_size, abort);
  file.read_exact(footer, block_size, abort);
  if (std::memcmp(footer, "APETAGEX", 8) != 0) throw exception_tag_not_found();
  version = qiv::load_le(footer + 8, 4);
  const std::uint32_t size = qiv::load_le(footer + 12, 4);
  const std::uint32_t count = qiv::load_le(footer + 16, 4);
  const std::uint32_t flags = qiv::load_le(footer + 20, 4);
  if ((version != version_1 && version != version_2) || size < block_size || size > end)
    vantrel_io::throw_io_data();
  byte_vector area;
  try {
    area.resize(size);
  } catch (const std::bad_alloc&) {
    vantrel_io::throw_io_data();
  }
  file.seek(end - size, abort);
  file.read_exact(area.data(), size, abort);
  item_list local;
  item_list& parsed = items != nullptr ? *items : local;
  parsed.clear();
  std::size_t used = 0;
  // Only checked when its items are not asked for: a picture is not copied.
  const bool complete = parse_items(area.data(), size - block_size, version, count, items, &used);
  end -= size;
  // Counted only when it is there: a flag that lies would otherwise make
  // removing the tag cut 32 bytes of audio.
  bool header_agrees = false;
  if (flags & flag_has_header) {
    if (end < block_size) vantrel_io::throw_io_data();
    std::uint8_t header[block_size];
    file.seek(end - block_size, abort);
    file.read_exact(header, block_size, abort);
    if (std::memcmp(header, "APETAGEX", 8) == 0) {
      end -= block_size;
      if (has_header != nullptr) *has_header = true;
      header_agrees = qiv::load_le(header + 12, 4) == size && qiv::load_le(header + 16, 4) == count;
    }
  }
  // A size beyond what the items fill (a count of 0 with a size reaching
  // back over the audio) is no tag: taking it at its word would cut audio.
  // Runs of zeros beside the items, which earlier builds left and other
  // taggers wrote items behind, are read when a header gives the same size
  // and count, and the items and runs fill the area exactly.
  const std::size_t area_size = size - block_size;
  const auto zero = [](std::uint8_t byte) { return byte == 0; };
  if (complete && (used == area_size || (header_agrees && std::all_of(area.begin() + std::ptrdiff_t(used),
                                                                      area.end() - block_size, zero))))
    return true;
  if (header_agrees && parse_items_across_zero_runs(area.data(), area_size, version, count, parsed)) return true;
  if (complete) vantrel_io::throw_io_data();
  return false;
}

std::uint32_t tag_size_in_footer(const std::uint8_t* bytes, std::size_t size) {
  if (size < block_size) return 0;
  const std::uint8_t* footer = bytes + size - block_size;
  return std::memcmp(footer, "APETAGEX", 8) == 0 ? qiv::load_le(footer + 12, 4) : 0;
}

std::size_t parse_item(const std::uint8_t* area, std::size_t size, std::size_t pos, unsigned version, item* out) {
  if (pos > size || size - pos < 8) return 0;
  const std::uint32_t value_size = qiv::load_le(area + pos, 4);
  const std::uint32_t flags = version == version_1 ? 0 : qiv::load_le(area + pos + 4, 4);
  const std::uint8_t* key = area + pos + 8;
  const std::uint8_t* key_end = static_cast<const std::uint8_t*>(std::memchr(key, 0, size - pos - 8));
  if (key_end == nullptr) return 0;
  const std::size_t value_start = std::size_t(key_end - area) + 1;
  // The tag's size, already read, bounds a value: a picture of any size the
  // format holds is read, where a fixed cap hid it and every item behind it.
  if (value_size > size - value_start) return 0;
  if (out != nullptr) {
    out->read_only = (flags & 1) != 0;
    out->type = (flags >> 1) & 3;
    out->key.assign(reinterpret_cast<const char*>(key), key_end - key);
    out->value.assign(reinterpret_cast<const char*>(area + value_start), value_size);
  }
  return value_start + value_size;
}

bool parse_items(const std::uint8_t* area, std::size_t size, unsigned version, std::uint32_t count,
                 item_list* items, std::size_t* used) {
  std::size_t pos = 0;
  for (std::uint32_t n = 0; n < count && size - pos >= 8; ++n) {
    item i;
    const std::size_t next = parse_item(area, size, pos, version, items != nullptr ? &i : nullptr);
    if (next == 0) return false;
    if (items != nullptr) items->push_back(std::move(i));
    pos = next;
  }
  if (used != nullptr) *used = pos;
  return true;
}

void parse_tag_body(item_list& items, const std::uint8_t* data, std::size_t size) {
  items.clear();
  if (size < 24) vantrel_io::throw_io_data();
  const std::uint32_t version = qiv::load_le(data, 4);
  const std::uint32_t tag_size = qiv::load_le(data + 4, 4);
  const std::uint32_t count = qiv::load_le(data + 8, 4);
  if ((version != version_1 && version != version_2) || tag_size > size - 24) vantrel_io::throw_io_data();
  parse_items(data + 24, tag_size, version, count, &items);
}

byte_vector render_tag(const item_list& items, bool with_footer) {
  if (with_footer) return render_with_footer(items, true);
  byte_vector out;
  append_block(out, 0, std::uint32_t(items.size()), flag_has_header | flag_is_header);
  append_items(out, items, 0);
  const std::uint64_t size = std::uint64_t(out.size()) - block_size;
  if (size > 0xFFFFFFFFull) throw qiv::exception_overflow();
  qiv::store_le(out.data() + 12, std::uint32_t(size), 4);
  return out;
}

byte_vector render_tag_without_header(const item_list& items) { return render_with_footer(items, false); }

bool laid_out_for_later_edits(const item_list& items) {
  return std::is_partitioned(items.begin(), items.end(), goes_first_for_later_edits);
}

byte_vector render_tag_for_later_edits(const item_list& items, bool with_header) {
  // The items are ordered by reference: a picture's bytes are copied once,
  // into the rendered tag.
  std::vector<const item*> ordered;
  ordered.reserve(items.size());
  for (const item& i : items) ordered.push_back(&i);
  std::stable_partition(ordered.begin(), ordered.end(), [](const item* i) { return goes_first_for_later_edits(*i); });
  return render_with_footer(ordered, with_header);
}

byte_vector render_tag_bytes(const item_list& items) {
  byte_vector whole = render_tag(items, false);
  whole.erase(whole.begin(), whole.begin() + 8);
  return whole;
}

void write_tag(vantrel_io::file_object& file, const item_list& items, const abort_signal& abort, bool with_footer) {
  const byte_vector bytes = render_tag(items, with_footer);
  file.write(bytes.data(), std::uint32_t(bytes.size()), abort);
  file.resize(file.get_position(abort), abort);
}

void read_into_track_info(const item_list& items, unsigned version, track_info& info) {
  info.clear_replaygain();
  tag_field_map fields;
  for (const item& i : items) {
    // Text items are fields, read-only ones too, as other readers show
    // them: an edit of the field replaces them (write_changes).
    if (i.type != 0) continue;
    if (info.try_set_replaygain(i.key.c_str(), i.value.data(), i.value.size())) continue;
    if (key_is(i.key, "Track")) {
      fields.add_number_and_total(i.value, "tracknumber", "totaltracks");
    } else if (key_is(i.key, "Disc")) {
      fields.add_number_and_total(i.value, "discnumber", "totaldiscs");
    } else {
      const std::string name = key_is(i.key, "Year") ? std::string("date") : i.key;
      if (!track_info::is_valid_field_name(name.c_str())) continue;
      std::size_t start = 0;
      for (;;) {
        const std::size_t zero = i.value.find('\0', start);
        fields.add_value(name, i.value.substr(start, zero == std::string::npos ? std::string::npos : zero - start));
        if (zero == std::string::npos) break;
        start = zero + 1;
      }
    }
  }
  info.remove_all_fields();
  for (const auto& [name, values] : fields.all()) {
    if (values.empty()) continue;
    const std::uint32_t field = info.append_field(name.c_str(), name.size(), values[0].c_str(), values[0].size());
    for (std::size_t v = 1; v < values.size(); ++v) info.add_field_value(field, values[v].c_str(), values[v].size());
  }
  const char* tagtype = version == version_1 ? "apev1" : "apev2";
  info.set_tech("tagtype", track_info::until_nul, tagtype, track_info::until_nul);
}

void write_from_track_info(item_list& items, const track_info& info) {
  item_list written;
  group_writer writer(written, info);
  writer.write("tracknumber");
  writer.write("discnumber");
  for (std::uint32_t f = 0; f < info.field_count(); ++f) writer.write(field_group(info.field_name(f)));
  for (const replaygain_field& gain : replaygain_fields) writer.write(gain.name);
  // Items no field shows stay, unless a new item takes their key: a key
  // stands for one item.
  item_list kept;
  for (item& i : items) {
    const auto same_key = [&](const item& w) { return qiv::stricmp_ascii_equal(w.key.c_str(), i.key.c_str()); };
    if (i.type != 0 && std::none_of(written.begin(), written.end(), same_key)) kept.push_back(std::move(i));
  }
  kept.insert(kept.end(), std::make_move_iterator(written.begin()), std::make_move_iterator(written.end()));
  items = std::move(kept);
}

void write_changes(item_list& items, const track_info& info, const tag_changes& changes) {
  item_list written;
  group_writer writer(written, info);
  for (item& i : items) {
    // Every item of a changed group goes, whatever its flags: one left
    // beside the new ones would be a second item of its key, and readers
    // that take the first would show it instead.
    const std::string group = item_group(i.key);
    if (!group_changes(group, changes)) {
      written.push_back(std::move(i));
      continue;
    }
    // The new items take the place of the group's first old one.
    writer.write(group);
  }
  for (const auto& [name, values] : changes.all()) writer.write(field_group(name));
  items = std::move(written);
}

}  // namespace apev2
