#include "metadata/tags/id3v1_behind_id3v2.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "metadata/tags/id3v2_reader.h"
#include "metadata/tags/id3v2_text_encoding.h"

namespace {

// The block's fields by their bytes, with the frame that stands for each
// where readers fill the ID3v2 tag's gaps from the block.
struct block_field {
  std::size_t begin, end;
  std::uint32_t frame;  // 0: no frame hides it
};

constexpr std::uint32_t year_frame = 1;  // TYER in version 2.3, TDRC in 2.4

constexpr std::uint32_t frames_of_block_fields[] = {
    id3parser::frame_id("TIT2"), id3parser::frame_id("TPE1"), id3parser::frame_id("TALB"), id3parser::frame_id("TYER"),
    id3parser::frame_id("TDRC"), id3parser::frame_id("TRCK"), id3parser::frame_id("TCON")};

class block_field_frames final : public id3parser::frame_filter {
public:
  bool accept(std::uint32_t id) override {
    return std::find(std::begin(frames_of_block_fields), std::end(frames_of_block_fields), id) !=
           std::end(frames_of_block_fields);
  }
};

bool holds_value(const id3parser::tag& tag, std::uint32_t id) {
  if (id == year_frame) {
    // Readers match the block's year to the frame of the tag's own
    // version; a year kept in the other one is no year to them.
    if (tag.version == 3) id = id3parser::frame_id("TYER");
    else if (tag.version == 4) id = id3parser::frame_id("TDRC");
    else return false;
  }
  // A version 2.2 tag's frames go by other names, under which no reader
  // looks for the block's fields.
  if (id == 0 || tag.version < 3) return false;
  return std::any_of(tag.frames.begin(), tag.frames.end(), [&](const id3parser::frame& f) {
    return f.id == id && !f.is_raw() && !id3v2_text_value(f, 0, false).empty();
  });
}

}  // namespace

bool id3v1_change_hidden_behind(const std::uint8_t* leading, std::size_t leading_size, const id3v1_block& before,
                                const id3v1_block& after) {
  id3parser::tag tag;
  try {
    block_field_frames filter;
    id3parser::memory_reader reader(leading, leading_size);
    id3parser::read_tag(reader, filter, tag);
  } catch (const id3parser::parseError&) {
    return false;
  }
  // A comment that fills 30 bytes takes the bytes of the track number.
  const bool track_byte = before[125] == 0 && after[125] == 0;
  const block_field fields[] = {
      {0, 3, 0},
      {3, 33, id3parser::frame_id("TIT2")},
      {33, 63, id3parser::frame_id("TPE1")},
      {63, 93, id3parser::frame_id("TALB")},
      {93, 97, year_frame},
      {97, track_byte ? 125u : 127u, 0},
      {125, track_byte ? 127u : 125u, id3parser::frame_id("TRCK")},
      {127, 128, id3parser::frame_id("TCON")},
  };
  try {
    for (const block_field& field : fields) {
      if (field.begin >= field.end) continue;
      const std::size_t length = field.end - field.begin;
      if (std::memcmp(before.data() + field.begin, after.data() + field.begin, length) == 0) continue;
      if (!holds_value(tag, field.frame)) return false;
    }
  } catch (const id3parser::parseError&) {
    return false;
  }
  return true;
}
