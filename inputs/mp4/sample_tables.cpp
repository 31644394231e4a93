// The sample tables of a track. Every count is checked against the bytes the
// box holds before anything is allocated for it.
#include <type_traits>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_boxes.h"

namespace tarnex {

namespace {

// `count` records of 32-bit big-endian words each.
template <class Record>
void read_records(stream& in, std::uint32_t count, std::vector<Record>& out) {
  static_assert(std::is_trivially_copyable_v<Record> && sizeof(Record) % 4 == 0);
  const std::uint32_t bytes = checked_array_bytes(in, count, sizeof(Record));
  out.resize(count);
  if (bytes == 0) return;
  in.read_exact(out.data(), bytes);
  auto* words = reinterpret_cast<std::uint32_t*>(out.data());
  for (std::uint32_t i = 0; i < bytes / 4; ++i) words[i] = __builtin_bswap32(words[i]);
}

std::uint32_t read_version_and_count(stream& in) {
  in.skip_exact(4);
  return read_u32(in);
}

void read_time_to_sample(mp4_atom_reader& in, mp4_track& track) {
  if (track.has_time_to_sample) throw exception("duplicate stts data");
  const std::uint32_t count = read_version_and_count(in);
  read_records(in, count, track.time_to_sample);
  // Summed wide: a damaged table must not wrap around to a small count.
  std::uint64_t total = 0;
  for (const auto& run : track.time_to_sample) total += run.sample_count;
  if (total > 0xFFFFFFFFu) throw exception("invalid stts data");
  track.sample_count = static_cast<std::uint32_t>(total);
  track.has_time_to_sample = true;
}

void read_sync_samples(mp4_atom_reader& in, mp4_track& track) {
  const std::uint32_t count = read_version_and_count(in);
  read_u32_array(in, count, track.sync_samples);
  std::uint32_t previous = 0;
  for (auto& sample : track.sync_samples) {
    if (sample <= previous) throw exception("invalid stss data");
    previous = sample;
    sample -= 1;
  }
}

void read_sample_sizes(mp4_atom_reader& in, mp4_track& track) {
  in.skip_exact(4);
  track.fixed_sample_size = read_u32(in);
  const std::uint32_t count = read_u32(in);
  if (track.fixed_sample_size == 0)
    read_u32_array(in, count, track.sample_sizes);
  else
    track.sample_sizes.clear();
}

}  // namespace

void read_sample_table(std::uint32_t type, mp4_atom_reader& in, std::uint32_t options, mp4_track& track) {
  const bool decoding = (options & option_decoding_tables) != 0;
  if (type == fourcc("stts")) {
    read_time_to_sample(in, track);
  } else if (type == fourcc("ctts")) {
    if (!decoding && is_video_kind(track.kind)) return;
    if (!track.composition_offsets.empty()) throw exception("duplicate ctts data");
    read_records(in, read_version_and_count(in), track.composition_offsets);
  } else if (type == fourcc("stsz")) {
    read_sample_sizes(in, track);
  } else if (!decoding) {
    return;
  } else if (type == fourcc("stss")) {
    read_sync_samples(in, track);
  } else if (type == fourcc("stsc")) {
    read_records(in, read_version_and_count(in), track.sample_to_chunk);
  } else if (type == fourcc("stco")) {
    read_u32_array_widened(in, read_version_and_count(in), track.chunk_offsets);
  } else if (type == fourcc("co64")) {
    read_u64_array(in, read_version_and_count(in), track.chunk_offsets);
  }
}

}  // namespace tarnex
