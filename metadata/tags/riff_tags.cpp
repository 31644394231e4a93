#include "metadata/tags/riff_tags.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>

#include "foundation/bit_array.h"
#include "foundation/byte_compare.h"
#include "foundation/byte_order.h"
#include "foundation/code_page_text.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "io/io_exceptions.h"
#include "metadata/input_file_access.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/id3v2_writer.h"
#include "metadata/tags/riff_chunks.h"
#include "metadata/tags/riff_chunks_after_audio.h"
#include "metadata/tags/riff_id3_chunks.h"
#include "metadata/tags/riff_tail.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/track_info.h"

namespace riff_tags {

namespace {

struct info_field_id {
  const char* field;
  char id[5];
};
// Reading maps ids to fields; writing emits the items in this order.
constexpr info_field_id riff_info_field_map[] = {
    {"album", "IPRD"},     {"artist", "IART"},   {"genre", "IGNR"},    {"comment", "ICMT"},   {"copyright", "ICOP"},
    {"engineer", "IENG"},  {"language", "ILNG"}, {"title", "INAM"},    {"writer", "IWRI"},    {"tracknumber", "ITRK"},
    {"country", "ICNT"},   {"medium", "IMED"},   {"source", "ISRC"},   {"date", "ICRD"},
    // TagLib's taggers keep the composer here.
    {"composer", "IMUS"},
};

// Ids other taggers write for a mapped field: read as it, and replaced
// with the field's other items when it changes.
constexpr info_field_id riff_info_other_ids[] = {{"tracknumber", "IPRT"}};

// Whether an INFO item holds the field as it is: the field has an id, and
// one value of plain ASCII text; several values would read back as one.
bool info_holds(const track_info& info, std::uint32_t field) {
  const auto same_field = [&](const info_field_id& row) {
    return qiv::stricmp_ascii_equal(row.field, info.field_name(field));
  };
  if (std::none_of(std::begin(riff_info_field_map), std::end(riff_info_field_map), same_field)) return false;
  if (info.field_value_count(field) != 1) return false;
  for (const char* c = info.field_value(field, 0); *c; ++c)
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  return true;
}

const info_field_id* find_info_id(const char* id) {
  for (const auto& row : riff_info_field_map)
    if (std::memcmp(row.id, id, 4) == 0) return &row;
  for (const auto& row : riff_info_other_ids)
    if (std::memcmp(row.id, id, 4) == 0) return &row;
  return nullptr;
}

struct tag_chunks {
  // Every ID3 chunk of either name, in file order.
  std::vector<id3_chunk> id3;
  bool has_info = false;
  // The items of every INFO list in file order, after their types: a later
  // list is read as more items of the first, which a write leaves as the
  // only one.
  std::vector<std::uint8_t> info_items;
};

void read_chunk_payload(vantrel_io::file_object& file, std::uint64_t size, std::vector<std::uint8_t>& out,
                  const abort_signal& abort) {
  out.resize(static_cast<std::size_t>(size));
  if (size) file.read_exact(out.data(), static_cast<std::uint32_t>(size), abort);
}

struct info_item {
  const char* id;
  std::uint32_t size;  // as its header states
  std::size_t start;   // of its header
  std::size_t data;
  std::size_t end;  // where the next item starts (a pad byte included), or the list's end
};

// The items of one list as ffmpeg finds them: each behind the pad byte of
// an item of odd size, or, where the writer left the pad byte out, right
// behind the text, taken when the item behind the pad would not fit.
// `walked`: where the items end; short of the list's end where fewer bytes
// than a header follow the last.
std::vector<info_item> split_items(const std::vector<std::uint8_t>& items, std::size_t& walked) {
  const auto fits = [&](std::size_t at) {
    return items.size() - at >= 8 && qiv::load_le(items.data() + at + 4, 4) <= items.size() - at - 8;
  };
  std::vector<info_item> found;
  std::size_t offset = 0;
  while (offset < items.size()) {
    if (!found.empty() && (found.back().size & 1) && !fits(offset) && fits(offset - 1))
      found.back().end = --offset;
    if (items.size() - offset < 8) {
      // The list's own pad byte, counted in its size, behind items that
      // left theirs out, is no remainder.
      walked = items.size() - offset == 1 && (offset & 1) ? items.size() : offset;
      return found;
    }
    const std::uint32_t size = qiv::load_le(items.data() + offset + 4, 4);
    const std::size_t data = offset + 8;
    // The pad byte follows an odd size, wherever an earlier item left the
    // items: after a left-out one they stand at odd offsets.
    const std::uint64_t next = std::uint64_t(data) + size + (size & 1);
    const std::size_t end = next > items.size() ? items.size() : static_cast<std::size_t>(next);
    found.push_back({reinterpret_cast<const char*>(items.data() + offset), size, offset, data, end});
    offset = end;
  }
  walked = items.size();
  return found;
}

// The list's items as they were, each behind its pad byte, one its writer
// left out included: the lists then join into one walk, and a write that
// keeps an item keeps it where readers find the next one.
void append_list_items(vantrel_io::file_object& file, std::uint64_t size, std::vector<std::uint8_t>& items,
                       const abort_signal& abort) {
  std::vector<std::uint8_t> list;
  read_chunk_payload(file, size, list, abort);
  std::size_t walked = 0;
  for (const info_item& item : split_items(list, walked)) {
    items.insert(items.end(), list.begin() + std::ptrdiff_t(item.start), list.begin() + std::ptrdiff_t(item.end));
    if ((item.end - item.start) & 1) items.push_back(0);
  }
  // A remainder too short for an item stays, for the reading to refuse.
  items.insert(items.end(), list.begin() + std::ptrdiff_t(walked), list.end());
  if (items.size() & 1) items.push_back(0);
}

// Where the walk for tag chunks ends. A recording that never finished states
// a RIFF size of 0 (or all ones): its chunks run to the end of the file.
// Writing still refuses such a file.
std::uint64_t tag_walk_end(vantrel_io::file_object& file, const abort_signal& abort) {
  file.seek(0, abort);
  const riff_chunks::header riff = riff_chunks::read_header(file, abort);
  if (!riff_chunks::is_id(riff.id, "RIFF") || (riff.size != 0 && riff.size != 0xFFFFFFFF))
    return riff_chunks::riff_end(riff_chunks::read_riff_header(file, true, abort));
  char form[4];
  file.read_exact(form, 4, abort);
  if (!riff_chunks::is_id(form, "WAVE")) vantrel_io::throw_io_data();
  const std::uint64_t size = file.get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  return size;
}

tag_chunks find_tag_chunks(vantrel_io::file_object& file, const abort_signal& abort) {
  tag_chunks found;
  const std::uint64_t end = tag_walk_end(file, abort);
  for (std::uint64_t offset = 12; offset < end;) {
    vantrel_io::seek_checked(file, offset, abort);
    const riff_chunks::header chunk = riff_chunks::read_header(file, abort);
    std::uint64_t next = riff_chunks::next_offset(offset, chunk.size);
    // Audio of an unfinished recording is not walked as chunks.
    if (riff_chunks::is_id(chunk.id, "data") && chunk.size == 0)
      next = riff_chunks::find_chunks_after_audio(file, offset + 8, end, abort);
    if (next > end) vantrel_io::throw_io_data();
    if (riff_chunks::is_id3_chunk(chunk.id)) {
      id3_chunk& id3 = found.id3.emplace_back();
      std::memcpy(id3.id, chunk.id, 4);
      read_chunk_payload(file, chunk.size, id3.data, abort);
    } else if (riff_chunks::is_id(chunk.id, "LIST") && chunk.size >= 4) {
      char type[4];
      file.read_exact(type, 4, abort);
      if (riff_chunks::is_id(type, "INFO")) {
        append_list_items(file, chunk.size - 4, found.info_items, abort);
        found.has_info = true;
      }
    }
    offset = next;
  }
  return found;
}

// Writers that know no code page for these items store UTF-8: text that is
// valid UTF-8 and not plain ASCII can hardly be anything else.
std::string info_text_to_utf8(const char* text, std::size_t length) {
  bool ascii = true;
  for (std::size_t i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
  if (!ascii && qiv::is_valid_utf8(text, length)) return std::string(text, length);
  return qiv::code_page_to_utf8(text, length, qiv::code_page_ansi);
}

void read_info_items(const std::vector<std::uint8_t>& items, track_info& out) {
  std::size_t walked = 0;
  for (const info_item& item : split_items(items, walked)) {
    const info_field_id* row = find_info_id(item.id);
    if (!row) continue;
    if (item.size > items.size() - item.data) vantrel_io::throw_io_data();
    const char* text = reinterpret_cast<const char*>(items.data() + item.data);
    const std::size_t length = strnlen(text, item.size);
    const std::string value = info_text_to_utf8(text, length);
    out.set_field(row->field, track_info::until_nul, value.data(), value.size());
  }
  if (walked != items.size()) vantrel_io::throw_io_data();
}

void append_bytes(std::vector<std::uint8_t>& out, const void* bytes, std::size_t count) {
  const auto* begin = static_cast<const std::uint8_t*>(bytes);
  out.insert(out.end(), begin, begin + count);
}

// The list's items in their order: those of ids the player does not map,
// and of fields the write leaves alone (`kept`), as they were; the item of a
// field it changes where the field's first item stood, under that item's
// id, and no other item of it; then `info`'s other fields.
std::vector<std::uint8_t> build_info_items(const std::vector<std::uint8_t>& old_items, const track_info& info,
                                           const std::function<bool(const char* field)>& kept) {
  std::vector<std::uint8_t> items;
  std::vector<const char*> written;
  const auto write_field = [&](const info_field_id& row) {
    const auto same_field = [&](const char* field) { return std::strcmp(field, row.field) == 0; };
    if (std::find_if(written.begin(), written.end(), same_field) != written.end()) return;
    written.push_back(row.field);
    qiv::string_buffer joined;
    if (!info.get_field_text(row.field, joined)) return;
    const std::string text = qiv::utf8_to_code_page(joined.get_ptr(), joined.get_length(), qiv::code_page_us_ascii);
    const std::uint32_t size = static_cast<std::uint32_t>(text.size() + 1);
    std::uint8_t header[8];
    std::memcpy(header, row.id, 4);
    qiv::store_le(header + 4, size, 4);
    append_bytes(items, header, 8);
    append_bytes(items, text.c_str(), size);
    if (size & 1) items.push_back(0);
  };
  std::size_t walked = 0;
  for (const info_item& item : split_items(old_items, walked)) {
    const info_field_id* row = find_info_id(item.id);
    if (row != nullptr && !kept(row->field)) {
      write_field(*row);
      continue;
    }
    append_bytes(items, old_items.data() + item.start, item.end - item.start);
  }
  for (const auto& row : riff_info_field_map)
    if (!kept(row.field)) write_field(row);
  return items;
}

std::vector<std::uint8_t> render_id3(id3parser::tag tag, const track_info& info) {
  tag = id3v2_tag_for_info(std::move(tag), info);
  std::vector<std::uint8_t> bytes;
  if (tag.frames.empty()) return bytes;
  // Inside a chunk padding only wastes room, as the chunk is placed anew
  // every time.
  id3parser::byte_vector written;
  id3parser::write_tag(written, tag, 0, 0);
  bytes.assign(written.begin(), written.end());
  return bytes;
}

// The merged tag's fields, without a "tagtype".
void id3_fields_to_info(const id3parser::tag& tag, track_info& out) {
  id3v2_tag_to_info(tag, out);
  const std::uint32_t tagtype = out.find_tech("tagtype");
  if (tagtype != track_info::not_found) {
    qiv::bit_array selection(out.tech_count());
    selection.set(tagtype, true);
    out.remove_techs(selection);
  }
}

// Whether the edit changes what no INFO item holds: a field without an item,
// several values, text beyond ASCII, a ReplayGain value.
bool edit_needs_id3_chunk(const tag_changes& changes, const id3parser::tag& tag) {
  track_info_impl changed;
  changes.apply_to(changed);
  qiv::bit_array held(changed.field_count());
  for (std::uint32_t field = 0; field < changed.field_count(); ++field) held.set(field, info_holds(changed, field));
  changed.remove_fields(held);
  return !render_id3(tag, changed).empty();
}

}  // namespace

void read(vantrel_io::file_object& file, track_info& out, const abort_signal& abort) {
  const tag_chunks found = find_tag_chunks(file, abort);
  id3parser::all_but_pictures filter;
  const merged_id3_chunks id3 = merge_id3_chunks(found.id3, filter);
  if (id3.shown) id3_fields_to_info(id3.tag, out);
  if (!found.has_info) return;
  // Taggers that know only the INFO list (and ffmpeg) go on writing it
  // beside an ID3 chunk: a field the chunk lacks is shown from the list.
  // The items read before a damaged one still count.
  track_info_impl info_fields;
  try {
    read_info_items(found.info_items, info_fields);
  } catch (const vantrel_io::exception_io_data&) {
    out.add_fields_not_held(info_fields);
    throw;
  }
  out.add_fields_not_held(info_fields);
}

rendered_tags render(vantrel_io::file_object& file, const track_info& info, const abort_signal& abort) {
  const tag_chunks old = find_tag_chunks(file, abort);
  id3parser::accept_all_frames everything;
  merged_id3_chunks id3 = merge_id3_chunks(old.id3, everything);
  refuse_losing_id3_chunks(id3);
  // The INFO list gets only what changed from the reading (both kinds, as
  // read shows them) to `info`, so a removal leaves neither holding the
  // field; the ID3 chunk gets `info`.
  track_info_impl id3_fields, info_fields;
  if (id3.shown) id3_fields_to_info(id3.tag, id3_fields);
  if (old.has_info) read_info_items(old.info_items, info_fields);
  // The list is the file's tag only where no ID3 chunk is and it holds a
  // field the player shows (ffmpeg's, with its encoder alone, holds none).
  const bool info_is_the_tag = !id3.shown && info_fields.field_count() != 0;
  track_info_impl shown(id3_fields);
  shown.add_fields_not_held(info_fields);
  const tag_changes changes = tag_changes::between(shown, info);
  rendered_tags tags;
  tags.changes = !changes.empty();
  // A file whose tags stand in ID3 chunks alone gets no INFO list: ffmpeg
  // reads only the list once it holds an item, and would lose every field
  // the list has no item for. An empty list counts as none, for it as here.
  std::vector<std::uint8_t> items;
  if (!old.info_items.empty()) {
    changes.apply_to(info_fields);
    items = build_info_items(old.info_items, info_fields, [&](const char* field) { return !changes.touches(field); });
  } else if (!id3.shown) {
    items = build_info_items(old.info_items, info, [](const char*) { return false; });
  }
  if (!items.empty()) {
    tags.info_list.assign({'I', 'N', 'F', 'O'});
    append_bytes(tags.info_list, items.data(), items.size());
  }
  // A file tagged by its list keeps it alone through edits the list holds,
  // as the taggers that write the list alone expect. Any ID3 chunk written
  // holds every field: TagLib and kid3-cli show a WAV's ID3 chunk alone
  // when it has one.
  if (!info_is_the_tag || edit_needs_id3_chunk(changes, id3.tag)) tags.id3 = render_id3(std::move(id3.tag), info);
  std::memcpy(tags.id3_chunk_id, id3.chunk_id, sizeof tags.id3_chunk_id);
  return tags;
}

void apply(vantrel_io::file_object& file, vantrel_io::file_object* original, const rendered_tags& tags,
           const abort_signal& abort) {
  riff_chunks::edit_keeping_tail(file, original, [&] {
    riff_chunks::merge_into_junk(file, true, true, abort);
    if (!tags.info_list.empty()) riff_chunks::place_chunk(file, "LIST", tags.info_list, abort);
    if (!tags.id3.empty()) riff_chunks::place_chunk(file, tags.id3_chunk_id, tags.id3, abort);
  }, abort);
}

void write(vantrel_io::file_object& file, const track_info& info, const abort_signal& abort) {
  const rendered_tags tags = render(file, info, abort);
  if (tags.changes) apply(file, nullptr, tags, abort);
}

void rewrite_chunks(vantrel_io::file_object& file, vantrel_io::file_object* original, const abort_signal& abort,
                    bool drop_id3, bool drop_info) {
  riff_chunks::edit_keeping_tail(
      file, original, [&] { riff_chunks::merge_into_junk(file, drop_id3, drop_info, abort); }, abort);
}

}  // namespace riff_tags
