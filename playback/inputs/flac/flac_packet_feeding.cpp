#include "playback/inputs/flac/flac_packet_feeding.h"

#include "playback/audio_block.h"
#include "playback/inputs/flac/flac_stream_decoder.h"

void flac_decode_packet(flac_stream_decoder& decoder, vantrel_io::file_object& packet_file, const void* data,
                        std::uint32_t size, audio_block& out, const abort_signal& abort) {
  packet_file.resize(0, abort);
  packet_file.write(data, size, abort);
  packet_file.seek(0, abort);
  if (decoder.run(out, abort)) return;
  decoder.flush(abort);
  out.set_sample_count(0);
  out.set_sample_rate(0);
  out.set_channels(0, 0);
  out.set_data_size(0);
}
