// The sample description: which codec a track holds, its audio or video
// parameters and the set-up bytes its decoder needs.
#include <vector>

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_boxes.h"

namespace tarnex {

namespace {

constexpr std::uint32_t max_esds_payload = 1048576;

void read_bytes(stream& in, std::uint64_t count, std::vector<std::uint8_t>& out) {
  in.check_remaining(count);
  out.resize(static_cast<std::size_t>(count));
  if (count != 0) in.read_exact(out.data(), static_cast<std::uint32_t>(count));
}

void read_esds(mp4_atom_reader& in, std::uint64_t size, mp4_track& track) {
  if (size < 5 || size > max_esds_payload) throw exception("invalid esds atom (4)");
  in.skip_exact(4);  // version and flags
  read_bytes(in, size - 4, track.esds_payload);
  parse_esds(track.esds_payload.data(), track.esds_payload.size(), track);
}

void read_avcc(mp4_atom_reader& in, mp4_track& track) {
  std::uint8_t head[5];
  in.read_exact(head, 5);
  if ((head[4] & 0xFC) != 0xFC) throw exception("invalid avcC chunk (1)");
  const std::uint8_t sequence_sets = read_u8(in);
  if ((sequence_sets & 0xE0) != 0xE0) throw exception("invalid avcC chunk (2)");
  std::vector<std::uint8_t> setup;
  auto append_set = [&] {
    const std::uint16_t length = read_u16(in);
    in.check_remaining(length);
    const std::size_t at = setup.size();
    setup.resize(at + 2 + length);
    setup[at] = static_cast<std::uint8_t>(length >> 8);
    setup[at + 1] = static_cast<std::uint8_t>(length);
    if (length != 0) in.read_exact(setup.data() + at + 2, length);
  };
  for (int i = 0; i < (sequence_sets & 0x1F); ++i) append_set();
  const std::uint8_t picture_sets = read_u8(in);
  for (int i = 0; i < picture_sets; ++i) append_set();
  track.decoder_setup = std::move(setup);
}

// Only the first child of a sample entry carries what the track needs.
template <class Handler>
void read_first_child(mp4_atom_reader& entry, Handler&& handler) {
  if (entry.remaining() < 8) return;
  const box_header header = read_child_header(entry, entry.remaining());
  entry.check_remaining(header.content_size);
  mp4_atom_reader content(entry, header.content_size);
  handler(header.type, content, header.content_size);
  content.finish();
}

void read_audio_entry(mp4_atom_reader& entry, std::uint32_t entry_type, mp4_track& track) {
  entry.skip_exact(6 + 2 + 8);  // reserved, data reference index, version, revision, vendor
  track.channels = read_u16(entry);
  track.bits_per_sample = read_u16(entry);
  entry.skip_exact(4);  // compression id, packet size
  track.sample_rate = read_u16(entry);
  entry.skip_exact(2);
  read_first_child(entry, [&](std::uint32_t type, mp4_atom_reader& content, std::uint64_t size) {
    if (type == fourcc("esds")) {
      if (entry_type != fourcc("mp4a")) throw exception("esds atom not expected here");
      read_esds(content, size, track);
    } else if (type == fourcc("alac")) {
      if (entry_type != fourcc("alac")) throw exception("alac atom not expected here");
      if (size > 0xFFFFFFFFu) throw exception("ALAC decoder setup too big");
      read_bytes(content, size, track.decoder_setup);
    }
  });
}

void read_video_entry(mp4_atom_reader& entry, std::uint32_t entry_type, mp4_track& track) {
  entry.skip_exact(24);
  track.video_width = read_u16(entry);
  track.video_height = read_u16(entry);
  entry.skip_exact(12 + 2 + 32 + 2 + 2);  // resolutions, reserved, frame count, compressor, depth, predefined
  read_first_child(entry, [&](std::uint32_t type, mp4_atom_reader& content, std::uint64_t size) {
    if (type == fourcc("avcC")) {
      if (entry_type != fourcc("avc1")) throw exception("avcC not expected here");
      read_avcc(content, track);
    } else if (type == fourcc("esds")) {
      if (entry_type != fourcc("mp4v")) throw exception("esds not expected here");
      read_esds(content, size, track);
    }
  });
}

void read_amr_entry(mp4_atom_reader& entry, mp4_track& track) {
  entry.skip_exact(6 + 2 + 16);
  if (read_u16(entry) == 0) throw exception_invalid_timescale();
  entry.skip_exact(2);
  box_header header;
  if (!read_box_header(entry, header) || header.type != fourcc("damr")) throw exception("expected damr header");
  entry.skip_exact(4 + 1 + 2 + 1 + 1);  // vendor, decoder version, mode set, mode change period, frames per sample
  track.channels = 1;
  track.sample_rate = 8000;
}

}  // namespace

void parse_esds(const std::uint8_t* data, std::size_t size, mp4_track& track) {
  memory_stream in(data, size);
  if (read_u8(in) == 3) {
    if (read_descriptor_length(in) < 20) throw exception("invalid esds atom (1)");
    in.skip_exact(2);  // elementary stream id
    track.stream_priority = read_u8(in) & 0x1F;
  } else {
    in.skip_exact(2);
    track.stream_priority = 0;
  }
  if (read_u8(in) != 4) throw exception("invalid esds atom (2)");
  if (read_descriptor_length(in) < 13) throw exception("invalid esds atom (3)");
  track.object_type = read_u8(in);
  in.skip_exact(4);  // stream type, buffer size
  track.max_bitrate = read_u32(in);
  track.average_bitrate = read_u32(in);
  if (in.position() < in.size() && read_u8(in) == 5) {
    const std::uint32_t length = read_descriptor_length(in);
    read_bytes(in, length, track.decoder_setup);
  }
}

void read_sample_description(mp4_atom_reader& in, std::uint32_t options, mp4_track& track) {
  if (in.remaining() < 4) throw exception("invalid stsd atom");
  in.skip_exact(4);  // version and flags
  const std::uint32_t count = read_u32(in);
  const bool audio = (options & option_audio_tracks) != 0;
  const bool video = (options & option_video_tracks) != 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const box_header header = read_child_header(in, in.remaining());
    in.check_remaining(header.content_size);
    mp4_atom_reader entry(in, header.content_size);
    const std::uint32_t type = header.type;
    if (type == fourcc("sawp")) {
      track.kind = kind_amr_wb;
      if (audio) {
        track.sample_rate = 16000;
        track.channels = 1;
      }
    } else if (type == fourcc("avc1") || type == fourcc("mp4v")) {
      track.kind = type == fourcc("avc1") ? kind_avc : kind_mpeg4_video;
      if (video) read_video_entry(entry, type, track);
    } else if (type == fourcc("ac-3") || type == fourcc("mp4a") || type == fourcc("alac")) {
      track.kind = type == fourcc("ac-3") ? kind_ac3 : type == fourcc("mp4a") ? kind_aac : kind_alac;
      if (audio) read_audio_entry(entry, type, track);
    } else if (type == fourcc("damr") || type == fourcc("samr")) {
      track.kind = kind_amr;
      if (audio) read_amr_entry(entry, track);
    }
    entry.finish();
  }
}

}  // namespace tarnex
