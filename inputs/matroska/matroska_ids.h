// Element IDs of the Matroska schema in the form the reader returns them: the
// standard ID with its length-marker bit cleared (0x18538067 -> 0x08538067).
#pragma once

#include <cstdint>

namespace Matroska::ids {

inline constexpr std::uint32_t ebml = 0x0A45DFA3;
inline constexpr std::uint32_t ebml_read_version = 0x02F7;
inline constexpr std::uint32_t doc_type = 0x0282;
inline constexpr std::uint32_t doc_type_read_version = 0x0285;

inline constexpr std::uint32_t void_element = 0x6C;
inline constexpr std::uint32_t segment = 0x08538067;

inline constexpr std::uint32_t seek_head = 0x014D9B74;
inline constexpr std::uint32_t seek = 0x0DBB;
inline constexpr std::uint32_t seek_id = 0x13AB;
inline constexpr std::uint32_t seek_position = 0x13AC;

inline constexpr std::uint32_t info = 0x0549A966;
inline constexpr std::uint32_t timecode_scale = 0x0AD7B1;
inline constexpr std::uint32_t duration = 0x0489;

inline constexpr std::uint32_t tracks = 0x0654AE6B;
inline constexpr std::uint32_t track_entry = 0x2E;
inline constexpr std::uint32_t track_number = 0x57;
inline constexpr std::uint32_t track_uid = 0x33C5;
inline constexpr std::uint32_t track_type = 0x03;
inline constexpr std::uint32_t flag_enabled = 0x39;
inline constexpr std::uint32_t flag_default = 0x08;
inline constexpr std::uint32_t flag_forced = 0x15AA;
inline constexpr std::uint32_t codec_id = 0x06;
inline constexpr std::uint32_t track_name = 0x136E;
inline constexpr std::uint32_t codec_private = 0x23A2;
inline constexpr std::uint32_t codec_delay = 0x16AA;
inline constexpr std::uint32_t audio = 0x61;
inline constexpr std::uint32_t sampling_frequency = 0x35;
inline constexpr std::uint32_t output_sampling_frequency = 0x38B5;
inline constexpr std::uint32_t channels = 0x1F;
inline constexpr std::uint32_t bit_depth = 0x2264;
inline constexpr std::uint32_t content_encodings = 0x2D80;
inline constexpr std::uint32_t content_encoding = 0x2240;
inline constexpr std::uint32_t content_encoding_order = 0x1031;
inline constexpr std::uint32_t content_encoding_scope = 0x1032;
inline constexpr std::uint32_t content_encoding_type = 0x1033;
inline constexpr std::uint32_t content_compression = 0x1034;
inline constexpr std::uint32_t content_comp_algo = 0x0254;
inline constexpr std::uint32_t content_comp_settings = 0x0255;

inline constexpr std::uint32_t chapters = 0x0043A770;
inline constexpr std::uint32_t edition_entry = 0x05B9;
inline constexpr std::uint32_t edition_uid = 0x05BC;
inline constexpr std::uint32_t edition_flag_hidden = 0x05BD;
inline constexpr std::uint32_t edition_flag_default = 0x05DB;
inline constexpr std::uint32_t chapter_atom = 0x36;
inline constexpr std::uint32_t chapter_uid = 0x33C4;
inline constexpr std::uint32_t chapter_time_start = 0x11;
inline constexpr std::uint32_t chapter_time_end = 0x12;
inline constexpr std::uint32_t chapter_flag_hidden = 0x18;
inline constexpr std::uint32_t chapter_flag_enabled = 0x0598;
inline constexpr std::uint32_t chapter_display = 0x00;
inline constexpr std::uint32_t chap_string = 0x05;

inline constexpr std::uint32_t cues = 0x0C53BB6B;
inline constexpr std::uint32_t cue_point = 0x3B;
inline constexpr std::uint32_t cue_time = 0x33;
inline constexpr std::uint32_t cue_track_positions = 0x37;
inline constexpr std::uint32_t cue_track = 0x77;
inline constexpr std::uint32_t cue_cluster_position = 0x71;

inline constexpr std::uint32_t attachments = 0x0941A469;
inline constexpr std::uint32_t attached_file = 0x21A7;
inline constexpr std::uint32_t file_name = 0x066E;
inline constexpr std::uint32_t file_mime_type = 0x0660;
inline constexpr std::uint32_t file_data = 0x065C;

inline constexpr std::uint32_t tags = 0x0254C367;
inline constexpr std::uint32_t cluster = 0x0F43B675;
inline constexpr std::uint32_t cluster_timecode = 0x67;
inline constexpr std::uint32_t simple_block = 0x23;
inline constexpr std::uint32_t block_group = 0x20;
inline constexpr std::uint32_t block = 0x21;
inline constexpr std::uint32_t discard_padding = 0x35A2;

}  // namespace Matroska::ids
