// One track of an MP4 file: what its sample description says and the tables
// that place each of its samples in the file and in time. Filled while the
// file is parsed (or by the merge of its movie fragments) and read-only
// afterwards; counted, so sample iterators can keep it alive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/refcounted.h"

namespace tarnex {

// The sample-entry kinds recognised in a sample description.
enum track_kind : std::uint32_t {
  kind_none = 1,
  kind_aac = 2,      // "mp4a"
  kind_ac3 = 3,      // "ac-3"
  kind_alac = 4,     // "alac"
  kind_mpeg4_video = 5,  // "mp4v"
  kind_avc = 6,      // "avc1"
  kind_amr = 8,      // "samr", "damr"
  kind_amr_wb = 9,   // "sawp"
};

inline bool is_audio_kind(std::uint32_t kind) {
  return kind == kind_aac || kind == kind_ac3 || kind == kind_alac || kind == kind_amr || kind == kind_amr_wb;
}
inline bool is_video_kind(std::uint32_t kind) { return kind == kind_mpeg4_video || kind == kind_avc; }

// The tables below are read from the file as arrays of big-endian 32-bit
// words, one record after another.
struct time_to_sample_entry {
  std::uint32_t sample_count;
  std::uint32_t duration;
};

struct sample_to_chunk_entry {
  std::uint32_t first_chunk;  // counted from 1
  std::uint32_t samples_per_chunk;
  std::uint32_t description_index;
};

struct composition_offset_entry {
  std::uint32_t sample_count;
  std::uint32_t offset;
};

inline constexpr std::uint64_t duration_not_given = ~std::uint64_t(0);

// The part of the media a track presents: from media_time (in the media time
// scale) for duration (in the movie time scale; 0: to the end of the media).
struct track_edit {
  std::uint64_t media_time = 0;
  std::uint64_t duration = 0;
};

class mp4_track final : public qiv::refcounted_object {
public:
  std::uint32_t kind = kind_none;
  std::uint32_t channels = 0;
  std::uint32_t bits_per_sample = 0;
  std::uint16_t sample_rate = 0;
  std::uint32_t object_type = 0;  // of an "mp4a" entry's decoder configuration
  std::uint32_t stream_priority = 0;

  // The total of the time-to-sample runs.
  std::uint32_t sample_count = 0;
  // Non-zero: every sample has this size and sample_sizes is empty.
  std::uint32_t fixed_sample_size = 0;
  std::vector<std::uint32_t> sample_sizes;
  // The size table ends before the sizes it announces (a write cut off):
  // it holds the sizes of the first samples only.
  bool sample_sizes_cut = false;
  std::vector<time_to_sample_entry> time_to_sample;
  bool has_time_to_sample = false;
  std::vector<sample_to_chunk_entry> sample_to_chunk;
  std::vector<std::uint64_t> chunk_offsets;
  std::vector<composition_offset_entry> composition_offsets;
  std::vector<std::uint32_t> sync_samples;  // counted from 0

  // The packet codec's set-up: the decoder-specific information of "esds",
  // the whole "alac" payload or the parameter sets of "avcC".
  std::vector<std::uint8_t> decoder_setup;
  std::vector<std::uint8_t> esds_payload;

  std::uint32_t max_bitrate = 0;
  std::uint32_t average_bitrate = 0;
  std::uint32_t time_scale = 0;
  std::uint64_t media_duration = duration_not_given;
  std::uint32_t video_width = 0;
  std::uint32_t video_height = 0;

  // The first edit that shows media; none when the track has no edit list.
  std::optional<track_edit> edit;

  // The track's ID from its header; 0 when the file gave none.
  std::uint32_t track_id = 0;

  // The size of sample n; exception_out_of_range beyond the size table.
  std::uint32_t sample_size(std::uint32_t n) const;
};

using track_ptr = qiv::ref_ptr<mp4_track>;

}  // namespace tarnex
