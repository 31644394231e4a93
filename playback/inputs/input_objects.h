// The objects an input hands to the input dispatch: a decoder, an info
// reader and an info writer, each a thin face over one object of the
// input's own class, which offers the operations these forward to.
#pragma once

#include <utility>

#include "core/service_object.h"
#include "foundation/exceptions.h"
#include "foundation/string_object.h"
#include "metadata/decoder_service.h"

template <class Input, class Interface>
class input_object : public Interface {
public:
  Input input;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
    input.open(std::move(file), path, reason, abort);
  }
  std::uint32_t get_subsong_count() override { return input.get_subsong_count(); }
  std::uint32_t get_subsong(std::uint32_t index) override { return input.get_subsong(index); }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) override {
    input.get_info(subsong, out, abort);
  }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override { return input.get_file_stats(abort); }
};

template <class Input>
class input_decoder_object : public input_object<Input, decoder_instance_ext> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) override {
    this->input.initialize(subsong, flags, abort);
  }
  bool run(audio_block& out, const abort_signal& abort) override { return this->input.run(out, abort); }
  void seek(double seconds, const abort_signal& abort) override { this->input.seek(seconds, abort); }
  bool can_seek() override { return this->input.can_seek(); }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info& out, double& timestamp) override {
    return this->input.get_dynamic_info(out, timestamp);
  }
  void on_idle(const abort_signal& abort) override { this->input.on_idle(abort); }
  // The raw form would need a byte container; qiv::string_object ends at the first zero byte.
  bool run_raw(audio_block&, qiv::string_object&, const abort_signal&) override {
    throw qiv::exception_not_implemented();
  }
  void set_message_sink(decoder_message_sink* sink) override { this->input.set_message_sink(sink); }
};

template <class Input>
class input_info_reader : public input_object<Input, info_reader> {};

template <class Input>
class input_info_writer : public input_object<Input, info_writer> {
public:
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal&) override {
    this->input.set_info(subsong, info);
  }
  void commit(const abort_signal& abort) override { this->input.commit(abort); }
  bool has_unfinished_write() override {
    if constexpr (requires(Input& input) { input.has_unfinished_write(); }) return this->input.has_unfinished_write();
    else return false;
  }
};
