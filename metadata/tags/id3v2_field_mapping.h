// Which ID3v2 frame carries which track field, both ways. Reading turns the
// frames of a tag into fields; writing rebuilds the frame list from fields,
// keeping byte for byte every old frame that already says what the fields
// say, and turning fields no standard frame holds into user-defined frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/tags/id3v2_tag.h"
#include "metadata/tags/tag_field_map.h"

// Maps one frame; strict mode raises id3parser::parseError for frames that
// break the rules of the tag's version.
void id3v2_map_frame(const id3parser::frame& f, unsigned version, bool strict, tag_field_map& fields);

// The field a frame of this id gives ("TCON" gives "genre", "TRCK"
// "tracknumber"); null for "TXXX", whose description names its field, and
// for ids that give none.
const char* id3v2_field_of_frame_id(std::uint32_t id);

// Every frame in list order; a frame that fails to map is skipped.
void id3v2_fields_from_frames(const id3parser::tag& t, tag_field_map& fields);

// True for a "COMM" frame described "iTunSMPB" that holds a sample count.
bool id3v2_parse_itunsmpb(const id3parser::frame& f, std::uint64_t& encoder_delay, std::uint64_t& sample_count);

struct id3v2_write_options {
  std::uint8_t encoding = 3;  // the preference: 3 UTF-8, 1 UTF-16 with mark
  bool date_as_is = true;     // a version 2.3 "date" goes whole into TYER
  bool no_rating = false;
};

// Rebuilds the tag's frames for `fields`, each where the frame it replaces
// stood (id3v2_frame_order.h); a tag of another version than 3 or 4 becomes
// version 3 first. The frames of a field whose values read as before stay
// byte for byte (a version 2.3 list of NUL-separated strings too); a
// changed field's values go back to the kinds of frame they came from (a
// standard frame, a user-defined one) where they can. A frame that gives no
// field (one the reading cannot decode, or that holds only empty strings)
// stays, since other programs may read it, until the edit writes a field in
// its place: a comment, lyrics or rating frame the reading cannot decode
// then goes too. A changed rating goes into the rating byte of every rating
// frame the tag holds, keeping their e-mails and play counts; only a tag
// without one gets the player's own. A version 2.2 tag with a frame that
// version 2.3 has no form for is refused (exception_id3v22_frame_not_kept).
// The frames, values and old places the rebuild looks at count as work
// steps (foundation/work_steps.h): linear in the tag's size.
void id3v2_frames_from_fields(const id3v2_write_options& options, id3parser::tag& t, tag_field_map fields);


// "#" matches one ASCII digit, any other character itself; the whole value
// must match ("####-##-##" for a full date).
bool id3v2_date_pattern_matches(const std::string& value, const char* pattern);

// "rating[2]" gives "rating": the trailing index some taggers append to
// user-defined frame names.
std::string id3v2_strip_trailing_index(const std::string& name);
