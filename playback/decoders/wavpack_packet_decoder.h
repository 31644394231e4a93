// WavPack audio that arrives as packets of a container stream (Matroska's
// "A_WAVPACK4"): each packet is a WavPack block without the first 20 bytes
// of its header. The decoder puts a made-up header back in front and feeds
// the block to the library from memory.
#pragma once

#include <wavpack/wavpack.h>

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"

class audio_block;
class track_info;

class wavpack_packet_decoder {
public:
  // Whether the codec private data describes a stream this decoder takes:
  // exactly a 2-byte little-endian block version of the 0x04xx family.
  static bool accepts_codec_private(const void* data, std::size_t size);

  // Refuses data that accepts_codec_private refuses: exception_io_data.
  wavpack_packet_decoder(const void* codec_private, std::size_t size);
  ~wavpack_packet_decoder();
  wavpack_packet_decoder(const wavpack_packet_decoder&) = delete;
  wavpack_packet_decoder& operator=(const wavpack_packet_decoder&) = delete;

  // Opens the library from this packet unless it is open already.
  void set_first_frame(const void* data, std::size_t size, const abort_signal& abort);
  // The container seeked: the next packet starts a fresh library context.
  void reset() { reset_requested_ = true; }
  // Throws exception_io_data for a packet that cannot be decoded.
  void decode(const void* data, std::size_t size, audio_block& out, const abort_signal& abort);
  void get_info(track_info& out) const;

  // The rebuilt block the library reads; for tests of the header.
  const std::vector<std::uint8_t>& block() const { return block_; }

private:
  // Rebuilds the packet into block_ and answers its sample count.
  std::uint32_t rebuild(const void* data, std::size_t size);
  void open_context(const void* data, std::size_t size);
  void close_context();

  std::vector<std::uint8_t> block_;
  std::size_t read_offset_ = 0;
  std::uint16_t version_ = 0;
  WavpackContext* context_ = nullptr;
  int mode_ = 0;
  bool mode_known_ = false;
  bool reset_requested_ = false;
  std::vector<std::int32_t> buffer_;

  friend struct wavpack_memory_reader;
};
