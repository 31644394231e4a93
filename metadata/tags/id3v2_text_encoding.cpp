#include "metadata/tags/id3v2_text_encoding.h"

#include <algorithm>
#include <vector>

#include "foundation/code_page_text.h"
#include "foundation/utf8.h"

using id3parser::frame;
using id3parser::frame_id;
using id3parser::parseError;

namespace {

bool has_language(const frame& f) { return f.id == frame_id("COMM") || f.id == frame_id("USLT"); }

std::size_t unit_size(std::uint8_t encoding) { return encoding == 1 || encoding == 2 ? 2 : 1; }

bool is_terminator(const std::uint8_t* p, std::size_t unit) { return unit == 1 ? p[0] == 0 : (p[0] == 0 && p[1] == 0); }

// Up to the first zero unit: a string of a list takes room for itself, not
// for the strings behind it.
std::string decode_utf16(const std::uint8_t* bytes, std::size_t units, bool swap) {
  std::size_t length = 0;
  while (length < units && (bytes[2 * length] != 0 || bytes[2 * length + 1] != 0)) ++length;
  std::wstring text(length, L'\0');
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t lo = bytes[2 * i], hi = bytes[2 * i + 1];
    text[i] = swap ? wchar_t((lo << 8) | hi) : wchar_t((hi << 8) | lo);
  }
  return qiv::utf16_to_utf8(text.data(), text.size());
}

struct text_layout {
  std::uint8_t encoding;
  std::size_t start;  // first byte of the strings
};

text_layout layout_of(const frame& f) {
  const std::size_t prefix = has_language(f) ? 4 : 1;
  if (f.data.size() < prefix) throw parseError();
  if (f.data[0] > 3) throw parseError();
  return {f.data[0], prefix};
}

void append_encoded(id3parser::byte_vector& out, const std::string& text, std::uint8_t encoding) {
  switch (encoding) {
    case 0: {
      const std::string ascii = qiv::utf8_to_code_page(text.data(), text.size(), qiv::code_page_us_ascii);
      out.insert(out.end(), ascii.begin(), ascii.end());
      out.push_back(0);
      break;
    }
    case 1: {
      const std::wstring wide = qiv::utf8_to_utf16(text.data(), text.size());
      out.push_back(0xFF);
      out.push_back(0xFE);
      for (wchar_t unit : wide) {
        out.push_back(std::uint8_t(unit & 0xFF));
        out.push_back(std::uint8_t(unit >> 8));
      }
      out.push_back(0);
      out.push_back(0);
      break;
    }
    case 3:
      out.insert(out.end(), text.begin(), text.end());
      out.push_back(0);
      break;
    default:
      throw id3parser::writeError();
  }
}

bool text_is_ascii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string id3v2_decode_text(const std::uint8_t* bytes, std::size_t length, std::uint8_t encoding, bool strict) {
  switch (encoding) {
    case 0:
    case 3: {
      const std::size_t end = std::find(bytes, bytes + length, 0) - bytes;
      const char* text = reinterpret_cast<const char*>(bytes);
      if (encoding == 3 && qiv::is_valid_utf8(text, end)) return std::string(text, end);
      // Any bytes are ISO-8859-1 text, read as other taggers wrote them:
      // only UTF-8 that does not decode breaks the rules.
      if (strict && encoding == 3) throw parseError();
      return qiv::code_page_to_utf8(text, end, qiv::code_page_ansi);
    }
    case 1: {
      const std::size_t units = length / 2;
      if (units == 0 || (bytes[0] == 0 && bytes[1] == 0)) return {};
      if (bytes[0] == 0xFF && bytes[1] == 0xFE) return decode_utf16(bytes + 2, units - 1, false);
      if (bytes[0] == 0xFE && bytes[1] == 0xFF) return decode_utf16(bytes + 2, units - 1, true);
      if (strict) throw parseError();
      return decode_utf16(bytes, units, false);
    }
    case 2:
      return decode_utf16(bytes, length / 2, true);
    default:
      throw parseError();
  }
}

std::uint32_t id3v2_text_value_count(const frame& f) {
  const text_layout layout = layout_of(f);
  const std::size_t unit = unit_size(layout.encoding);
  const std::uint8_t* data = f.data.data();
  const std::size_t size = f.data.size();
  std::uint32_t count = 0;
  std::size_t pos = layout.start;
  bool ends_with_terminator = false;
  for (; pos + unit <= size; pos += unit) {
    ends_with_terminator = is_terminator(data + pos, unit);
    if (ends_with_terminator) ++count;
  }
  if (!ends_with_terminator) ++count;
  return count;
}

std::uint32_t id3v2_text_value_count_without_trailing_empties(const frame& f) {
  const text_layout layout = layout_of(f);
  const std::size_t unit = unit_size(layout.encoding);
  const std::uint8_t* data = f.data.data();
  std::size_t end = layout.start + (f.data.size() - layout.start) / unit * unit;
  while (end > layout.start && is_terminator(data + end - unit, unit)) end -= unit;
  if (end == layout.start) return 0;
  std::uint32_t count = 1;
  for (std::size_t pos = layout.start; pos < end; pos += unit)
    if (is_terminator(data + pos, unit)) ++count;
  return count;
}

id3v2_text_strings::id3v2_text_strings(const frame& f, std::uint32_t first)
    : data_(f.data.data()), size_(f.data.size()) {
  const text_layout layout = layout_of(f);
  encoding_ = layout.encoding;
  unit_ = unit_size(layout.encoding);
  position_ = layout.start;
  for (std::uint32_t i = 0; i < first; ++i) skip();
}

std::string id3v2_text_strings::next(bool strict) {
  if (started_) skip();
  started_ = true;
  return read(strict);
}

std::string id3v2_text_strings::read(bool strict) const {
  if (position_ > size_) throw parseError();
  return id3v2_decode_text(data_ + position_, size_ - position_, encoding_, strict);
}

void id3v2_text_strings::skip() {
  while (position_ + unit_ <= size_ && !is_terminator(data_ + position_, unit_)) position_ += unit_;
  if (position_ + unit_ > size_) {
    // The empty strings a run of terminators held follow the last string,
    // so that every string the count gives can be read.
    if (empty_strings_left_ == 0) throw parseError();
    --empty_strings_left_;
    position_ = size_;
    return;
  }
  position_ += unit_;
  // A run of terminators separates like one.
  for (; position_ + unit_ <= size_ && is_terminator(data_ + position_, unit_); position_ += unit_)
    ++empty_strings_left_;
}

std::string id3v2_text_value(const frame& f, std::uint32_t index, bool strict) {
  return id3v2_text_strings(f, index).next(strict);
}

std::string id3v2_url_value(const frame& f) {
  return id3v2_decode_text(f.data.data(), f.data.size(), 0, false);
}

std::string id3v2_wxxx_url(const frame& f) {
  if (f.data.empty() || f.data[0] > 3) throw parseError();
  const std::size_t unit = unit_size(f.data[0]);
  std::size_t pos = 1;
  while (pos + unit <= f.data.size() && !is_terminator(f.data.data() + pos, unit)) pos += unit;
  if (pos + unit > f.data.size()) throw parseError();
  pos += unit;
  if (pos >= f.data.size()) throw parseError();
  return id3v2_decode_text(f.data.data() + pos, f.data.size() - pos, 0, false);
}

void id3v2_set_text(frame& f, const std::string& text, std::uint8_t encoding) {
  id3parser::byte_vector payload;
  payload.push_back(encoding);
  if (has_language(f)) payload.insert(payload.end(), {'e', 'n', 'g'});
  append_encoded(payload, text, encoding);
  f.data = std::move(payload);
}

void id3v2_append_text(frame& f, const std::string& text) {
  if (f.data.empty()) throw parseError();
  const std::uint8_t encoding = f.data[0];
  if (encoding != 0 && encoding != 1 && encoding != 3) throw parseError();
  append_encoded(f.data, text, encoding);
}

void id3v2_set_url(frame& f, const std::string& url) {
  const std::string latin1 = qiv::utf8_to_code_page(url.data(), url.size(), qiv::code_page_latin1);
  f.data.assign(latin1.begin(), latin1.end());
}

void id3v2_set_ascii_text(frame& f, const std::string& text, std::uint8_t fallback_encoding) {
  id3v2_set_text(f, text, text_is_ascii(text) ? 0 : fallback_encoding);
}

id3v2_picture id3v2_parse_picture(const frame& f) {
  if (f.id != frame_id("APIC") || f.data.empty()) throw parseError();
  const std::uint8_t encoding = f.data[0];
  if (encoding > 3) throw parseError();
  const std::uint8_t* data = f.data.data();
  const std::size_t size = f.data.size();
  const std::uint8_t* mime_end = std::find(data + 1, data + size, 0);
  if (mime_end == data + size) throw parseError();
  std::size_t pos = (mime_end - data) + 1;
  if (pos >= size) throw parseError();
  id3v2_picture picture;
  picture.type = data[pos] > 20 ? 0 : data[pos];
  ++pos;
  const std::size_t unit = unit_size(encoding);
  while (pos + unit <= size && !is_terminator(data + pos, unit)) pos += unit;
  if (pos + unit > size) throw parseError();
  pos += unit;
  if (pos >= size) throw parseError();
  picture.data_offset = pos;
  picture.data_length = size - pos;
  return picture;
}

void id3v2_downgrade_frames(id3parser::tag& t, unsigned version) {
  std::vector<frame> kept;
  for (frame& f : t.frames) {
    if (f.is_raw() ? f.raw_version == version : f.id == frame_id("APIC") || has_language(f))
      kept.push_back(std::move(f));
  }
  t.frames = std::move(kept);
  if (version < 4) id3v2_reencode_comments_for_v23(t);
}

void id3v2_reencode_comments_for_v23(id3parser::tag& t) {
  std::vector<frame> kept;
  for (frame& f : t.frames) {
    if (f.is_raw() || !has_language(f) || (!f.data.empty() && f.data[0] <= 1)) {
      kept.push_back(std::move(f));
      continue;
    }
    try {
      const std::uint32_t count = id3v2_text_value_count(f);
      id3v2_text_strings strings(f);
      frame converted;
      converted.id = f.id;
      id3v2_set_text(converted, strings.next(false), 1);
      for (std::uint32_t i = 1; i < count; ++i) id3v2_append_text(converted, strings.next(false));
      std::copy(f.data.begin() + 1, f.data.begin() + 4, converted.data.begin() + 1);
      kept.push_back(std::move(converted));
    } catch (const parseError&) {
    }
  }
  t.frames = std::move(kept);
}
