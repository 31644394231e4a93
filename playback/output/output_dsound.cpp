#include "playback/output/output_dsound.h"

#include <algorithm>
#include <cmath>

#include "core/advanced_settings_registrations.h"
#include "foundation/windows_version.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/output/dsound_device.h"
#include "playback/output/output_exceptions.h"

namespace {

class exception_invalid_stream_spec : public vantrel_io::exception_io_data {
public:
  exception_invalid_stream_spec()
      : exception_io_data(vantrel_io::io_message("invalid_stream_spec", "Invalid audio stream specifications")) {}
};

double gain_of(double decibels) noexcept { return std::clamp(std::pow(10.0, decibels / 20.0), 0.0, 1.0); }

double fade_seconds(const advanced_setting_integer& setting) noexcept {
  return static_cast<double>(setting.get_value()) / 1000.0;
}

} // namespace

// Beyond the mask check, the block must fit a stream the device can open:
// a rate or channel count no stream takes would leave the block waiting for
// room that never comes.
bool output_dsound::block_format::is_valid() const noexcept {
  return sample_rate >= 1000 && sample_rate <= 1000000 && channels != 0 && channels <= 256 &&
         channels == channel_count_of_mask(channel_mask);
}

output_dsound::output_dsound(const GUID& device, double buffer_seconds, service_ptr<pcm_converter> converter,
                             bool converter_option)
    : converter_(std::move(converter)), converter_option_(converter_option) {
  spec_.device = device;
  spec_.buffer_seconds = std::max(buffer_seconds, 0.1);
  // Since Windows 6.0 the system mixes in float: floats go through untouched.
  if (is_windows_vista_or_later()) {
    spec_.bits = 32;
    spec_.is_float = true;
  } else {
    spec_.bits = 16;
  }
}

output_dsound::~output_dsound() {
  if (stream_) stream_->fade_out_and_close(fade_seconds(advanced_settings::fade_out_ms));
}

bool output_dsound::stream_spec_valid() const noexcept {
  return spec_.sample_rate >= 1000 && spec_.sample_rate <= 1000000 &&
         (spec_.bits == 8 || spec_.bits == 16 || spec_.bits == 24 || spec_.bits == 32) && spec_.channels >= 1 &&
         spec_.channels <= 256 && spec_.channel_mask != 0;
}

double output_dsound::get_latency() {
  double latency = 0.0;
  if (pending_.is_valid())
    latency += static_cast<double>((held_.get_count() - consumed_) / pending_.channels) / pending_.sample_rate;
  if (open_.is_valid()) latency += static_cast<double>(get_buffered_samples()) / open_.sample_rate;
  return latency;
}

void output_dsound::write(const audio_block& block) {
  qiv::dynamic_assert(consumed_ == held_.get_count());
  const block_format format{block.get_sample_rate(), block.get_channels(), block.get_channel_config()};
  if (!format.is_valid()) throw exception_invalid_stream_spec();
  const std::uint32_t count = block.get_sample_count() * block.get_channels();
  held_.resize_doubling(count);
  std::copy_n(block.get_data(), count, held_.data());
  pending_ = format;
  consumed_ = 0;
}

void output_dsound::update(bool& done) {
  check_device();
  if (!(pending_ == open_)) {
    if (get_buffered_samples() != 0) {
      // The old format plays out before the new one starts.
      force_start();
      done = consumed_ == held_.get_count();
      return;
    }
    open_format(pending_.sample_rate, pending_.channels, pending_.channel_mask);
    open_ = pending_;
  }
  const std::uint32_t total = held_.get_count();
  if (consumed_ < total) {
    const std::uint32_t n = std::min(total - consumed_, get_writable_samples() * pending_.channels);
    if (n > 0) {
      audio_chunk_view chunk;
      chunk.data = held_.data() + consumed_;
      chunk.frames = n / pending_.channels;
      chunk.channels = pending_.channels;
      chunk.sample_rate = pending_.sample_rate;
      chunk.channel_mask = pending_.channel_mask;
      write_chunk(chunk);
      consumed_ += n;
    }
  }
  done = consumed_ == total;
}

void output_dsound::pause(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  if (stream_) stream_->pause_with_fade(fade_seconds(advanced_settings::fade_on_pause_ms), gain_of(volume_), paused);
}

void output_dsound::flush() {
  consumed_ = 0;
  held_.set_size(0);
  reopen();
}

void output_dsound::force_start() {
  if (stream_) stream_->force_start();
}

void output_dsound::set_volume(double decibels) {
  volume_ = decibels;
  if (stream_) stream_->ramp_volume_to(gain_of(decibels), 0.05);
}

void output_dsound::check_device() {
  if (!stream_) return;
  const HRESULT error = stream_->get_error();
  if (error >= 0) return;
  if (error == DSERR_NODRIVER) throw exception_output_device_not_found();
  check_dsound_result(error);
}

void output_dsound::write_chunk(const audio_chunk_view& chunk) {
  bool accepted;
  if (spec_.is_float) {
    accepted = stream_->write(chunk.data, chunk.frames * chunk.channels * 4);
  } else {
    converter_->convert(chunk, converted_, spec_.bits, spec_.bits, converter_option_, 1.0f);
    accepted = stream_->write(converted_.data(), converted_.get_count());
  }
  if (!accepted) throw vantrel_io::make_exception_io();
}

std::uint32_t output_dsound::get_writable_samples() {
  if (paused_ || !stream_ || !stream_spec_valid()) return 0;
  return stream_->get_writable_bytes() / frame_bytes();
}

std::uint32_t output_dsound::get_buffered_samples() {
  if (!stream_ || !stream_spec_valid()) return 0;
  return static_cast<std::uint32_t>(stream_->get_buffered_bytes()) / frame_bytes();
}

void output_dsound::reopen() {
  if (stream_) {
    stream_->fade_out_and_close(fade_seconds(advanced_settings::fade_on_seek_ms));
    stream_ = nullptr;
    replaced_ = true;
  }
  if (stream_spec_valid()) open();
}

void output_dsound::open_format(std::uint32_t sample_rate, std::uint32_t channels, std::uint32_t channel_mask) {
  spec_.sample_rate = sample_rate;
  spec_.channels = channels;
  spec_.channel_mask = channel_mask;
  open();
}

void output_dsound::open() {
  if (stream_) {
    stream_->request_close();
    stream_ = nullptr;
  }
  dsound_stream_spec spec = spec_;
  spec.channel_mask &= speaker_bits;
  stream_ = output_dsound_stream::create(spec);
  const double gain = gain_of(volume_);
  stream_->ramp_volume_to(gain, 0.0);
  if (paused_) {
    stream_->set_pause_request(true);
  } else if (replaced_) {
    stream_->ramp_volume_from(0.0, gain, fade_seconds(advanced_settings::fade_on_seek_ms));
  }
  replaced_ = false;
}
