// The ID3v2 tag at the start of a file, as a track's fields: reading it,
// writing fields back (over the old tag when the new one fills its room
// exactly, else by rewriting the file behind a new tag), and the picture
// types of album art.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "io/retag_through_temp_file.h"
#include "metadata/tags/id3v2_reader.h"

class track_info;

class id3v2_tag_service : public service_object {
public:
  static constexpr GUID class_guid = {0x25B0D20D, 0x9BA3, 0x4A7B, {0x8D, 0x0E, 0x89, 0xFA, 0xF7, 0x5F, 0x91, 0x6F}};
  using service_parent = service_object;

  // exception_tag_not_found without a tag; id3parser::parseError for a
  // damaged one.
  virtual void read(vantrel_io::file_object& file, track_info& info, const abort_signal& abort) = 0;
  // Changes the file in place only where that is safe (tag_region_update.h),
  // else refuses with exception_no_safe_rewrite: it has no temporary file.
  virtual void write(vantrel_io::file_ptr& file, const track_info& info, const abort_signal& abort) = 0;
  // As write, but a rewrite goes into the file `target` hands out (the
  // caller then commits it in place of the file); when `target` gives none,
  // as write. A damaged old tag is not written over: id3parser::parseError.
  virtual void write_via(retag_temp_source& target, vantrel_io::file_ptr& file, const track_info& info,
                         const abort_signal& abort) = 0;

protected:
  ~id3v2_tag_service() = default;
};

// Reads the first leading tag with `filter`, the frames of the tags stacked
// behind it taken in (id3v2_stacked_tags.h); `total_size` receives the
// length of every stacked leading tag together, so that a rewrite replaces
// them all. False when the file starts with no tag. `raw`, when given,
// receives the file's first `total_size` bytes.
bool id3v2_read_tag_from_file(vantrel_io::file_object& file, id3parser::frame_filter& filter, id3parser::tag& out,
                              std::uint64_t& total_size, const abort_signal& abort,
                              std::vector<std::uint8_t>* raw = nullptr);

// The leading tags as a writer finds them: the first tag with every frame,
// pictures included, those of the stacked tags taken in, and the run of
// stacked tags as it stands in the file.
struct id3v2_leading_tags {
  id3parser::tag tag;
  std::uint64_t length = 0;         // of the whole run; 0 when the file starts with no tag
  std::vector<std::uint8_t> bytes;  // the file's first `length` bytes
};

// Reads them in one pass: what a writer needs and the fields a reader gets.
// A damaged tag is id3parser::parseError.
void id3v2_read_leading_tags(vantrel_io::file_object& file, id3v2_leading_tags& out, const abort_signal& abort);

// The tag's fields, ReplayGain values and "tagtype" into `info`, as the
// service's read gives them: pictures are no fields.
void id3v2_tag_to_info(const id3parser::tag& tag, track_info& info);

// The tag a write puts at the start of a file: the old tag's frames that
// the info does not replace carried over, each frame where the one it
// replaces stood (id3v2_frame_order.h). `bytes` fills the old room when it
// can; when it fills it, `for_rewrite` is the same tag laid out for a file
// rewritten whole (empty when no different).
struct id3v2_rendered_tag {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> for_rewrite;
};

// For `file`, with in `old_length` the length of the leading tags it
// replaces. A damaged old tag is id3parser::parseError.
id3v2_rendered_tag id3v2_render_for_file(vantrel_io::file_object& file, const track_info& info,
                                         std::uint64_t& old_length, const abort_signal& abort);
// The same from the old tag and the length of the leading tags, read before.
id3v2_rendered_tag id3v2_render(id3parser::tag tag, std::uint64_t room, const track_info& info);
// The frames alone, for a tag placed anew in another container.
id3parser::tag id3v2_tag_for_info(id3parser::tag tag, const track_info& info);

// The encoder delay and sample count of an "iTunSMPB" comment, if any.
bool id3v2_find_itunsmpb_comment(vantrel_io::file_object& file, const abort_signal& abort,
                                 std::uint64_t& encoder_delay, std::uint64_t& sample_count);

// Album-art kinds and the picture types of ID3v2 (and FLAC) pictures.
namespace album_art_ids {
inline constexpr GUID front = {0xF1E66F4E, 0xFE09, 0x4B94, {0x91, 0xA3, 0x67, 0xC2, 0x3E, 0xD1, 0x44, 0x5E}};
inline constexpr GUID back = {0xCB552D19, 0x86D5, 0x434C, {0xAC, 0x77, 0xBB, 0x24, 0xED, 0x56, 0x7E, 0xE4}};
inline constexpr GUID disc = {0x3DBA9F36, 0xF928, 0x4FA4, {0x87, 0x9C, 0xD3, 0x40, 0x47, 0x59, 0x58, 0x7E}};
inline constexpr GUID icon = {0x74CDF5B4, 0x7053, 0x4B3D, {0x9A, 0x3C, 0x54, 0x69, 0xF5, 0x82, 0x6E, 0xEC}};
inline constexpr GUID artist = {0x9A654042, 0xACD1, 0x43F7, {0xBF, 0xCF, 0xD3, 0xEC, 0x0F, 0xFE, 0x40, 0xFA}};
}  // namespace album_art_ids

bool picture_type_from_album_art_id(const GUID& id, std::uint32_t& type);
// Type 0 gives the null GUID; types without a kind (5, 9, above 10) answer false.
bool album_art_id_from_picture_type(std::uint32_t type, GUID& id);
