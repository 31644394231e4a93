#include "metadata/tags/id3v2_tag_service.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "metadata/tags/id3v2_field_mapping.h"
#include "metadata/tags/id3v2_frame_order.h"
#include "metadata/tags/id3v2_stacked_tags.h"
#include "metadata/tags/id3v2_text_encoding.h"
#include "metadata/tags/id3v2_writer.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/tag_region_update.h"
#include "metadata/track_info.h"

namespace {

// Padding a tag may keep when it is rewritten in its old room; beyond it the
// file is rewritten with the default padding instead.
constexpr std::uint64_t max_in_place_padding = 16384;
constexpr std::uint64_t head_window = 64 * 1024;

class only_comments final : public id3parser::frame_filter {
public:
  bool accept(std::uint32_t id) override { return id == id3parser::frame_id("COMM"); }
};

// Reads `length` bytes in steps that grow as the data turns out to be there,
// so a size field that lies costs no more memory than the file holds.
id3parser::byte_vector read_growing(vantrel_io::file_object& file, std::uint64_t length, const abort_signal& abort) {
  id3parser::byte_vector bytes;
  try {
    std::uint64_t step = 64 * 1024;
    while (bytes.size() < length) {
      const std::size_t want = std::size_t(std::min<std::uint64_t>(step, length - bytes.size()));
      const std::size_t used = bytes.size();
      bytes.resize(used + want);
      file.read_exact(bytes.data() + used, std::uint32_t(want), abort);
      step *= 2;
    }
  } catch (const std::bad_alloc&) {
    vantrel_io::throw_io_data();
  } catch (const std::length_error&) {
    vantrel_io::throw_io_data();
  }
  return bytes;
}

// The tag of `length` bytes at `offset`, stacked behind the first, taken
// into `out`; a damaged one is noted for a rewrite to refuse, while its
// frames are no more shown than a reader that stops at the first tag shows
// them.
void take_stacked_tag(vantrel_io::file_object& file, const std::uint8_t* head, std::uint64_t head_size, std::uint64_t offset,
                      std::uint64_t length, id3parser::frame_filter& filter, id3parser::tag& out,
                      const abort_signal& abort) {
  id3parser::tag later;
  try {
    id3parser::byte_vector bytes;
    if (offset + length > head_size) {
      file.seek(offset, abort);
      bytes = read_growing(file, length, abort);
    }
    id3parser::memory_reader reader(bytes.empty() ? head + offset : bytes.data(), std::size_t(length));
    id3parser::read_tag(reader, filter, later);
  } catch (const id3parser::parseError&) {
    out.stacked_damaged = true;
    return;
  } catch (const vantrel_io::exception_io_data&) {
    // A stream that ends inside the tag.
    out.stacked_damaged = true;
    return;
  }
  id3v2_take_stacked_tag(out, later);
}

// The ReplayGain texts the tag's user-defined frames hold, as a reading
// maps them.
tag_field_map replaygain_texts_of(const id3parser::tag& tag) {
  tag_field_map texts;
  for (const id3parser::frame& f : tag.frames) {
    if (f.id != id3parser::frame_id("TXXX") || f.is_raw()) continue;
    tag_field_map given;
    try {
      id3v2_map_frame(f, tag.version, false, given);
    } catch (const id3parser::parseError&) {
      continue;
    }
    for (const auto& [name, values] : given.all())
      if (is_replaygain_field_name(name.c_str()))
        for (const std::string& value : values) texts.add_value(name, value);
  }
  return texts;
}

class id3v2_tag_service_impl : public id3v2_tag_service {
public:
  void read(vantrel_io::file_object& file, track_info& info, const abort_signal& abort) override {
    id3parser::all_but_pictures filter;
    id3parser::tag tag;
    std::uint64_t total = 0;
    if (!id3v2_read_tag_from_file(file, filter, tag, total, abort)) throw exception_tag_not_found();
    id3v2_tag_to_info(tag, info);
  }

  void write(vantrel_io::file_ptr& file, const track_info& info, const abort_signal& abort) override {
    retag_in_place in_place;
    write_via(in_place, file, info, abort);
  }

  void write_via(retag_temp_source& target, vantrel_io::file_ptr& file, const track_info& info,
                 const abort_signal& abort) override {
    if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
    tag_region_update update;
    id3v2_rendered_tag rendered = id3v2_render_for_file(*file, info, update.leading_length, abort);
    update.leading = std::move(rendered.bytes);
    update.leading_for_rewrite = std::move(rendered.for_rewrite);
    update.trailing_start = file->get_size(abort);
    if (update.trailing_start == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
    apply_tag_region_update(file, target, update, abort);
  }
};

service_factory_single_t<id3v2_tag_service_impl> id3v2_tag_service_registration;

}  // namespace

void id3v2_tag_to_info(const id3parser::tag& tag, track_info& info) {
  tag_field_map fields;
  id3v2_fields_from_frames(tag, fields);
  info.remove_all_fields();
  info.clear_replaygain();
  for (const auto& [name, values] : fields.all()) {
    if (values.empty()) continue;
    if (info.try_set_replaygain(name.c_str(), values[0].c_str())) continue;
    const std::uint32_t field = info.append_field(name.c_str(), name.size(), values[0].c_str(), values[0].size());
    for (std::size_t v = 1; v < values.size(); ++v) info.add_field_value(field, values[v].c_str(), values[v].size());
  }
  const std::string tagtype = "id3v2." + std::to_string(tag.version);
  info.set_tech("tagtype", track_info::until_nul, tagtype.c_str(), tagtype.size());
}

void id3v2_read_leading_tags(vantrel_io::file_object& file, id3v2_leading_tags& out, const abort_signal& abort) {
  id3parser::accept_all_frames everything;
  if (!id3v2_read_tag_from_file(file, everything, out.tag, out.length, abort, &out.bytes)) {
    out.length = 0;
    out.bytes.clear();
  }
}

id3v2_rendered_tag id3v2_render_for_file(vantrel_io::file_object& file, const track_info& info, std::uint64_t& old_length,
                                         const abort_signal& abort) {
  id3parser::accept_all_frames everything;
  id3parser::tag tag;
  if (!id3v2_read_tag_from_file(file, everything, tag, old_length, abort)) old_length = 0;
  return id3v2_render(std::move(tag), old_length, info);
}

id3parser::tag id3v2_tag_for_info(id3parser::tag tag, const track_info& info) {
  tag_field_map fields;
  fields_from_info(info, fields);
  keep_stored_replaygain_texts(replaygain_texts_of(tag), fields);
  id3v2_write_options options;
  // A whole date in a version 2.3 year frame would not read back as a
  // date: it goes into year and day-month frames instead.
  options.date_as_is = false;
  id3v2_frames_from_fields(options, tag, std::move(fields));
  return tag;
}

id3v2_rendered_tag id3v2_render(id3parser::tag tag, std::uint64_t room, const track_info& info) {
  tag = id3v2_tag_for_info(std::move(tag), info);
  id3v2_rendered_tag rendered;
  id3parser::write_tag(rendered.bytes, tag, room, max_in_place_padding);
  if (id3v2_laid_out_for_rewrite(tag.frames)) return rendered;
  // A tag that leaves its room is written with the file anyway.
  const bool fills_room = room != 0 && rendered.bytes.size() == room;
  id3v2_lay_out_for_rewrite(tag.frames);
  id3parser::byte_vector laid_out;
  id3parser::write_tag(laid_out, tag, room, max_in_place_padding);
  (fills_room ? rendered.for_rewrite : rendered.bytes) = std::move(laid_out);
  return rendered;
}

bool id3v2_read_tag_from_file(vantrel_io::file_object& file, id3parser::frame_filter& filter, id3parser::tag& out,
                              std::uint64_t& total_size, const abort_signal& abort, std::vector<std::uint8_t>* raw) {
  out = id3parser::tag();
  total_size = 0;
  // One read of the file's head usually holds the whole tag and the header
  // that could follow it, where reading each apart costs a system call each.
  // The head goes into a buffer each thread keeps: a fresh block of this
  // size per file costs the system's allocator more than the read. A plain
  // array: no thread-local object may have a destructor (see
  // core/callback_guard.cpp).
  thread_local std::uint8_t head[head_window];
  const std::uint64_t size = file.get_size(abort);
  file.seek(0, abort);
  const std::uint64_t wanted = size < head_window ? size : head_window;
  std::uint64_t head_size = 0;
  while (head_size < wanted) {
    const std::uint32_t got = file.read(head + head_size, std::uint32_t(wanted - head_size), abort);
    if (got == 0) break;
    head_size += got;
  }
  // A file of known size must give its head whole; a stream gives what it has.
  if (size != vantrel_io::filesize_unknown && head_size != wanted) vantrel_io::throw_io_data();
  // A tag measured in the head ends, at the latest, where the head does.
  const auto length_in_head = [&](std::uint64_t offset) -> std::uint64_t {
    if (offset + 10 > head_size) return 0;
    const std::uint64_t length = id3v2_tag_length(head + offset);
    return length != 0 && offset + length > head_size ? head_size - offset : length;
  };
  std::uint64_t first = length_in_head(0);
  const bool in_head = first + 10 <= head_size || head_size == size;
  if (!in_head) first = id3v2_skip_leading_tag(file, 0, abort);
  if (first == 0) return false;
  if (first > 0xFFFFFFFFull) throw qiv::exception_overflow();
  // A tag larger than the head is read whole, once.
  id3parser::byte_vector whole;
  if (in_head) {
    // Frames the filter turns away (pictures, mostly) are stepped over in the
    // head instead of copied once more: a scan then allocates no image.
    id3parser::memory_reader reader(head, std::size_t(first));
    id3parser::read_tag(reader, filter, out);
  } else {
    file.seek(0, abort);
    whole = read_growing(file, first, abort);
    id3parser::memory_reader reader(whole.data(), whole.size());
    id3parser::read_tag(reader, filter, out);
  }
  total_size = first;
  for (;;) {
    std::uint64_t next = 0;
    // A tag that the head holds whole is measured there; any other in the file.
    if (total_size + 10 <= head_size) next = length_in_head(total_size);
    if (head_size != size && (total_size + 10 > head_size || total_size + next >= head_size))
      next = id3v2_skip_leading_tag(file, total_size, abort);
    if (next == 0) break;
    take_stacked_tag(file, head, head_size, total_size, next, filter, out, abort);
    total_size += next;
  }
  if (raw != nullptr) {
    if (total_size <= head_size) {
      raw->assign(head, head + total_size);
    } else if (total_size == whole.size()) {
      *raw = std::move(whole);
    } else {
      file.seek(0, abort);
      *raw = read_growing(file, total_size, abort);
    }
  }
  return true;
}

bool id3v2_find_itunsmpb_comment(vantrel_io::file_object& file, const abort_signal& abort, std::uint64_t& encoder_delay,
                                 std::uint64_t& sample_count) {
  only_comments filter;
  id3parser::tag tag;
  std::uint64_t total = 0;
  if (!id3v2_read_tag_from_file(file, filter, tag, total, abort)) return false;
  for (const id3parser::frame& f : tag.frames)
    if (id3v2_parse_itunsmpb(f, encoder_delay, sample_count)) return true;
  return false;
}

bool picture_type_from_album_art_id(const GUID& id, std::uint32_t& type) {
  if (id == album_art_ids::front) type = 3;
  else if (id == album_art_ids::back) type = 4;
  else if (id == album_art_ids::disc) type = 6;
  else if (id == album_art_ids::icon) type = 2;
  else if (id == album_art_ids::artist) type = 8;
  else return false;
  return true;
}

bool album_art_id_from_picture_type(std::uint32_t type, GUID& id) {
  switch (type) {
    case 0: id = GUID{}; return true;
    case 1: case 2: id = album_art_ids::icon; return true;
    case 3: id = album_art_ids::front; return true;
    case 4: id = album_art_ids::back; return true;
    case 6: id = album_art_ids::disc; return true;
    case 7: case 8: case 10: id = album_art_ids::artist; return true;
    default: return false;
  }
}
