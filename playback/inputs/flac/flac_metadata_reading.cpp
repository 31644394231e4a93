#include "playback/inputs/flac/flac_metadata_reading.h"

#include <cmath>

#include "foundation/number_format.h"
#include "io/io_exceptions.h"
#include "metadata/cue/cue_sheet_writer.h"
#include "metadata/cue/cue_track_list.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_comment_blocks.h"
#include "playback/inputs/flac/flac_metadata_head.h"

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
  flac_comment_reading comments;
  do {
    const FLAC__StreamMetadata& block = *FLAC__metadata_iterator_get_block(iterator.get());
    if (block.type == FLAC__METADATA_TYPE_STREAMINFO) {
      flac_stream_info_to_info(block.data.stream_info, info);
    } else if (block.type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      comments.add_block(block.data.vorbis_comment, &info);
    } else if (block.type == FLAC__METADATA_TYPE_CUESHEET) {
      // A sheet that does not fit the stream leaves the file one track.
      try {
        cuesheet_text = flac_cuesheet_to_text(block.data.cue_sheet, stream_info.total_samples, stream_info.sample_rate);
      } catch (const vantrel_io::exception_io_data&) {
        cuesheet_text.clear();
      }
    }
  } while (FLAC__metadata_iterator_next(iterator.get()));
  comments.finish(info);
  return flac_complete_info(info, cuesheet_text, stream_info.total_samples, stream_info.sample_rate, audio_bytes);
}

std::uint32_t flac_default_channel_mask(std::uint32_t channels) noexcept {
  constexpr std::uint32_t masks[] = {0x0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return channels < 9 ? masks[channels] : 0;
}
