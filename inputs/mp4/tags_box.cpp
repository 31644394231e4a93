#include "inputs/mp4/tags_box.h"

#include "foundation/exceptions.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/child_boxes.h"
#include "inputs/mp4/cover_art_limit.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

constexpr std::uint32_t max_field_count = 65535;
constexpr std::uint32_t max_value_bytes = 1048575;
constexpr std::uint32_t max_chapter_index = 1000;

void read_field_set(tag_fields& out, mp4_atom_reader& in, std::uint64_t size) {
  const std::uint32_t count = read_u32(in);
  if (count > max_field_count) throw exception("suspiciously big field count (exploit attempt?)");
  if (count == 0) {
    if (size != 4) throw exception("false null meta atom");
    return;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t flags = read_u8(in);
    const std::uint8_t reserved = read_u8(in);
    const std::string name = read_sized_text(in, read_u8(in));
    const std::uint16_t values = read_u16(in);
    const bool multi_valued = flags == 1 || (flags & 0x80) != 0;
    const bool skipped = reserved != 0 || (flags != 1 && (flags & 0x7F) != 0);
    tag_fields::entry entry;
    entry.multi_valued = multi_valued;
    for (std::uint16_t v = 0; v < values; ++v) {
      const std::uint32_t length = read_u32(in);
      if (length > max_value_bytes) throw exception("suspiciously long value (exploit attempt?)");
      entry.values.push_back(read_sized_text(in, length));
    }
    if (skipped || entry.values.empty()) continue;
    out.set(name, entry);
  }
}

// What the box cannot hold, or its reader would refuse, refuses the write:
// cut short, a field would lose values or the next reading fail.
void write_field_set(const tag_fields& fields, byte_buffer& out) {
  if (fields.size() > max_field_count) qiv::throw_overflow();
  append_u32(out, std::uint32_t(fields.size()));
  for (const auto& [name, entry] : fields.entries()) {
    if (name.size() > 255 || entry.values.size() > 65535) qiv::throw_overflow();
    append_u8(out, entry.multi_valued ? 0x80 : 0);
    append_u8(out, 0);
    append_u8(out, std::uint32_t(name.size()));
    out += name;
    append_u16(out, std::uint32_t(entry.values.size()));
    for (const std::string& value : entry.values) {
      if (value.size() > max_value_bytes) qiv::throw_overflow();
      append_u32(out, std::uint32_t(value.size()));
      out += value;
    }
  }
}

cover_picture picture_of(const char* kind, std::uint32_t index, std::string bytes) {
  cover_picture picture;
  picture.kind = kind;
  picture.index = index;
  picture.bytes = std::move(bytes);
  return picture;
}

// The older picture box: one picture, or a flags word saying whether the
// first pictures are the front and back covers, the rest booklet pages.
void read_legacy_covers(std::vector<cover_picture>& out, mp4_atom_reader& in, std::uint64_t size) {
  if (size < 4) throw exception("invalid cover atom size");
  std::uint8_t head[2];
  in.read_exact(head, 2);
  if (head[0] != 0 || head[1] != 0) {
    std::string bytes(reinterpret_cast<const char*>(head), 2);
    out.push_back(picture_of("front cover", 0, bytes + read_sized_text(in, size - 2)));
    return;
  }
  const std::uint32_t flags = read_u16(in);
  const std::uint32_t count = read_u32(in);
  bool front = (flags & 0x02) != 0, back = (flags & 0x04) != 0;
  std::uint32_t booklet = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t bytes = read_u32(in);
    if (bytes > max_picture_bytes) throw exception("cover art too big");
    std::string data = read_sized_text(in, bytes);
    if (front) {
      out.push_back(picture_of("front cover", 0, std::move(data)));
      front = false;
    } else if (back) {
      out.push_back(picture_of("back cover", 0, std::move(data)));
      back = false;
    } else {
      out.push_back(picture_of("booklet", booklet++, std::move(data)));
    }
  }
}

void read_pictures(std::vector<cover_picture>& out, mp4_atom_reader& in) {
  if (read_u32(in) != 0) return;  // a later version this reader does not know
  out.clear();
  const std::uint32_t count = read_u32(in);
  for (std::uint32_t i = 0; i < count; ++i) {
    cover_picture picture;
    picture.kind = read_sized_text(in, read_u16(in));
    picture.index = read_u16(in);
    const std::uint32_t bytes = read_u32(in);
    if (bytes > max_picture_bytes) throw exception("cover art too big");
    picture.bytes = read_sized_text(in, bytes);
    out.push_back(std::move(picture));
  }
}

void write_pictures(const std::vector<cover_picture>& pictures, byte_buffer& out) {
  append_u32(out, 0);
  append_u32(out, std::uint32_t(pictures.size()));
  for (const cover_picture& picture : pictures) {
    if (picture.kind.size() > 65535 || picture.index > 65535 || picture.bytes.size() > max_picture_bytes)
      qiv::throw_overflow();
    append_u16(out, std::uint32_t(picture.kind.size()));
    out += picture.kind;
    append_u16(out, picture.index);
    append_u32(out, std::uint32_t(picture.bytes.size()));
    out += picture.bytes;
  }
}

void read_segment(tags_content& out, mp4_atom_reader& in, std::uint64_t size) {
  tags_segment segment;
  bool indexed = false;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (type == fourcc("tshd")) {
      if (indexed) throw exception("duplicated tshd atom");
      if (child_size != 4) throw exception("invalid tshd atom");
      segment.chapter = read_u32(child);
      if (segment.chapter > max_chapter_index) throw exception("invalid chapter number in tshd");
      indexed = true;
    } else if (type == fourcc("meta")) {
      read_field_set(segment.fields, child, child_size);
    }
  });
  if (!indexed) throw exception("tseg didn't specify chapter index");
  out.segments.push_back(std::move(segment));
}

}  // namespace

void read_tags_box(tags_content& out, mp4_atom_reader& in, std::uint64_t size, std::uint32_t options) {
  const bool tags = (options & option_read_tags) != 0, pictures = (options & option_read_pictures) != 0;
  read_child_boxes(in, size, [&](std::uint32_t type, mp4_atom_reader& child, std::uint64_t child_size) {
    if (type == fourcc("meta") && tags)
      read_field_set(out.fields, child, child_size);
    else if (type == fourcc("tseg") && tags)
      read_segment(out, child, child_size);
    else if (type == fourcc("tshd"))
      throw exception("tshd atom not expected here");
    else if (type == fourcc("covr") && pictures)
      read_legacy_covers(out.pictures, child, child_size);
    else if (type == fourcc("cvrx") && pictures)
      read_pictures(out.pictures, child);
  });
}

void write_tags_box(const tags_content& content, byte_buffer& out) {
  if (!content.fields.empty()) {
    byte_buffer meta;
    write_field_set(content.fields, meta);
    append_box(out, fourcc("meta"), meta);
  }
  if (!content.pictures.empty()) {
    byte_buffer pictures;
    write_pictures(content.pictures, pictures);
    append_box(out, fourcc("cvrx"), pictures);
  }
  for (const tags_segment& segment : content.segments) {
    byte_buffer payload, header;
    append_u32(header, segment.chapter);
    append_box(payload, fourcc("tshd"), header);
    if (!segment.fields.empty()) {
      byte_buffer meta;
      write_field_set(segment.fields, meta);
      append_box(payload, fourcc("meta"), meta);
    }
    append_box(out, fourcc("tseg"), payload);
  }
}

}  // namespace tarnex
