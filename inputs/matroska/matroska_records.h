// The records of one opened Matroska or WebM file, as the element handlers
// fill them. Defaults are those of a field that was not read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Matroska {

inline constexpr std::uint32_t matroska_track_type_audio = 2;

struct matroska_content_encoding {
  std::uint64_t order = 0;
  std::uint64_t scope = 1;  // bit 1: frame data, bit 2: codec private data
  std::uint64_t type = 0;   // 0: compression, 1: encryption
  std::uint64_t compression_algorithm = 0;  // 3: header stripping
  // For header stripping: the bytes removed from the front of every frame.
  std::vector<std::uint8_t> compression_settings;
};

struct matroska_audio_settings {
  // 0.0 when absent, or when the file's value is no usable rate.
  double sampling_frequency = 0.0;
  double output_sampling_frequency = 0.0;
  std::uint32_t channels = 0;
  std::uint32_t bit_depth = 0;
};

struct matroska_track {
  std::uint32_t number = ~std::uint32_t{0};
  std::uint64_t uid = 0;
  std::uint32_t type = ~std::uint32_t{0};
  bool enabled = false, is_default = false, forced = false;
  std::string codec_id;
  std::string name;
  // After the TrackEntry is read: the private data decoded through the
  // track's content encodings.
  std::vector<std::uint8_t> codec_private;
  // Nanoseconds of priming output that the codec puts before the stream.
  std::uint64_t codec_delay = 0;
  matroska_audio_settings audio;
  bool has_audio = false;
  // Keyed by ContentEncodingOrder; the first encoding of an order stays.
  std::map<std::uint64_t, matroska_content_encoding> encodings;
  bool has_encodings = false;
};

using matroska_track_ptr = std::shared_ptr<matroska_track>;

struct matroska_chapter {
  std::uint64_t uid = ~std::uint64_t{0};
  std::uint64_t start = ~std::uint64_t{0};  // nanoseconds
  std::uint64_t end = ~std::uint64_t{0};    // nanoseconds; all ones: none
  bool hidden = false;
  bool enabled = true;
  std::string title;
};

struct matroska_edition {
  std::uint64_t uid = 0;
  bool hidden = false, is_default = false;
  std::vector<matroska_chapter> chapters;
};

inline constexpr std::uint64_t matroska_unset = ~std::uint64_t{0};

struct matroska_attachment {
  std::string file_name;
  std::string mime_type;
  // Where the FileData content lies; its bytes are read only when wanted.
  std::uint64_t data_position = matroska_unset;
  std::uint64_t data_size = matroska_unset;
};

struct matroska_segment_info {
  std::uint64_t timecode_scale = 1000000;  // nanoseconds per tick
  // In ticks; 0.0 when absent or when the file's value is no usable length.
  double duration = 0.0;
};

// Cue time (ticks) -> cluster position (relative to the segment data start),
// for one track.
using matroska_cue_map = std::map<std::uint64_t, std::uint64_t>;

}  // namespace Matroska
