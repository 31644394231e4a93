// MPEG audio frames at the bit level (MPEG-1, MPEG-2 and MPEG-2.5, Layers I
// to III): the 4-byte frame header and the frame length it implies, the
// frame CRC, and the two VBR headers encoders put in the first frame (the
// Xing/Info header with its encoder extension, and the VBRI header). Pure
// functions over bytes: nothing here reads a file or throws.
#pragma once

#include <cstdint>
#include <string>

struct mpeg_frame_header {
  std::uint32_t frame_length = 0;  // whole frame, header included
  std::uint32_t sample_rate = 0;
  std::uint32_t layer = 0;    // 1, 2 or 3
  std::uint32_t version = 0;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  std::uint32_t channels = 0;
  std::uint32_t samples_per_frame = 0;
  std::uint32_t channel_mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  std::uint32_t bitrate_kbps = 0;
  bool crc_present = false;
};

// False when the 4 bytes are no usable header (bad sync, reserved fields,
// free-format or invalid bitrate).
bool mpeg_parse_header(const std::uint8_t* bytes, mpeg_frame_header& out);

// True when the frame carries no CRC or its CRC matches; false when fewer
// than a whole frame of bytes are available.
bool mpeg_check_crc(const std::uint8_t* frame, std::uint32_t available, const mpeg_frame_header& header);

struct xing_header {
  std::uint32_t flags = 0;
  std::int32_t frames = 0;
  std::int32_t bytes = 0;
  std::int32_t enc_delay = -1;
  std::int32_t enc_padding = -1;
  std::int32_t quality = -1;
  std::uint32_t vbr_method = 0;
  std::uint32_t lowpass = 0;
  std::string tool;
  std::string codec_profile;  // "CBR", "ABR", "VBR", "VBR V<n>"; empty without the encoder extension
};

// `frame` holds the whole first frame, `length` bytes.
bool mpeg_parse_xing(const std::uint8_t* frame, std::uint32_t length, xing_header& out);

struct vbri_header {
  std::uint32_t sample_rate = 0;
  std::uint32_t version = 0;
  std::uint32_t delay = 0;
  std::uint32_t quality = 0;
  std::uint32_t bytes = 0;
  std::uint32_t frames = 0;
  std::uint32_t toc_entries = 0;
  std::uint32_t toc_scale = 0;
  std::uint32_t toc_entry_size = 0;
  std::uint32_t frames_per_entry = 0;
};

bool mpeg_parse_vbri(const std::uint8_t* frame, std::uint32_t length, vbri_header& out);
