// One opened WavPack file: the library context over the main file and, for
// a hybrid file, its correction file; decoding with CRC checks, seeking by
// sample, and the whole-file info with the trailing tags.
#pragma once

#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "playback/inputs/wavpack/wavpack_stream.h"

class audio_block;
class track_info;

class wavpack_file {
public:
  wavpack_file() = default;
  ~wavpack_file();
  wavpack_file(const wavpack_file&) = delete;
  wavpack_file& operator=(const wavpack_file&) = delete;

  // A given file is rewound and kept; else the path is opened (for writing
  // when `for_writing`). A file that cannot seek is refused.
  void open(vantrel_io::file_ptr file, const char* path, bool for_writing, const abort_signal& abort);
  void read_info(track_info& out, const abort_signal& abort);
  // False at the end. New CRC errors are reported to the sink; with
  // `strict` and no sink of the caller's they are a data error.
  bool decode(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);

  void set_strict(bool strict) { strict_ = strict; }
  void set_message_sink(decoder_message_sink* sink) { sink_ = sink; }
  double length() const { return length_; }
  int mode() const { return mode_; }
  bool uses_correction() const { return (mode_ & MODE_WVC) != 0; }
  const vantrel_io::file_ptr& main_file() const { return main_.file; }
  const vantrel_io::file_ptr& correction_file() const { return correction_.file; }
  WavpackContext* context() const { return context_; }
  // Hands the main file over, closing the context (before a rewrite).
  vantrel_io::file_ptr take_file();

private:
  void open_context(bool with_correction, const abort_signal& abort);
  void close_context();

  WavpackContext* context_ = nullptr;
  int mode_ = 0;
  wavpack_stream main_;
  wavpack_stream correction_;
  std::string path_;
  bool end_reached_ = false;
  double length_ = 0.0;
  service_ptr<decoder_message_sink> sink_;
  bool strict_ = false;
  std::vector<std::int32_t> buffer_;
};

// The correction file's profile addition, for the one-off dynamic info.
inline constexpr const char* wavpack_correction_suffix = " + correction";
