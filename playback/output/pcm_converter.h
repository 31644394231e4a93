// Float samples to the integer PCM a device takes, for outputs that cannot
// take floats. Every request for the service makes a fresh instance.
#pragma once

#include "core/service_object.h"
#include "foundation/array.h"
#include "playback/output/audio_chunk_view.h"

class pcm_converter : public service_object {
public:
  static constexpr GUID class_guid = {0x61C4E6E4, 0xC31E, 0x4C89, {0xA7, 0x59, 0xBF, 0x09, 0x49, 0xDF, 0xC5, 0x28}};
  using service_parent = service_object;

  // Replaces `out` with frames x channels samples of container_bits / 8
  // bytes each, little-endian: round(x x 2^(valid_bits - 1) x scale) to
  // nearest (ties to even), clipped, the valid bits at the top of the
  // container; 8-bit containers are unsigned (offset by 128), as 8-bit PCM
  // always is. `option` is accepted for callers that pass it and changes
  // nothing. A container other than 8, 16, 24 or 32 bits, valid bits outside
  // 2 .. container bits, or a chunk without channels throw
  // exception_io_data and leave `out` untouched.
  virtual void convert(const audio_chunk_view& chunk, qiv::byte_array& out, unsigned valid_bits,
                       unsigned container_bits, bool option, float scale) = 0;

protected:
  ~pcm_converter() = default;
};
