#include "playback/decoders/packet_codec.h"

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/guid_equal.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_message_sink.h"

namespace {

class discarding_receiver : public stream_receiver {
public:
  void report(const char*, std::uint32_t) override {}
};

class receiver_to_sink_errors_above_information : public stream_receiver {
public:
  explicit receiver_to_sink_errors_above_information(decoder_message_sink* sink) : sink_(sink) {}
  void report(const char* text, std::uint32_t severity) override {
    sink_->on_message(text, severity != information);
  }

private:
  service_ptr<decoder_message_sink> sink_;
};

}  // namespace

stream_receiver& stream_receiver::discard() {
  static service_single_instance<discarding_receiver> instance;
  return instance;
}

void packet_codec::find_and_open(packet_decoder_ptr& out, bool for_decoding, const GUID& owner, std::uint32_t param,
                                 const void* setup, std::uint32_t setup_size, const abort_signal& abort) {
  for (auto& codec : service_list_t<packet_codec>()) {
    abort.check_and_throw();
    if (!codec->accepts(owner, param, setup, setup_size)) continue;
    codec->open(out, for_decoding, owner, param, setup, setup_size, abort);
    return;
  }
  throw vantrel_io::exception_io_data();
}

const char* matroska_codec_id(const GUID& owner, const void* setup, std::uint32_t setup_size) {
  if (owner != matroska_owner_guid || setup_size != sizeof(matroska_codec_setup) || !setup) return nullptr;
  return static_cast<const matroska_codec_setup*>(setup)->codec_id;
}

namespace packet_codec_controls {

void send_flag(packet_decoder& decoder, bool flag) { decoder.control(packet_control_set_flag, flag ? 1 : 0, nullptr, 0); }

void send_receiver(packet_decoder& decoder, stream_receiver* receiver) {
  decoder.control(packet_control_set_receiver, 0, receiver ? receiver : &stream_receiver::discard(), 0);
}

void send_sink(packet_decoder& decoder, decoder_message_sink* sink) {
  if (!sink) {
    send_receiver(decoder, nullptr);
    return;
  }
  service_ptr<stream_receiver> receiver(new service_counted<receiver_to_sink_errors_above_information>(sink));
  send_receiver(decoder, receiver.get());
}

}  // namespace packet_codec_controls
