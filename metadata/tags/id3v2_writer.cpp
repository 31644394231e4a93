#include "metadata/tags/id3v2_writer.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/byte_scan.h"

namespace id3parser {

namespace {

constexpr std::uint64_t size_limit = 0x10000000;
constexpr std::uint64_t default_padding = 2048;

bool is_writable_id(std::uint32_t id) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = char(id >> shift);
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

void append_id(byte_vector& out, std::uint32_t id) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(id >> shift));
}

const std::uint8_t* next_ff(const std::uint8_t* from, const std::uint8_t* end) {
  const std::uint8_t* ff = qiv::find_byte(from, end, 0xFF);
  return ff == end ? nullptr : ff;
}

bool needs_unsync(const byte_vector& payload) {
  const std::uint8_t* end = payload.data() + payload.size();
  for (const std::uint8_t* ff = next_ff(payload.data(), end); ff != nullptr; ff = next_ff(ff + 1, end))
    if (ff + 1 == end || (ff[1] & 0xE0) == 0xE0) return true;
  return false;
}

// Copies the runs between FF bytes whole: a picture holds few of them.
void append_unsynchronised(byte_vector& out, const byte_vector& payload) {
  const std::uint8_t* from = payload.data();
  const std::uint8_t* end = from + payload.size();
  while (from < end) {
    const std::uint8_t* ff = next_ff(from, end);
    const std::uint8_t* stop = ff ? ff + 1 : end;
    out.insert(out.end(), from, stop);
    if (ff && (stop == end || (*stop & 0xE0) == 0xE0 || *stop == 0)) out.push_back(0);
    from = stop;
  }
}

void write_frame_v3(byte_vector& out, const frame& f) {
  append_id(out, f.id);
  append_u32_be(out, f.data.size());
  out.push_back(f.is_raw() ? f.raw_status_flags : f.status_flags);
  out.push_back(f.is_raw() ? f.raw_format_flags : 0);
  out.insert(out.end(), f.data.begin(), f.data.end());
}

void write_frame_v4(byte_vector& out, const frame& f) {
  append_id(out, f.id);
  std::uint8_t form = f.v24_form;
  if (f.is_raw()) form = 0;
  else if (form == frame::form_as_needed) form = needs_unsync(f.data) ? 0x03 : 0x00;
  if (form == 0) {
    append_syncsafe(out, f.data.size());
    out.push_back(f.is_raw() ? f.raw_status_flags : f.status_flags);
    out.push_back(f.is_raw() ? f.raw_format_flags : 0);
    out.insert(out.end(), f.data.begin(), f.data.end());
    return;
  }
  // The size goes before the payload but is known only after it: a
  // placeholder, filled in once the payload is written in place.
  const std::size_t size_at = out.size();
  out.insert(out.end(), {0, 0, 0, 0, f.status_flags, form});
  if (form & 0x01) append_syncsafe(out, f.data.size());
  if (form & 0x02)
    append_unsynchronised(out, f.data);
  else
    out.insert(out.end(), f.data.begin(), f.data.end());
  byte_vector size;
  append_syncsafe(size, std::uint64_t(out.size() - size_at - 6));
  std::copy(size.begin(), size.end(), out.begin() + std::ptrdiff_t(size_at));
}

// About what the frames take, unsynchronisation included: the tag is made
// in one allocation instead of one per doubling.
std::size_t frames_capacity(const tag& t) {
  std::size_t bytes = 0;
  for (const frame& f : t.frames) bytes += 14 + f.data.size() + f.data.size() / 64;
  return bytes;
}

}  // namespace

void append_syncsafe(byte_vector& out, std::uint64_t value) {
  if (value >= size_limit) throw writeError();
  for (int shift = 21; shift >= 0; shift -= 7) out.push_back(std::uint8_t((value >> shift) & 0x7F));
}

void append_u32_be(byte_vector& out, std::uint64_t value) {
  if (value >= size_limit) throw writeError();
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

void write_tag(byte_vector& out, const tag& t, std::uint64_t room, std::uint64_t max_padding) {
  if (t.version != 3 && t.version != 4) throw writeError();
  // The frames go straight behind the header, whose size is filled in once
  // they are all written: no second buffer for a tag that holds a picture.
  const std::size_t header_at = out.size();
  const std::uint64_t expected = std::max<std::uint64_t>(10 + frames_capacity(t) + default_padding, room);
  out.reserve(header_at + std::size_t(std::min<std::uint64_t>(expected, size_limit)));
  out.insert(out.end(), {'I', 'D', '3', std::uint8_t(t.version), 0, 0, 0, 0, 0, 0});
  for (const frame& f : t.frames) {
    if (!is_writable_id(f.id)) continue;
    if (f.is_raw() && f.raw_version != t.version) continue;
    if (t.version == 3)
      write_frame_v3(out, f);
    else
      write_frame_v4(out, f);
  }
  const std::uint64_t frames_length = out.size() - header_at - 10;
  const std::uint64_t needed = frames_length + 10;
  std::uint64_t padding;
  if (needed <= room && room - needed <= max_padding)
    padding = room - needed;
  else
    padding = max_padding < default_padding ? max_padding : default_padding;
  const std::uint64_t size = frames_length + padding;
  if (size > 0xFFFFFFFFull) throw std::overflow_error("overflow");
  byte_vector size_bytes;
  append_syncsafe(size_bytes, size);
  std::copy(size_bytes.begin(), size_bytes.end(), out.begin() + std::ptrdiff_t(header_at + 6));
  out.insert(out.end(), std::size_t(padding), 0);
}

}  // namespace id3parser
