// Inputs: the services that claim audio files (by MIME type or by path and
// extension) and open them for decoding, for reading their info or for
// writing it. The objects they open share one table of operations, so a
// decoder or a writer can stand wherever an info reader is expected.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "foundation/string_object.h"
#include "io/file_object.h"

class track_info;
class audio_block;
class decoder_message_sink;

// Why an input opens a file; the reader it builds may behave differently.
enum class open_reason : std::uint32_t {
  info_read = 0,
  decode = 1,
  info_write = 2,
};

class info_reader : public service_object {
public:
  static constexpr GUID class_guid = {0x8E9BB1D4, 0xA52B, 0x4DF6, {0xA9, 0x29, 0x1A, 0xAE, 0x40, 0x75, 0x38, 0x8A}};
  using service_parent = service_object;

  virtual std::uint32_t get_subsong_count() = 0;
  virtual std::uint32_t get_subsong(std::uint32_t index) = 0;
  virtual void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) = 0;
  virtual vantrel_io::file_stats get_file_stats(const abort_signal& abort) = 0;

protected:
  ~info_reader() = default;
};

class decoder_instance : public info_reader {
public:
  static constexpr GUID class_guid = {0x7EB442CD, 0xFAD7, 0x4A26, {0xAD, 0x7E, 0x16, 0xF6, 0xFC, 0x89, 0x20, 0x7B}};
  using service_parent = info_reader;

  virtual void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) = 0;
  // False at the end of the stream.
  virtual bool run(audio_block& out, const abort_signal& abort) = 0;
  virtual void seek(double seconds, const abort_signal& abort) = 0;
  virtual bool can_seek() = 0;
  // No input gives this hint a use: every decoder answers false.
  virtual bool hint_a(std::uint32_t first, std::uint32_t second) = 0;
  // True once each time the stream has new information to report.
  virtual bool get_dynamic_info(track_info& out, double& timestamp) = 0;
  virtual void on_idle(const abort_signal& abort) = 0;

protected:
  ~decoder_instance() = default;
};

// A decoder that can also hand out its samples as raw integer bytes.
class decoder_instance_ext : public decoder_instance {
public:
  static constexpr GUID class_guid = {0x2C5489EB, 0xD3C1, 0x4AD4, {0xBE, 0xA3, 0xCF, 0x40, 0x8E, 0x16, 0x1B, 0x9B}};
  using service_parent = decoder_instance;
  static constexpr bool service_is_extension = true;

  // A decoder without a raw form throws qiv::exception_not_implemented.
  virtual bool run_raw(audio_block& out, qiv::string_object& raw, const abort_signal& abort) = 0;
  // Null selects a sink that discards the messages.
  virtual void set_message_sink(decoder_message_sink* sink) = 0;

protected:
  ~decoder_instance_ext() = default;
};

class info_writer : public info_reader {
public:
  static constexpr GUID class_guid = {0xFE40FF66, 0x64C9, 0x4234, {0xB6, 0x39, 0x02, 0x8D, 0xC8, 0x06, 0x0C, 0xF7}};
  using service_parent = info_reader;

  virtual void set_info(std::uint32_t subsong, const track_info& info, const abort_signal& abort) = 0;
  // After commit, get_info answers what the file now holds: the metadata
  // update hands that to the tracks and to the dialog that asked for it.
  virtual void commit(const abort_signal& abort) = 0;
  // Whether the file still holds what a write stopped after its new tags
  // took effect left behind, which a commit finishes even when no value
  // changed. Writers whose format leaves no such state answer false.
  virtual bool has_unfinished_write() { return false; }

protected:
  ~info_writer() = default;
};

// A writer that strips every tag of the file in one step; tag removal uses it
// instead of writing emptied info.
class info_writer_ext : public info_writer {
public:
  static constexpr GUID class_guid = {0x601C0B4C, 0xF915, 0x486C, {0xA3, 0x77, 0x00, 0xE3, 0x9C, 0x4D, 0xB7, 0xE4}};
  using service_parent = info_writer;
  static constexpr bool service_is_extension = true;

  virtual void remove_tags(const abort_signal& abort) = 0;

protected:
  ~info_writer_ext() = default;
};

using info_reader_ptr = service_ptr<info_reader>;
using decoder_instance_ptr = service_ptr<decoder_instance>;
using info_writer_ptr = service_ptr<info_writer>;

// A format input. Inputs are static single instances. The opening
// operations take the file by value (the input keeps its own reference);
// with no file the input opens the path itself (vantrel_io::open_or_rewind).
class decoder_service : public service_object {
public:
  static constexpr GUID class_guid = {0x436547FC, 0xC4EF, 0x4322, {0xB5, 0x9E, 0xE6, 0x96, 0xA2, 0x5F, 0xAB, 0x2C}};
  using service_parent = service_object;

  // Set in get_flags: the dispatch skips the service when its caller asks.
  static constexpr std::uint32_t flag_skippable = 1;

  virtual bool is_our_content_type(const char* mime_type) = 0;
  // `extension` is the one the dispatch computed from the path.
  virtual bool is_our_path(const char* path, const char* extension) = 0;
  virtual void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                                 const abort_signal& abort) = 0;
  virtual void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                                  const abort_signal& abort) = 0;
  virtual void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                                   const abort_signal& abort) = 0;
  // No input gives this a use: the text stays empty. The dispatch never calls it.
  virtual void get_aux_text(vantrel_io::file_ptr file, std::uint32_t first, std::uint32_t second,
                            qiv::string_object& out, const abort_signal& abort) = 0;
  virtual std::uint32_t get_flags() = 0;

protected:
  ~decoder_service() = default;
};

using decoder_service_ptr = service_ptr<decoder_service>;
