#include "metadata/tags/id3v2_stacked_tags.h"

#include <algorithm>
#include <set>
#include <string>

#include "metadata/tags/id3v2_field_mapping.h"
#include "metadata/tags/id3v2_text_encoding.h"

using id3parser::frame;
using id3parser::frame_id;

namespace {

// Frames of a version 2.2 tag took their version 2.3 forms when read.
unsigned layout_version(unsigned version) { return version == 2 ? 3 : version; }

bool is_one_of(std::uint32_t id, std::initializer_list<const char*> ids) {
  for (const char* text : ids) {
    std::uint32_t listed = 0;
    for (int i = 0; i < 4; ++i) listed = (listed << 8) | std::uint8_t(text[i]);
    if (listed == id) return true;
  }
  return false;
}

// Frames laid out alike in versions 2.3 and 2.4, with no text encoding.
bool same_in_both_versions(std::uint32_t id) {
  return (char(id >> 24) == 'W' && id != frame_id("WXXX")) ||
         is_one_of(id, {"UFID", "PRIV", "POPM", "PCNT", "MCDI", "ETCO", "MLLT", "SYTC", "RBUF", "AENC", "LINK", "POSS",
                        "ENCR", "GRID", "RVRB"});
}

std::string folded(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// What tells frames of one identifier apart where a tag may hold several:
// the description, the picture type, the owner or element named first.
std::string kind_of(const frame& f) {
  const std::string id = id3v2_frame_id_letters(f.id);
  const std::string whole(f.data.begin(), f.data.end());
  if (f.is_raw()) return char(f.id >> 24) == 'T' ? id : id + '\0' + whole;
  try {
    if (is_one_of(f.id, {"COMM", "USLT", "TXXX", "WXXX"})) return id + '\0' + folded(id3v2_text_value(f, 0, false));
    if (f.id == frame_id("APIC")) return id + '\0' + char(id3v2_parse_picture(f).type);
  } catch (const id3parser::parseError&) {
    return id + '\0' + whole;
  }
  if (is_one_of(f.id, {"UFID", "PRIV", "POPM", "AENC", "ENCR", "GRID", "LINK", "RVA2", "SIGN", "CHAP", "CTOC"}))
    return id + '\0' + whole.substr(0, whole.find('\0'));
  if (char(f.id >> 24) == 'T' || same_in_both_versions(f.id) ||
      is_one_of(f.id, {"RVAD", "EQUA", "EQU2", "SEEK", "ASPI", "IPLS", "OWNE"}))
    return id;
  return id + '\0' + whole;
}

// The fields a frame gives in its own tag's version; none for a frame
// that carries no field or cannot be read.
tag_field_map fields_of(const frame& f, unsigned version) {
  tag_field_map fields;
  try {
    id3v2_map_frame(f, version, false, fields);
  } catch (const id3parser::parseError&) {
    return tag_field_map();
  }
  return fields;
}

bool has_any_of(const tag_field_map& held, const tag_field_map& fields) {
  for (const auto& entry : fields.all())
    if (held.has(entry.first)) return true;
  return false;
}

bool bytes_are_ascii(const std::uint8_t* from, const std::uint8_t* to) {
  return std::all_of(from, to, [](std::uint8_t b) { return b < 0x80; });
}

// Text in UTF-8 that holds only ASCII reads the same as ISO-8859-1, which
// version 2.3 has.
bool ascii_utf8_as_latin1(frame& f, std::size_t text_end) {
  if (f.data.empty() || f.data[0] != 3 || !bytes_are_ascii(f.data.data() + 1, f.data.data() + text_end)) return false;
  f.data[0] = 0;
  return true;
}

// The frame in the form a tag of layout `version` holds; false when that
// version has none (the frame exists in the other version only, its parts
// are laid out by version, or its text encoding is one the version lacks).
bool into_version(frame& f, unsigned version) {
  if (f.is_raw() || is_one_of(f.id, {"CHAP", "CTOC"})) return false;
  const bool v23_only = is_one_of(f.id, {"EQUA", "IPLS", "RVAD", "TDAT", "TIME", "TORY", "TRDA", "TSIZ", "TYER"});
  const bool v24_only = is_one_of(f.id, {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN", "TDOR", "TDRC", "TDRL",
                                         "TDTG", "TIPL", "TMCL", "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"});
  if (version == 3 ? v24_only : v23_only) return false;
  if (same_in_both_versions(f.id)) return true;
  const bool is_text = char(f.id >> 24) == 'T';
  const bool has_encoding = is_text || is_one_of(f.id, {"COMM", "USLT", "APIC", "GEOB", "SYLT", "USER", "OWNE", "COMR"});
  if (!has_encoding || f.data.empty() || f.data[0] > 3) return false;
  // Every encoding and text layout of version 2.3 is one of version 2.4.
  if (version == 4) return true;
  if (is_text) {
    // Version 2.3 has no lists of values.
    try {
      if (id3v2_text_value_count(f) != (f.id == frame_id("TXXX") ? 2u : 1u)) return false;
    } catch (const id3parser::parseError&) {
      return false;
    }
    return f.data[0] <= 1 || ascii_utf8_as_latin1(f, f.data.size());
  }
  if (f.data[0] <= 1) return true;
  if (f.id == frame_id("APIC")) {
    try {
      return ascii_utf8_as_latin1(f, id3v2_parse_picture(f).data_offset);
    } catch (const id3parser::parseError&) {
      return false;
    }
  }
  if (is_one_of(f.id, {"COMM", "USLT"})) {
    id3parser::tag one;
    one.frames.push_back(f);
    id3v2_reencode_comments_for_v23(one);
    if (one.frames.empty()) return false;
    f = std::move(one.frames.front());
    return true;
  }
  return false;
}

}  // namespace

std::string id3v2_frame_id_letters(std::uint32_t id) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8)
    if (const char c = char(id >> shift)) text += c >= 0x20 && c <= 0x7E ? c : '?';
  return text;
}

void id3v2_take_stacked_tag(id3parser::tag& first, const id3parser::tag& later) {
  tag_field_map held;
  std::set<std::string> kinds;
  for (const frame& f : first.frames) {
    const tag_field_map fields = fields_of(f, first.version);
    for (const auto& [name, values] : fields.all())
      for (const std::string& value : values) held.add_value(name, value);
    kinds.insert(kind_of(f));
  }
  const unsigned version = layout_version(first.version);
  const bool same_layout = layout_version(later.version) == version;
  // A frame keeps its identifier, description and language where this
  // version has a form of it that reads as the same fields; the fields of
  // one without (a date split by version, a list this version writes
  // otherwise) are written anew, as a rewrite writes them.
  tag_field_map to_write;
  for (const frame& f : later.frames) {
    const tag_field_map fields = fields_of(f, later.version);
    if (fields.empty() ? kinds.count(kind_of(f)) != 0 : has_any_of(held, fields)) continue;
    frame taken = f;
    // A frame of version 2.2 without a later form has no form to write.
    const bool has_form = (taken.id & 0xFF) != 0 && (same_layout || into_version(taken, version));
    if (has_form && (same_layout || fields.all() == fields_of(taken, version).all())) {
      // Status flags sit at other bits in the other version.
      if (!same_layout) taken.status_flags = 0;
      first.frames.push_back(std::move(taken));
    }
    else if (!fields.empty())
      id3v2_map_frame(f, later.version, false, to_write);
    else
      first.stacked_not_taken.push_back(f.id);
  }
  if (to_write.empty()) return;
  id3parser::tag written;
  written.version = version;
  id3v2_write_options options;
  options.date_as_is = false;
  id3v2_frames_from_fields(options, written, std::move(to_write));
  for (frame& f : written.frames) first.frames.push_back(std::move(f));
}

void id3v2_refuse_losing_stacked_frames(const id3parser::tag& t) {
  if (t.stacked_damaged) throw id3parser::parseError();
  if (t.stacked_not_taken.empty()) return;
  throw exception_id3v2_stacked_frame_not_kept(id3v2_frame_id_letters(t.stacked_not_taken.front()).c_str(),
                                               layout_version(t.version));
}
