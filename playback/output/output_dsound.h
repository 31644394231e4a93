// The DirectSound output device: each format gets its own stream, opened
// when its first block arrives; a format change lets the old stream play out
// first. Every transition fades by the fade settings.
#pragma once

#include <cstdint>

#include "foundation/array.h"
#include "playback/output/dsound_stream.h"
#include "playback/output/output_device.h"
#include "playback/output/pcm_converter.h"

class output_dsound : public output_device {
public:
  // `converter` turns floats into integers for devices that take only those
  // (before Windows 6.0); `converter_option` goes to every conversion.
  output_dsound(const GUID& device, double buffer_seconds, service_ptr<pcm_converter> converter,
                bool converter_option);
  ~output_dsound();

  double get_latency() override;
  void write(const audio_block& block) override;
  void update(bool& done) override;
  void pause(bool paused) override;
  void flush() override;
  void force_start() override;
  void set_volume(double decibels) override;
  void check_device() override;
  void write_chunk(const audio_chunk_view& chunk) override;
  std::uint32_t get_writable_samples() override;
  std::uint32_t get_buffered_samples() override;
  void reopen() override;
  void open_format(std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t channel_mask) override;

private:
  struct block_format {
    std::uint32_t sample_rate = 0, channels = 0, channel_mask = 0;
    bool operator==(const block_format&) const = default;
    bool is_valid() const noexcept;
  };
  bool stream_spec_valid() const noexcept;
  std::uint32_t frame_bytes() const noexcept { return spec_.bits / 8 * spec_.channels; }
  void open();

  qiv::array<float> held_;
  std::uint32_t consumed_ = 0;
  block_format pending_, open_;
  dsound_stream_spec spec_;
  output_dsound_stream* stream_ = nullptr;
  double volume_ = 0.0;
  bool paused_ = false;
  bool replaced_ = false;
  service_ptr<pcm_converter> converter_;
  bool converter_option_;
  qiv::byte_array converted_;
};
