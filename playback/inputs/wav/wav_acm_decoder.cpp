#include "playback/inputs/wav/wav_acm_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"

namespace {

constexpr std::uint32_t source_slice_bytes = 131072;
constexpr std::uint64_t buffer_limit = 16777216;
constexpr std::uint32_t acm_frames_per_block = 576;

class exception_missing_acm_codec : public vantrel_io::exception_io_data {
public:
  exception_missing_acm_codec()
      : exception_io_data(vantrel_io::io_message("missing_acm_codec", "Missing ACM codec")) {}
};

}  // namespace

wav_acm_decoder::~wav_acm_decoder() { close_stream(); }

void wav_acm_decoder::open(const wave_format& format, const vantrel_io::file_ptr& file, std::uint64_t data_offset,
                           std::uint64_t data_size, const abort_signal&) {
  file_ = file;
  data_offset_ = data_offset;
  data_size_ = data_size;
  consumed_ = 0;
  if (!format.is_safe_for_system_codecs()) vantrel_io::throw_io_data();

  WAVEFORMATEX destination{};
  destination.wFormatTag = WAVE_FORMAT_PCM;
  auto* source_record = reinterpret_cast<WAVEFORMATEX*>(const_cast<std::uint8_t*>(format.bytes.data()));
  if (acmFormatSuggest(nullptr, source_record, &destination, sizeof destination, ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
    throw exception_missing_acm_codec();
  close_stream();
  if (!open_stream(format, destination)) {
    close_stream();
    vantrel_io::throw_io_data();
  }
  sample_rate_ = destination.nSamplesPerSec;
  channels_ = destination.nChannels;
  bits_ = destination.wBitsPerSample;
  channel_mask_ = default_channel_mask(channels_);
  source_block_align_ = format.block_align();
  source_rate_ = format.samples_per_second();
  frames_left_ = adpcm_ ? adpcm_->sample_count : wav_size_unknown;
  frames_to_drop_ = 0;
}

bool wav_acm_decoder::open_stream(const wave_format& format, const WAVEFORMATEX& destination) {
  auto* source_record = reinterpret_cast<WAVEFORMATEX*>(const_cast<std::uint8_t*>(format.bytes.data()));
  if (acmStreamOpen(&stream_, nullptr, source_record, const_cast<WAVEFORMATEX*>(&destination), nullptr, 0, 0, 0) != 0) {
    stream_ = nullptr;
    return false;
  }
  // The chunk walk has already put the nominal rate of ADPCM formats here.
  source_byte_rate_ = format.average_bytes_per_second();
  const std::uint32_t align = format.block_align();
  const std::uint32_t source_size = align == 0 ? 0 : source_slice_bytes - source_slice_bytes % align;
  if (source_size == 0 || source_byte_rate_ == 0) return false;
  const std::uint64_t quotient = std::uint64_t(destination.nAvgBytesPerSec) * source_size / source_byte_rate_;
  if (quotient > buffer_limit) return false;
  const std::uint64_t destination_size = 2 * (quotient + 65536);
  if (destination_size > buffer_limit) return false;
  source_.assign(source_size, 0);
  destination_.assign(static_cast<std::size_t>(destination_size), 0);
  header_ = ACMSTREAMHEADER{};
  header_.cbStruct = sizeof header_;
  header_.pbSrc = source_.data();
  header_.cbSrcLength = source_size;
  header_.pbDst = destination_.data();
  header_.cbDstLength = static_cast<DWORD>(destination_size);
  if (acmStreamPrepareHeader(stream_, &header_, 0) != 0) return false;
  started_ = false;
  source_held_ = converted_available_ = converted_offset_ = 0;
  return true;
}

void wav_acm_decoder::close_stream() {
  if (stream_ == nullptr) return;
  if (header_.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) {
    header_.cbSrcLength = static_cast<DWORD>(source_.size());
    acmStreamUnprepareHeader(stream_, &header_, 0);
  }
  acmStreamClose(stream_, 0);
  stream_ = nullptr;
}

std::uint32_t wav_acm_decoder::produce(std::uint8_t* out, std::uint32_t bytes, const abort_signal& abort) {
  std::uint32_t done = 0;
  bool source_ended = false;
  while (converted_available_ - converted_offset_ < bytes - done) {
    const std::uint32_t available = converted_available_ - converted_offset_;
    if (out) std::memcpy(out + done, destination_.data() + converted_offset_, available);
    done += available;
    converted_available_ = converted_offset_ = 0;
    if (source_ended) return done;

    std::uint64_t room = source_.size() - source_held_;
    if (data_size_ != wav_size_unknown) room = std::min<std::uint64_t>(room, data_size_ - consumed_);
    const std::uint32_t got =
        room == 0 ? 0 : file_->read(source_.data() + source_held_, static_cast<std::uint32_t>(room), abort);
    consumed_ += got;
    if (got == 0) source_ended = true;
    else source_held_ += got;

    header_.cbSrcLength = source_held_;
    header_.cbSrcLengthUsed = header_.cbDstLengthUsed = 0;
    DWORD flags = source_ended ? ACM_STREAMCONVERTF_END : 0;
    flags |= started_ ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_START;
    started_ = true;
    if (acmStreamConvert(stream_, &header_, flags) != 0) return done;
    const std::uint32_t used = std::min<std::uint32_t>(header_.cbSrcLengthUsed, source_held_);
    std::memmove(source_.data(), source_.data() + used, source_held_ - used);
    source_held_ -= used;
    converted_available_ = header_.cbDstLengthUsed;
    converted_offset_ = 0;
  }
  const std::uint32_t rest = bytes - done;
  if (out) std::memcpy(out + done, destination_.data() + converted_offset_, rest);
  converted_offset_ += rest;
  return done + rest;
}

bool wav_acm_decoder::decode(audio_block& out, const abort_signal& abort) {
  const std::uint32_t frame_bytes = bits_ / 8 * channels_;
  if (frame_bytes == 0) return false;
  if (frames_to_drop_ > 0) {
    produce(nullptr, frames_to_drop_ * frame_bytes, abort);
    frames_to_drop_ = 0;
  }
  std::uint64_t frames = acm_frames_per_block;
  if (frames_left_ != wav_size_unknown && frames_left_ < frames) frames = frames_left_;
  if (frames == 0) return false;
  const std::uint32_t wanted = static_cast<std::uint32_t>(frames) * frame_bytes;
  if (output_.size() < wanted) output_.resize(wanted);
  std::uint32_t got = produce(output_.data(), wanted, abort);
  got -= got % frame_bytes;
  if (got == 0) return false;
  if (frames_left_ != wav_size_unknown) frames_left_ -= got / frame_bytes;
  out.set_data_int(output_.data(), got, bits_, sample_rate_, channels_, channel_mask_);
  return true;
}

void wav_acm_decoder::seek(double seconds, const abort_signal& abort) {
  const std::uint64_t current = data_offset_ + consumed_;
  const double from = seconds > 0.0 ? seconds : 0.0;
  std::uint64_t position;
  if (adpcm_) {
    // The block that holds the sample is decoded from its start (every block
    // starts afresh) and its samples before the sought one are dropped.
    const adpcm_block_layout& layout = adpcm_->layout;
    const std::uint64_t count = adpcm_->sample_count;
    const double wanted = std::floor(from * source_rate_ + 0.5);
    const double last = count != wav_size_unknown ? static_cast<double>(count) : 9e15;
    const std::uint64_t sample = static_cast<std::uint64_t>(std::min(wanted, last));
    const std::uint64_t block = sample / layout.samples_per_block;
    position = block * layout.block_bytes;
    frames_to_drop_ = static_cast<std::uint32_t>(sample - block * layout.samples_per_block);
    frames_left_ = count != wav_size_unknown ? count - sample : wav_size_unknown;
  } else {
    position = static_cast<std::uint64_t>(std::floor(std::min(from * source_byte_rate_, 9e15)));
    if (source_block_align_ != 0) position -= position % source_block_align_;
  }
  if (data_size_ != wav_size_unknown && position > data_size_) position = data_size_;
  consumed_ = position;
  source_held_ = converted_available_ = converted_offset_ = 0;
  started_ = false;
  const std::uint64_t target = data_offset_ + position;
  if (file_->can_seek()) file_->seek(target, abort);
  else wav_move_forward_to(*file_, current, target, abort);
}
