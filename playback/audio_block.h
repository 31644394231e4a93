// Decoded audio as it travels from the decoders through the engine to the
// output: interleaved 32-bit float samples (full scale 1.0), frame f of
// channel c at element f x channels + c, with the sample rate, channel count
// and speaker mask that describe them.
#pragma once

#include <cstdint>

#include "foundation/array.h"
#include "foundation/refcounted.h"

// Byte order and signedness of integer PCM handed to set_data_int_ex; a
// value without pcm_big_endian is read little-endian, one without
// pcm_signed unsigned.
enum pcm_format_flags : std::uint32_t {
  pcm_little_endian = 1,
  pcm_big_endian = 2,
  pcm_signed = 4,
  pcm_unsigned = 8,
};

class audio_block : public qiv::refcounted_object {
public:
  audio_block() = default;
  audio_block(const audio_block&) = delete;
  audio_block& operator=(const audio_block&) = delete;
  ~audio_block() override;

  const float* get_data() const noexcept { return data_; }
  float* get_data() noexcept { return data_; }
  // Sizes are in floats; growing keeps the samples already there.
  std::uint32_t get_data_size() const noexcept { return size_; }
  void set_data_size(std::uint32_t floats);
  std::uint32_t get_sample_rate() const noexcept { return sample_rate_; }
  void set_sample_rate(std::uint32_t rate) noexcept { sample_rate_ = rate; }
  std::uint32_t get_channels() const noexcept { return channels_; }
  std::uint32_t get_channel_config() const noexcept { return channel_config_; }
  void set_channels(std::uint32_t count, std::uint32_t config) noexcept {
    channels_ = count;
    channel_config_ = config;
  }
  // In sample frames (samples per channel).
  std::uint32_t get_sample_count() const noexcept { return sample_count_; }
  void set_sample_count(std::uint32_t frames) noexcept { sample_count_ = frames; }

  // Copies `frames` frames of float samples, or lays silence when `samples`
  // is null.
  void set_data(const float* samples, std::uint32_t frames, std::uint32_t channels, std::uint32_t sample_rate,
                std::uint32_t channel_config);
  void set_silence(std::uint32_t frames) { set_data(nullptr, frames, channels_, sample_rate_, channel_config_); }
  void copy_from(const audio_block& source) {
    set_data(source.get_data(), source.get_sample_count(), source.get_channels(), source.get_sample_rate(),
             source.get_channel_config());
  }

  // Little-endian interleaved integer PCM: 8-bit unsigned, 16, 24 and 32-bit
  // signed; other depths of 8 bits and more give silence of byte count /
  // (bits / 8) floats. Fewer than 8 bits or no channels throw
  // exception_io_data.
  void set_data_int(const void* bytes, std::uint32_t byte_count, std::uint32_t bits, std::uint32_t sample_rate,
                    std::uint32_t channels, std::uint32_t channel_config);
  // The same with byte order and signedness from pcm_format_flags.
  void set_data_int_ex(const void* bytes, std::uint32_t byte_count, std::uint32_t bits, std::uint32_t sample_rate,
                       std::uint32_t channels, std::uint32_t flags, std::uint32_t channel_config);
  // IEEE floating point of 16 (half), 24, 32 or 64 bits, little-endian; any
  // other depth throws exception_io_data "invalid bit depth".
  void set_data_float(const void* bytes, std::uint32_t byte_count, std::uint32_t bits, std::uint32_t sample_rate,
                      std::uint32_t channels, std::uint32_t channel_config);

  // Whether the block can go to the output: 1 to 256 channels, 1000 to
  // 2822400 Hz, a non-zero frame count whose bytes fit 2^31, data for every
  // frame.
  bool is_valid() const noexcept;
  // No channels, no rate or no samples.
  bool is_empty() const noexcept { return channels_ == 0 || sample_rate_ == 0 || sample_count_ == 0; }
  double duration_seconds() const noexcept;
  // Removes the first n frames (all when n is not below the count); answers
  // how many went.
  std::uint32_t drop_leading_samples(std::uint32_t n) noexcept;
  // The whole block as integer PCM (pcm_float_to_int) at gain 1.0; the
  // container rounds up to whole bytes. False, the buffer untouched, when
  // the valid bits do not fit.
  bool to_int_pcm(qiv::byte_array& out, unsigned container_bits, unsigned valid_bits, bool left_justify) const;

private:
  // Zero-filled floats that the fillers then overwrite.
  float* prepare(std::uint32_t floats, std::uint32_t channels);

  float* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint32_t channel_config_ = 0;
  std::uint32_t sample_count_ = 0;
};

// Blocks waiting in order, first out first.
class audio_block_list {
public:
  std::uint32_t get_count() const noexcept { return blocks_.get_count(); }
  audio_block& get(std::uint32_t index) const noexcept { return *blocks_[index]; }
  // A new empty block at `position` (the end when beyond it).
  audio_block& insert_new(std::uint32_t position);
  void remove_at(std::uint32_t index) { blocks_.remove_range(index, index + 1); }
  template <class Predicate>
  void remove_if(Predicate predicate) {
    for (std::uint32_t i = blocks_.get_count(); i-- > 0;)
      if (predicate(*blocks_[i])) remove_at(i);
  }
  double total_duration() const noexcept;

private:
  qiv::array<qiv::ref_ptr<audio_block>> blocks_;
};
