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

// A table that ends before the sizes it announces keeps the sizes it holds;
// its count, or the whole table, may be missing.
void read_sample_sizes(mp4_atom_reader& in, mp4_track& track) {
  track.sample_sizes.clear();
  in.skip(4);  // version and flags
  track.fixed_sample_size = in.remaining() >= 4 ? read_u32(in) : 0;
  if (track.fixed_sample_size != 0) return;
  const std::uint64_t announced = in.remaining() >= 4 ? read_u32(in) : ~std::uint64_t(0);
  const std::uint64_t held = in.remaining() / 4;
  track.sample_sizes_cut = announced > held;
  read_u32_array(in, track.sample_sizes_cut ? held : announced, track.sample_sizes);
}

}  // namespace

void keep_sized_samples(mp4_track& track) {
  if (track.sample_count <= track.sample_sizes.size()) return;
  std::uint64_t left = track.sample_sizes.size();
  for (auto& run : track.time_to_sample) {
    if (run.sample_count > left) run.sample_count = static_cast<std::uint32_t>(left);
    left -= run.sample_count;
  }
  track.sample_count = static_cast<std::uint32_t>(track.sample_sizes.size());
}

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
