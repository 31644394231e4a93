// What the two FLAC packet decoders (Ogg and Matroska) do alike: pass the
// stream decoder's messages to the container's receiver, and decode one
// packet through the memory file the stream decoder reads.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "playback/decoders/packet_codec.h"

class audio_block;
class flac_stream_decoder;

class flac_sink_to_receiver : public decoder_message_sink {
public:
  explicit flac_sink_to_receiver(stream_receiver* receiver) : receiver_(receiver) {}
  void on_message(const char* text, bool is_error) override {
    receiver_->report(text, is_error ? stream_receiver::warning : stream_receiver::information);
  }

private:
  service_ptr<stream_receiver> receiver_;
};

// A packet with no whole frame empties the block; the next one starts afresh.
void flac_decode_packet(flac_stream_decoder& decoder, vantrel_io::file_object& packet_file, const void* data,
                        std::uint32_t size, audio_block& out, const abort_signal& abort);
