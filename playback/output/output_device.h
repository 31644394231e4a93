// The interface through which the playback engine plays audio: one float
// block at a time, converted to what the device takes and fed as fast as the
// device has room, with pause, volume (dB), flush and device errors.
//
// Use per block: one write, then update until it reports done; get_latency,
// pause, flush, set_volume and force_start at any time between.
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "playback/output/audio_chunk_view.h"

class audio_block;

class output_device : public service_object {
public:
  static constexpr GUID class_guid = {0xB9632C4F, 0x596E, 0x43EE, {0xB2, 0x14, 0x71, 0x04, 0x48, 0x4B, 0x65, 0xF1}};
  using service_parent = service_object;

  // Seconds of audio handed over and not yet heard.
  virtual double get_latency() = 0;
  // The previous block must be fully passed on (qiv::exception_dynamic_assert
  // otherwise); a block whose channel count does not match its mask, or
  // whose rate (1000 to 1000000 Hz) or channel count (1 to 256) no stream
  // takes, throws exception_io_data "Invalid audio stream specifications"
  // and the previous block stays.
  virtual void write(const audio_block& block) = 0;
  // Passes on what the device has room for; done once the block is all gone.
  virtual void update(bool& done) = 0;
  virtual void pause(bool paused) = 0;
  // Drops held and buffered audio: the old stream fades out, a new one fades in.
  virtual void flush() = 0;
  // Starts playing what is buffered even below the start threshold.
  virtual void force_start() = 0;
  virtual void set_volume(double decibels) = 0;
  // Throws the device's failure: exception_output_device_not_found, or
  // exception_com with the code.
  virtual void check_device() = 0;
  virtual void write_chunk(const audio_chunk_view& chunk) = 0;
  virtual std::uint32_t get_writable_samples() = 0;
  virtual std::uint32_t get_buffered_samples() = 0;
  virtual void reopen() = 0;
  virtual void open_format(std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t channel_mask) = 0;

protected:
  ~output_device() = default;
};
