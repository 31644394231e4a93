#include "playback/inputs/flac/flac_metadata_reading.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "foundation/byte_compare.h"
#include "foundation/number_format.h"
#include "foundation/number_readers.h"
#include "foundation/utf8.h"
#include "io/io_exceptions.h"
#include "metadata/cue/cue_sheet_writer.h"
#include "metadata/cue/cue_track_list.h"
#include "metadata/tags/comment_block.h"
#include "metadata/tags/vorbis_comment_map.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_metadata_head.h"

namespace {

struct comment_entry {
  std::string name;
  std::string_view value;
};

// False for an entry that is not UTF-8 or has no "=".
bool split_entry(const FLAC__StreamMetadata_VorbisComment_Entry& entry, comment_entry& out) {
  const char* text = reinterpret_cast<const char*>(entry.entry);
  if (text == nullptr || !qiv::is_valid_utf8(text, entry.length)) return false;
  const void* equals = std::memchr(text, '=', entry.length);
  if (equals == nullptr) return false;
  const std::size_t name_length = static_cast<const char*>(equals) - text;
  out.name.assign(text, name_length);
  out.value = std::string_view(text + name_length + 1, entry.length - name_length - 1);
  return true;
}

bool is_channel_mask_name(const std::string& name) {
  return qiv::stricmp_ascii_equal(name.c_str(), flac_channel_mask_comment);
}

}  // namespace

void flac_comments_to_info(const FLAC__StreamMetadata_VorbisComment& comments, track_info& info) {
  vorbis_comment_map fields;
  comment_entry entry;
  for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
    if (!split_entry(comments.comments[i], entry)) continue;
    if (is_channel_mask_name(entry.name)) {
      info.set_tech(entry.name.data(), entry.name.size(), entry.value.data(), entry.value.size());
      continue;
    }
    const char* name = comment_name_from_storage(entry.name.c_str());
    if (info.try_set_replaygain(name, entry.value.data(), entry.value.size())) continue;
    fields.add_value(name, entry.value.data(), entry.value.size());
  }
  fields.canonicalize();
  fields.apply_to_info(info);
  const char* vendor = reinterpret_cast<const char*>(comments.vendor_string.entry);
  if (vendor != nullptr && comments.vendor_string.length > 0) {
    info.set_tech("tool", track_info::until_nul, vendor, comments.vendor_string.length);
  }
}

std::uint32_t flac_channel_mask_from_comments(const FLAC__StreamMetadata_VorbisComment& comments) {
  std::uint32_t mask = 0;
  comment_entry entry;
  for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
    if (!split_entry(comments.comments[i], entry) || !is_channel_mask_name(entry.name)) continue;
    const std::string_view value = entry.value;
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) continue;
    // A mask that does not parse must not make the file unplayable.
    try {
      mask = qiv::parse_hex_u32(value.data() + 2, value.size() - 2);
    } catch (...) {
      mask = 0;
    }
  }
  return mask;
}

std::string flac_cuesheet_to_text(const FLAC__StreamMetadata_CueSheet& sheet, std::uint64_t total_samples,
                                  std::uint32_t sample_rate) {
  if (sheet.num_tracks == 0 || sample_rate == 0) vantrel_io::throw_io_data();
  const double rate = sample_rate;
  cue_track_list tracks;
  for (FLAC__uint32 t = 0; t < sheet.num_tracks; ++t) {
    const FLAC__StreamMetadata_CueSheet_Track& track = sheet.tracks[t];
    if (track.type != 0 || track.number >= 100) continue;
    const std::uint64_t end = t + 1 < sheet.num_tracks ? sheet.tracks[t + 1].offset : total_samples;
    if (end < track.offset) vantrel_io::throw_io_data();
    cue_track_entry& entry = tracks.append_new();
    entry.file_name = "CDImage.wav";
    entry.number = track.number;
    entry.info.set_length(static_cast<double>(end - track.offset) / rate);
    bool has_index[2] = {false, false};
    for (FLAC__byte i = 0; i < track.num_indices; ++i) {
      const FLAC__StreamMetadata_CueSheet_Index& index = track.indices[i];
      if (index.number >= 100) continue;
      entry.indexes[index.number] = static_cast<double>(track.offset + index.offset) / rate;
      if (index.number < 2) has_index[index.number] = true;
    }
    if (!has_index[1]) entry.indexes[1] = static_cast<double>(track.offset) / rate;
    if (!has_index[0]) entry.indexes[0] = entry.indexes[1];
  }
  std::string text;
  cue_parser::write_cuesheet(text, tracks);
  return text;
}

void flac_stream_info_to_info(const FLAC__StreamMetadata_StreamInfo& source, track_info& info) {
  if (source.sample_rate == 0 || source.channels == 0) vantrel_io::throw_io_data();
  info.set_tech_int("samplerate", source.sample_rate);
  info.set_tech_int("channels", source.channels);
  info.set_tech_int("bitspersample", source.bits_per_sample);
  bool md5_known = false;
  for (FLAC__byte byte : source.md5sum) md5_known = md5_known || byte != 0;
  if (md5_known) {
    const qiv::string_buffer hex = qiv::format_hex_string(source.md5sum);
    info.set_tech("md5", track_info::until_nul, hex.get_ptr(), track_info::until_nul);
  }
  info.set_length(static_cast<double>(source.total_samples) / source.sample_rate);
}

bool flac_complete_info(track_info& info, const std::string& cuesheet_text, std::uint64_t total_samples,
                        std::uint32_t sample_rate, std::uint64_t audio_bytes) {
  info.set_tech("codec", track_info::until_nul, "FLAC", 4);
  info.set_tech("encoding", track_info::until_nul, "lossless", 8);
  const bool sheet_from_block = !cuesheet_text.empty() && info.find_field("cuesheet") == track_info::not_found;
  if (sheet_from_block) info.set_field("cuesheet", track_info::until_nul, cuesheet_text.data(), cuesheet_text.size());
  if (total_samples != 0 && audio_bytes != vantrel_io::filesize_unknown) {
    const double seconds = static_cast<double>(total_samples) / sample_rate;
    info.set_bitrate(static_cast<std::int64_t>(std::floor(static_cast<double>(audio_bytes) * 0.008 / seconds + 0.5)));
  }
  return sheet_from_block;
}

bool flac_chain_to_info(FLAC__Metadata_Chain* chain, std::uint64_t audio_bytes, track_info& info) {
  const flac_metadata_iterator_ptr iterator = flac_metadata_iterate(chain);
  const FLAC__StreamMetadata* first = FLAC__metadata_iterator_get_block(iterator.get());
  if (first->type != FLAC__METADATA_TYPE_STREAMINFO) vantrel_io::throw_io_data();
  const FLAC__StreamMetadata_StreamInfo& stream_info = first->data.stream_info;
  std::string cuesheet_text;
  do {
    const FLAC__StreamMetadata& block = *FLAC__metadata_iterator_get_block(iterator.get());
    if (block.type == FLAC__METADATA_TYPE_STREAMINFO) {
      flac_stream_info_to_info(block.data.stream_info, info);
    } else if (block.type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      flac_comments_to_info(block.data.vorbis_comment, info);
    } else if (block.type == FLAC__METADATA_TYPE_CUESHEET) {
      // A sheet that does not fit the stream leaves the file one track.
      try {
        cuesheet_text = flac_cuesheet_to_text(block.data.cue_sheet, stream_info.total_samples, stream_info.sample_rate);
      } catch (const vantrel_io::exception_io_data&) {
        cuesheet_text.clear();
      }
    }
  } while (FLAC__metadata_iterator_next(iterator.get()));
  return flac_complete_info(info, cuesheet_text, stream_info.total_samples, stream_info.sample_rate, audio_bytes);
}

std::uint32_t flac_default_channel_mask(std::uint32_t channels) noexcept {
  constexpr std::uint32_t masks[] = {0x0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return channels < 9 ? masks[channels] : 0;
}
