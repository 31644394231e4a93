// The libogg packet record the Ogg input hands a codec (packet_codec.h),
// checked for its size before it is read.
#pragma once

#include <ogg/ogg.h>

#include <cstdint>

#include "io/io_exceptions.h"
#include "playback/decoders/packet_codec.h"

inline const ogg_packet& ogg_packet_record(const void* pointer, std::uint32_t size) {
  if (size != ogg_packet_record_size || !pointer) vantrel_io::throw_io_data();
  return *static_cast<const ogg_packet*>(pointer);
}
