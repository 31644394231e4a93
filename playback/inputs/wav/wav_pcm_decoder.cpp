#include "playback/inputs/wav/wav_pcm_decoder.h"

#include <cmath>

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"

namespace {

constexpr std::uint32_t pcm_frames_per_block = 1024;

}  // namespace

void wav_move_forward_to(vantrel_io::file_object& file, std::uint64_t current, std::uint64_t target,
                         const abort_signal& abort) {
  if (current > target) vantrel_io::throw_exception_io_object_not_seekable();
  if (current < target) file.skip_exact(target - current, abort);
}

void wav_pcm_decoder::open(const wave_format& format, const vantrel_io::file_ptr& file, std::uint64_t data_offset,
                           std::uint64_t data_size, const abort_signal&) {
  file_ = file;
  data_offset_ = data_offset;
  data_size_ = data_size;
  if (format.is_pcm()) float_ = false;
  else if (format.is_float()) float_ = true;
  else vantrel_io::throw_io_data();

  sample_rate_ = format.samples_per_second();
  channels_ = format.channels();
  bits_ = format.bits_per_sample();
  channel_mask_ = format.format_tag() == wave_tag_extensible ? channel_mask_or_default(format.channel_mask(), channels_)
                                                              : default_channel_mask(channels_);
  const bool bits_ok = float_ ? (bits_ == 16 || bits_ == 24 || bits_ == 32 || bits_ == 64)
                              : (bits_ == 8 || bits_ == 16 || bits_ == 24 || bits_ == 32);
  if (channels_ < 1 || channels_ > 256 || sample_rate_ < 1000 || sample_rate_ > 1000000 || !bits_ok)
    vantrel_io::throw_io_data();
  frame_bytes_ = bits_ / 8 * channels_;
  read_position_ = file_position_ = 0;
  data_size_ -= data_size_ % frame_bytes_;
}

bool wav_pcm_decoder::decode(audio_block& out, const abort_signal& abort) {
  if (read_position_ != file_position_) {
    file_->seek(data_offset_ + read_position_, abort);
    file_position_ = read_position_;
  }
  if (read_position_ >= data_size_) return false;
  std::uint64_t wanted = std::uint64_t(pcm_frames_per_block) * frame_bytes_;
  if (wanted > data_size_ - read_position_) wanted = data_size_ - read_position_;
  if (buffer_.size() < wanted) buffer_.resize(static_cast<std::size_t>(wanted));
  std::uint32_t got = file_->read(buffer_.data(), static_cast<std::uint32_t>(wanted), abort);
  got -= got % frame_bytes_;
  // A truncated chunk ends at the last whole frame.
  if (got < wanted) data_size_ = read_position_ + got;
  if (got == 0) return false;
  read_position_ += got;
  file_position_ += got;
  if (float_) out.set_data_float(buffer_.data(), got, bits_, sample_rate_, channels_, channel_mask_);
  else out.set_data_int(buffer_.data(), got, bits_, sample_rate_, channels_, channel_mask_);
  return true;
}

void wav_pcm_decoder::seek(double seconds, const abort_signal& abort) {
  if (!(seconds >= 0.0)) vantrel_io::throw_io_data();
  const double frames = std::floor(seconds * sample_rate_ + 0.5);
  const std::uint64_t frame_count = data_size_ / frame_bytes_;
  std::uint64_t target = frames >= static_cast<double>(frame_count) ? frame_count * frame_bytes_
                                                                    : static_cast<std::uint64_t>(frames) * frame_bytes_;
  if (target > data_size_) target = data_size_;
  read_position_ = target;
  if (file_->can_seek()) return;
  wav_move_forward_to(*file_, file_position_, target, abort);
  file_position_ = target;
}
