// The boxes of movie fragments: per-track defaults, fragment headers and
// track runs. Runs are collected per track ID and merged into the tracks
// when the whole file has been read.
#include <vector>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_boxes.h"

namespace tarnex {

namespace {

const fragment_defaults* find_defaults(const mp4_file& file, std::uint32_t track_id) {
  for (const auto& defaults : file.fragment_records)
    if (defaults.track_id == track_id) return &defaults;
  return nullptr;
}

// Samples whose size and duration are all defaults cost the file no bytes
// but the reader 8 bytes each: without a bound, a count of 4 billion in a
// 20-byte box would ask for 32 GiB. Their data must lie inside the file,
// and all such samples of all fragments together (an empty sample counted
// as one byte) number no more than the file has bytes. A stream without a
// length holds them to this many.
constexpr std::uint64_t unbounded_samples_cap = 1u << 20;

std::uint64_t samples_the_file_can_hold(const fragment_context& context, std::uint64_t start, std::uint32_t size,
                                        std::uint64_t count) {
  const std::uint64_t limit = context.file_size == unknown_size ? unbounded_samples_cap : context.file_size;
  std::uint64_t fit = limit > context.samples_without_fields ? limit - context.samples_without_fields : 0;
  if (context.file_size != unknown_size) {
    const std::uint64_t room = start < context.file_size ? context.file_size - start : 0;
    const std::uint64_t data_fit = size == 0 ? room : room / size;
    if (data_fit < fit) fit = data_fit;
  }
  return count < fit ? count : fit;
}

}  // namespace

void read_track_extends(mp4_atom_reader& in, mp4_file& file) {
  in.skip_exact(4);
  fragment_defaults defaults;
  defaults.track_id = read_u32(in);
  defaults.description_index = read_u32(in);
  defaults.duration = read_u32(in);
  defaults.size = read_u32(in);
  defaults.flags = read_u32(in);
  file.fragment_records.push_back(defaults);
}

void read_fragment_header(mp4_atom_reader& in, const mp4_file& file, fragment_context& context) {
  const std::uint32_t flags = read_u32(in) & 0xFFFFFF;
  const std::uint32_t track_id = read_u32(in);
  const fragment_defaults* defaults = find_defaults(file, track_id);
  if (defaults == nullptr) throw exception("Invalid track ID");
  context.defaults = *defaults;
  if (flags & 0x01)
    context.base_offset = read_u64(in);
  else if ((flags & 0x20000) || !context.has_previous_run)
    // The first track fragment of a movie fragment starts from the movie
    // fragment itself, as the format prescribes for fragments without an
    // explicit base.
    context.base_offset = context.moof_offset;
  else
    context.base_offset = context.next_data_offset;
  if (flags & 0x02) context.defaults.description_index = read_u32(in);
  if (flags & 0x08) context.defaults.duration = read_u32(in);
  if (flags & 0x10) context.defaults.size = read_u32(in);
  if (flags & 0x20) context.defaults.flags = read_u32(in);
  context.run_end = context.base_offset;
  context.header_seen = true;
}

void read_track_run(mp4_atom_reader& in, mp4_file& file, fragment_context& context) {
  if (!context.header_seen) throw exception("Got trun, expected tfhd first");
  const std::uint32_t flags = read_u32(in) & 0xFFFFFF;
  const std::uint32_t count = read_u32(in);
  // A run's data offset counts from the fragment's base; a run without one
  // continues where the previous run of the track fragment ended.
  std::uint64_t offset = context.run_end;
  if (flags & 0x01) offset = context.base_offset + static_cast<std::int64_t>(static_cast<std::int32_t>(read_u32(in)));
  if (flags & 0x04) in.skip_exact(4);
  const bool has_duration = flags & 0x100, has_size = flags & 0x200;
  const std::uint32_t field_bytes = 4 * (has_duration + has_size + ((flags & 0x400) != 0) + ((flags & 0x800) != 0));
  // The per-sample fields are read in one piece: a long film has millions.
  std::vector<std::uint8_t> fields;
  std::uint64_t kept = count;
  if (field_bytes != 0) {
    fields.resize(checked_array_bytes(in, count, field_bytes));
    if (!fields.empty()) in.read_exact(fields.data(), static_cast<std::uint32_t>(fields.size()));
  } else {
    kept = samples_the_file_can_hold(context, offset, context.defaults.size, count);
    context.samples_without_fields += kept;
  }

  context.has_previous_run = true;
  context.next_data_offset = context.run_end = offset;
  if (kept == 0) return;  // an empty run is legal and adds nothing
  fragment_samples& samples = file.fragment_runs[context.defaults.track_id];
  if (samples.sizes.size() + kept > 0xFFFFFFFFu) throw exception("invalid trun data");
  samples.runs.push_back({offset, static_cast<std::uint32_t>(kept)});
  const std::uint8_t* field = fields.data();
  const auto next_field = [&field] {
    const std::uint32_t value = (std::uint32_t(field[0]) << 24) | (std::uint32_t(field[1]) << 16) |
                                (std::uint32_t(field[2]) << 8) | field[3];
    field += 4;
    return value;
  };
  for (std::uint64_t i = 0; i < kept; ++i) {
    const std::uint32_t duration = has_duration ? next_field() : context.defaults.duration;
    const std::uint32_t size = has_size ? next_field() : context.defaults.size;
    if (flags & 0x400) field += 4;  // sample flags
    if (flags & 0x800) field += 4;  // composition offset
    samples.sizes.push_back(size);
    samples.durations.push_back(duration);
    offset += size;
  }
  context.next_data_offset = context.run_end = offset;
}

}  // namespace tarnex
