// The FLAC input as the input dispatch sees it: which files it claims and the
// objects it opens them as. Each object is a thin face over one flac_input.
#include <memory>

#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/exceptions.h"
#include "foundation/string_object.h"
#include "metadata/decoder_service.h"
#include "metadata/mime_type_match.h"
#include "playback/inputs/flac/flac_input.h"

namespace {

// The operations every kind of open object shares.
template <class Interface>
class flac_object : public Interface {
public:
  flac_input input;

  std::uint32_t get_subsong_count() override { return input.get_subsong_count(); }
  std::uint32_t get_subsong(std::uint32_t index) override { return input.get_subsong(index); }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override { input.get_info(subsong, out); }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override { return input.get_file_stats(abort); }
};

class flac_decoder_object : public flac_object<decoder_instance_ext> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) override {
    input.initialize(subsong, flags, abort);
  }
  bool run(audio_block& out, const abort_signal& abort) override { return input.run(out, abort); }
  void seek(double seconds, const abort_signal& abort) override { input.seek(seconds, abort); }
  bool can_seek() override { return input.can_seek(); }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info&, double&) override { return false; }
  void on_idle(const abort_signal& abort) override { input.on_idle(abort); }
  // The raw form would need a byte container; qiv::string_object ends at the first zero byte.
  bool run_raw(audio_block&, qiv::string_object&, const abort_signal&) override {
    throw qiv::exception_not_implemented();
  }
  void set_message_sink(decoder_message_sink* sink) override { input.set_message_sink(sink); }
};

class flac_info_reader : public flac_object<info_reader> {};

class flac_info_writer : public flac_object<info_writer> {
public:
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal&) override {
    input.set_info(subsong, info);
  }
  void commit(const abort_signal& abort) override { input.commit(abort); }
};

template <class Object, class Out>
void open_object(Out& out, vantrel_io::file_ptr file, const char* path, open_reason reason,
                 const abort_signal& abort) {
  service_ptr<Object> object(new service_counted<Object>());
  object->input.open(std::move(file), path, reason, abort);
  out = object.get();
}

class decoder_service_flac : public decoder_service {
public:
  bool is_our_content_type(const char* mime_type) override {
    for (const char* type : {"audio/flac", "audio/x-flac", "application/flac", "application/x-flac"}) {
      if (mime_type_matches(mime_type, type)) return true;
    }
    return false;
  }
  bool is_our_path(const char*, const char* extension) override {
    return qiv::compare_nocase(extension, "flac") == 0 || qiv::compare_nocase(extension, "fla") == 0;
  }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                         const abort_signal& abort) override {
    open_object<flac_decoder_object>(out, std::move(file), path, open_reason::decode, abort);
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    open_object<flac_info_reader>(out, std::move(file), path, open_reason::info_read, abort);
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    open_object<flac_info_writer>(out, std::move(file), path, open_reason::info_write, abort);
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }
};

service_factory_single_t<decoder_service_flac> flac_input_registration;

}  // namespace
