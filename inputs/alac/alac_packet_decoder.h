// Apple Lossless packets decoded by libavcodec's ALAC decoder. The set-up is
// the payload of an MP4 "alac" box: a 4-byte version word and the 24-byte
// ALAC configuration (big-endian frame length, compatible version, bit depth,
// three Rice parameters, channel count, maximum run, maximum frame bytes,
// average bit rate, sample rate). One packet gives one audio block.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"

class audio_block;
class track_info;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

struct alac_config {
  std::uint32_t frame_length = 0;
  std::uint32_t bit_depth = 0;
  std::uint32_t channels = 0;
  std::uint32_t sample_rate = 0;
};

// The configuration of an "alac" payload; exception_io_data when it is too
// short to hold one.
alac_config read_alac_config(const void* setup, std::uint32_t setup_size);

class alac_packet_decoder {
public:
  // More than 8 channels, a configuration libavcodec refuses: exception_io_data.
  alac_packet_decoder(const void* setup, std::uint32_t setup_size);
  ~alac_packet_decoder();
  alac_packet_decoder(const alac_packet_decoder&) = delete;
  alac_packet_decoder& operator=(const alac_packet_decoder&) = delete;

  // A packet the library refuses: exception_io_data; the next packet still
  // decodes.
  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort);
  void get_info(track_info& out) const;

private:
  std::uint32_t bytes_per_sample() const { return ((config_.bit_depth + 7) & ~7u) / 8; }
  void release();
  void interleave(const AVFrame& frame, std::uint32_t frames);

  alac_config config_;
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  // The packet with the zeroed tail the library's bit reader may overread.
  std::vector<std::uint8_t> padded_;
  // One packet's interleaved integer samples; only grows.
  std::vector<std::uint8_t> output_;
};
