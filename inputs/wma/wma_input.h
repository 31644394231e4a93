// One opened Windows Media file as the input dispatch uses it: its first
// audio stream decoded by the runtime's synchronous reader to interleaved
// integer PCM, its header attributes as fields, and its tags rewritten
// through the runtime's metadata editor.
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/com_ptr.h"
#include "inputs/wma/com_scope.h"
#include "inputs/wma/runtime_worker.h"
#include "inputs/wma/wma_runtime.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"

namespace wma {

// The audio stream a reader decodes and the format it hands out.
struct wma_audio_stream {
  WORD stream_number = 0;
  DWORD output_number = 0;
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  std::uint32_t bits_per_sample = 0;
  std::vector<std::uint8_t> media_type;
};

class wma_input {
public:
  wma_input() = default;
  ~wma_input();
  wma_input(const wma_input&) = delete;
  wma_input& operator=(const wma_input&) = delete;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);

  std::uint32_t get_subsong_count() const noexcept { return 1; }
  std::uint32_t get_subsong(std::uint32_t) const noexcept { return 0; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort);
  vantrel_io::file_stats get_file_stats(const abort_signal& abort);

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() const { return true; }
  bool get_dynamic_info(track_info&, double&) { return false; }
  void on_idle(const abort_signal&) {}
  void set_message_sink(decoder_message_sink*) {}

  // The new information waits for commit, which rewrites the attributes and
  // reopens the reader on the edited file.
  void set_info(std::uint32_t subsong, const track_info& info);
  void commit(const abort_signal& abort);

private:
  void open_reader(bool choose_stream, const abort_signal& abort);
  void close_reader() noexcept;
  // A reader the worker may still be inside is given up, never released.
  void abandon_reader() noexcept;
  void write_tags(const track_info& info, const abort_signal& abort);

  // First: COM outlives every interface below.
  com_scope com_;
  runtime runtime_;
  // Every call into the runtime goes through here (runtime_worker.h).
  runtime_worker worker_;
  qiv::com_ptr<IWMSyncReader> reader_;
  vantrel_io::file_ptr file_;
  bool own_file_ = false;
  bool for_writing_ = false;
  std::string path_;

  wma_audio_stream stream_;
  bool at_end_ = false;

  std::optional<track_info_impl> pending_info_;
};

}  // namespace wma
