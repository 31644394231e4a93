#include "inputs/mp4/sample_iterator.h"

#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

// Damaged tables may multiply to beyond 64 bits; such a product is only
// ever compared with sample numbers, which it then exceeds anyway.
std::uint64_t saturating_product(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > (std::uint64_t(1) << 62) / a) return std::uint64_t(1) << 62;
  return a * b;
}

std::uint64_t chunk_offset(const mp4_track& track, std::uint64_t chunk) {
  const auto& offsets = track.chunk_offsets;
  if (offsets.empty()) return 8;
  if (chunk > offsets.size()) return offsets.back();
  return offsets[static_cast<std::size_t>(chunk - 1)];
}

}  // namespace

void sample_iterator::find_chunk(std::uint32_t n) {
  const auto& entries = track_->sample_to_chunk;
  const sample_to_chunk_entry before_first{1, 0, 0};
  while (chunk_entry_ + 1 < static_cast<std::int64_t>(entries.size())) {
    const auto& current = chunk_entry_ < 0 ? before_first : entries[static_cast<std::size_t>(chunk_entry_)];
    const auto& next = entries[static_cast<std::size_t>(chunk_entry_ + 1)];
    const std::uint64_t chunks = next.first_chunk > current.first_chunk ? next.first_chunk - current.first_chunk : 0;
    const std::uint64_t next_first_sample = entry_first_sample_ + saturating_product(chunks, current.samples_per_chunk);
    if (n < next_first_sample) break;
    ++chunk_entry_;
    entry_first_sample_ = next_first_sample;
  }
  const auto& entry = chunk_entry_ < 0 ? before_first : entries[static_cast<std::size_t>(chunk_entry_)];
  if (entry.samples_per_chunk == 0) {
    chunk_ = 1;
    chunk_first_sample_ = entry_first_sample_;
    return;
  }
  const std::uint64_t into_entry = n >= entry_first_sample_ ? n - entry_first_sample_ : 0;
  chunk_ = into_entry / entry.samples_per_chunk + entry.first_chunk;
  chunk_first_sample_ = (chunk_ - entry.first_chunk) * entry.samples_per_chunk + entry_first_sample_;
}

std::uint64_t sample_iterator::bytes_before_in_chunk(std::uint32_t n) const {
  const mp4_track& track = *track_;
  if (n >= track.sample_count) throw exception_out_of_range();
  if (chunk_first_sample_ >= n) return 0;
  if (track.fixed_sample_size != 0) return std::uint64_t(track.fixed_sample_size) * (n - chunk_first_sample_);
  if (n > track.sample_sizes.size()) throw exception_out_of_range();
  std::uint64_t bytes = 0;
  for (std::uint64_t i = chunk_first_sample_; i < n; ++i) bytes += track.sample_sizes[static_cast<std::size_t>(i)];
  return bytes;
}

void sample_iterator::position(std::uint32_t n) {
  const mp4_track& track = *track_;
  sample_ = n;

  composition_run_ = -1;
  composition_position_ = 0;
  std::uint64_t before = 0;
  for (std::size_t i = 0; i < track.composition_offsets.size(); ++i) {
    const std::uint32_t count = track.composition_offsets[i].sample_count;
    if (n < before + count) {
      composition_run_ = static_cast<std::int64_t>(i);
      composition_position_ = static_cast<std::uint32_t>(n - before);
      break;
    }
    before += count;
  }

  time_run_ = -1;
  time_position_ = 0;
  decode_time_ = 0;
  before = 0;
  std::uint64_t time_before = 0;
  for (std::size_t i = 0; i < track.time_to_sample.size(); ++i) {
    const auto& run = track.time_to_sample[i];
    if (n < before + run.sample_count) {
      time_run_ = static_cast<std::int64_t>(i);
      time_position_ = static_cast<std::uint32_t>(n - before);
      decode_time_ = time_before + std::uint64_t(run.duration) * time_position_;
      break;
    }
    before += run.sample_count;
    time_before += std::uint64_t(run.sample_count) * run.duration;
  }

  chunk_entry_ = -1;
  entry_first_sample_ = 0;
  find_chunk(n);
  offset_in_chunk_ = bytes_before_in_chunk(n);
}

bool sample_iterator::advance() {
  const mp4_track& track = *track_;
  if (std::uint64_t(sample_) + 1 >= track.sample_count) return false;
  const std::uint32_t old_sample = sample_;
  const std::uint64_t old_chunk = chunk_;
  ++sample_;

  if (composition_run_ >= 0) {
    const auto& runs = track.composition_offsets;
    if (++composition_position_ >= runs[static_cast<std::size_t>(composition_run_)].sample_count) {
      composition_position_ = 0;
      // Runs of no samples hold nothing to step onto.
      do ++composition_run_;
      while (composition_run_ < static_cast<std::int64_t>(runs.size()) &&
             runs[static_cast<std::size_t>(composition_run_)].sample_count == 0);
      if (composition_run_ >= static_cast<std::int64_t>(runs.size())) composition_run_ = -1;
    }
  }

  if (time_run_ >= 0) {
    const auto& runs = track.time_to_sample;
    decode_time_ += runs[static_cast<std::size_t>(time_run_)].duration;
    if (++time_position_ >= runs[static_cast<std::size_t>(time_run_)].sample_count) {
      time_position_ = 0;
      do ++time_run_;
      while (time_run_ < static_cast<std::int64_t>(runs.size()) &&
             runs[static_cast<std::size_t>(time_run_)].sample_count == 0);
      if (time_run_ >= static_cast<std::int64_t>(runs.size())) time_run_ = -1;
    }
  }

  find_chunk(sample_);
  if (chunk_ == old_chunk && chunk_first_sample_ <= old_sample)
    offset_in_chunk_ += track.sample_size(old_sample);
  else
    offset_in_chunk_ = bytes_before_in_chunk(sample_);
  return true;
}

sample_location sample_iterator::locate() const {
  const mp4_track& track = *track_;
  sample_location where;
  if (time_run_ >= 0) where.duration = track.time_to_sample[static_cast<std::size_t>(time_run_)].duration;
  if (composition_run_ >= 0)
    where.composition_offset = track.composition_offsets[static_cast<std::size_t>(composition_run_)].offset;
  where.presentation_time = decode_time_ + where.composition_offset;
  where.time_scale = track.time_scale;
  where.file_offset = chunk_offset(track, chunk_) + offset_in_chunk_;
  where.size = track.sample_size(sample_);
  return where;
}

sample_at_time sample_at_media_time(const mp4_track& track, std::uint64_t t) {
  std::uint64_t samples_before = 0, run_start = 0;
  for (const auto& run : track.time_to_sample) {
    const std::uint64_t run_end = run_start + std::uint64_t(run.sample_count) * run.duration;
    if (run_end > t) {
      const std::uint64_t into = t - run_start;
      return {static_cast<std::uint32_t>(samples_before + into / run.duration), into % run.duration};
    }
    samples_before += run.sample_count;
    run_start = run_end;
  }
  throw exception_out_of_range();
}

}  // namespace tarnex
