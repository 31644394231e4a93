// The system codec behind an MPEG audio packet decoder: the Audio
// Compression Manager or a Media Foundation transform. Both learn the sample
// rate and channel count by control and open lazily at the first decode.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "core/abort_signal.h"

class audio_block;

class mpeg_decoder_backend {
public:
  virtual ~mpeg_decoder_backend() = default;
  virtual void reset() = 0;
  // A size of 0 drains the codec; `out` is left empty when nothing came out.
  virtual void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) = 0;
  // Stores the sample rate or channel count; other messages are ignored.
  std::uint32_t control(const GUID& message, std::uint32_t value);

protected:
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
};

std::unique_ptr<mpeg_decoder_backend> make_acm_mpeg_backend();
// Null when the system has no Media Foundation MP3 transform.
std::unique_ptr<mpeg_decoder_backend> make_mf_mpeg_backend();
