// The Ogg input as the input dispatch sees it: which files it claims and the
// objects it opens them as, each a thin face over one ogg_input.
#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/exceptions.h"
#include "foundation/string_object.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_service.h"
#include "metadata/mime_type_match.h"
#include "playback/inputs/ogg/ogg_input.h"

namespace {

template <class Interface>
class ogg_object : public Interface {
public:
  ogg_input input;

  std::uint32_t get_subsong_count() override { return input.get_subsong_count(); }
  std::uint32_t get_subsong(std::uint32_t index) override { return index; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) override {
    input.get_info(subsong, out, abort);
  }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override { return input.get_file_stats(abort); }
};

class ogg_decoder_object : public ogg_object<decoder_instance_ext> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) override {
    input.initialize(subsong, flags, abort);
  }
  bool run(audio_block& out, const abort_signal& abort) override { return input.run(out, abort); }
  void seek(double seconds, const abort_signal& abort) override { input.seek(seconds, abort); }
  bool can_seek() override { return input.can_seek(); }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info& out, double& timestamp) override { return input.get_dynamic_info(out, timestamp); }
  void on_idle(const abort_signal& abort) override { input.on_idle(abort); }
  bool run_raw(audio_block&, qiv::string_object&, const abort_signal&) override {
    throw qiv::exception_not_implemented();
  }
  void set_message_sink(decoder_message_sink* sink) override { input.set_message_sink(sink); }
};

class ogg_info_reader : public ogg_object<info_reader> {};

class ogg_info_writer : public ogg_object<info_writer> {
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

class decoder_service_ogg : public decoder_service {
public:
  bool is_our_content_type(const char* mime_type) override {
    for (const char* type : {"application/ogg", "application/x-ogg", "audio/ogg", "audio/x-ogg"}) {
      if (mime_type_matches(mime_type, type)) return true;
    }
    return false;
  }
  bool is_our_path(const char*, const char* extension) override {
    for (const char* ours : {"ogg", "spx", "oga", "ogx", "ogv", "opus"}) {
      if (qiv::compare_nocase(extension, ours) == 0) return true;
    }
    return false;
  }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                         const abort_signal& abort) override {
    open_object<ogg_decoder_object>(out, std::move(file), path, open_reason::decode, abort);
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    open_object<ogg_info_reader>(out, std::move(file), path, open_reason::info_read, abort);
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    open_object<ogg_info_writer>(out, std::move(file), path, open_reason::info_write, abort);
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }
};

service_factory_single_t<decoder_service_ogg> ogg_input_registration;

}  // namespace
