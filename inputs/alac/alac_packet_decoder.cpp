#include "inputs/alac/alac_packet_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <new>
#include <limits>

#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"

namespace {

constexpr std::uint32_t version_word_size = 4;
constexpr std::uint32_t config_size = 24;
constexpr std::uint32_t max_channels = 8;
constexpr std::uint64_t max_output_bytes = 0x1000000;

std::uint32_t big_endian_32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

alac_config read_alac_config(const void* setup, std::uint32_t setup_size) {
  if (!setup || setup_size < version_word_size + config_size) vantrel_io::throw_io_data();
  const auto* config = static_cast<const std::uint8_t*>(setup) + version_word_size;
  alac_config result;
  result.frame_length = big_endian_32(config);
  result.bit_depth = config[5];
  result.channels = config[9];
  result.sample_rate = big_endian_32(config + 20);
  return result;
}

alac_packet_decoder::alac_packet_decoder(const void* setup, std::uint32_t setup_size)
    : config_(read_alac_config(setup, setup_size)) {
  if (config_.channels == 0 || config_.channels > max_channels) vantrel_io::throw_io_data();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ALAC);
  if (!codec) vantrel_io::throw_io_data();
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    release();
    throw std::bad_alloc();
  }
  // The library reads the configuration as a whole "alac" atom: its length
  // and type in front of the payload.
  const std::uint32_t cookie_size = setup_size + 8;
  auto* cookie = static_cast<std::uint8_t*>(av_mallocz(cookie_size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!cookie) {
    release();
    throw std::bad_alloc();
  }
  cookie[0] = static_cast<std::uint8_t>(cookie_size >> 24);
  cookie[1] = static_cast<std::uint8_t>(cookie_size >> 16);
  cookie[2] = static_cast<std::uint8_t>(cookie_size >> 8);
  cookie[3] = static_cast<std::uint8_t>(cookie_size);
  std::memcpy(cookie + 4, "alac", 4);
  std::memcpy(cookie + 8, setup, setup_size);
  context_->extradata = cookie;
  context_->extradata_size = static_cast<int>(cookie_size);
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    release();
    vantrel_io::throw_io_data();
  }
}

alac_packet_decoder::~alac_packet_decoder() { release(); }

void alac_packet_decoder::release() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);  // frees the extradata too
}

void alac_packet_decoder::decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) {
  abort.check_and_throw();
  out.set_sample_count(0);
  if (size == 0) return;  // every packet stands alone: nothing is held back
  const std::uint64_t output_bytes = std::uint64_t(config_.frame_length) * bytes_per_sample() * config_.channels;
  if (output_bytes == 0 || output_bytes > max_output_bytes) vantrel_io::throw_io_data();
  if (size > std::numeric_limits<int>::max() - AV_INPUT_BUFFER_PADDING_SIZE) vantrel_io::throw_io_data();

  padded_.assign(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  std::memcpy(padded_.data(), data, size);
  packet_->data = padded_.data();
  packet_->size = static_cast<int>(size);
  const int sent = avcodec_send_packet(context_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  if (sent < 0) vantrel_io::throw_io_data();
  if (avcodec_receive_frame(context_, frame_) < 0) vantrel_io::throw_io_data();

  const std::uint32_t frames = static_cast<std::uint32_t>(frame_->nb_samples);
  if (frame_->ch_layout.nb_channels != static_cast<int>(config_.channels) || frames > config_.frame_length) {
    av_frame_unref(frame_);
    vantrel_io::throw_io_data();
  }
  interleave(*frame_, frames);
  // libavcodec hands the channels over in the speaker-mask order already and
  // names their speakers; reordering them here again would swap them back.
  const std::uint64_t library_mask = frame_->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame_->ch_layout.u.mask : 0;
  const std::uint32_t mask = channel_mask_or_default(static_cast<std::uint32_t>(library_mask), config_.channels);
  av_frame_unref(frame_);
  out.set_data_int(output_.data(), frames * bytes_per_sample() * config_.channels, bytes_per_sample() * 8,
                   config_.sample_rate, config_.channels, mask);
}

void alac_packet_decoder::interleave(const AVFrame& frame, std::uint32_t frames) {
  const std::uint32_t width = bytes_per_sample();
  const std::uint32_t channels = config_.channels;
  output_.resize(std::max<std::size_t>(output_.size(), std::size_t(config_.frame_length) * width * channels));
  const bool planar16 = frame.format == AV_SAMPLE_FMT_S16P;
  if (!planar16 && frame.format != AV_SAMPLE_FMT_S32P) vantrel_io::throw_io_data();
  // Deeper samples sit in the top bits of 32-bit words.
  const int shift = planar16 ? 0 : 32 - static_cast<int>(width * 8);
  for (std::uint32_t c = 0; c < channels; ++c) {
    std::uint8_t* target = output_.data() + c * width;
    if (planar16) {
      const auto* source = reinterpret_cast<const std::int16_t*>(frame.extended_data[c]);
      for (std::uint32_t i = 0; i < frames; ++i, target += width * channels) {
        const auto value = static_cast<std::uint16_t>(source[i]);
        target[0] = static_cast<std::uint8_t>(value);
        target[1] = static_cast<std::uint8_t>(value >> 8);
      }
    } else {
      const auto* source = reinterpret_cast<const std::int32_t*>(frame.extended_data[c]);
      for (std::uint32_t i = 0; i < frames; ++i, target += width * channels) {
        const auto value = static_cast<std::uint32_t>(source[i] >> shift);
        for (std::uint32_t b = 0; b < width; ++b) target[b] = static_cast<std::uint8_t>(value >> (8 * b));
      }
    }
  }
}

void alac_packet_decoder::get_info(track_info& out) const {
  out.set_tech("codec", track_info::until_nul, "ALAC", track_info::until_nul);
  out.set_tech("encoding", track_info::until_nul, "lossless", track_info::until_nul);
  out.set_tech_int("bitspersample", config_.bit_depth);
  out.set_tech_int("samplerate", config_.sample_rate);
  out.set_tech_int("channels", config_.channels);
}
