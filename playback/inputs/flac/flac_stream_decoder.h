// A FLAC stream read from a file object, decoded by libFLAC into audio
// blocks of floats, with the stream's metadata blocks read into a
// track_info. Serves native files (seekable or not) and, through an
// in-memory file, FLAC packets carried by containers.
#pragma once

#include <FLAC/stream_decoder.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "playback/inputs/flac/flac_comment_blocks.h"
#include "playback/audio_block.h"

class track_info;

// The libFLAC decoder object, deleted with its own function.
struct flac_decoder_deleter {
  void operator()(FLAC__StreamDecoder* decoder) const noexcept { FLAC__stream_decoder_delete(decoder); }
};
using flac_decoder_handle = std::unique_ptr<FLAC__StreamDecoder, flac_decoder_deleter>;

struct flac_stream_info {
  std::uint32_t sample_rate = 0;
  std::uint32_t channels = 0;
  std::uint32_t bits_per_sample = 0;
  std::uint64_t total_samples = 0;  // 0: unknown
  std::uint8_t md5[16] = {};
};

class flac_stream_decoder {
public:
  // An unseekable decoder never asks the file to seek, tell or report its
  // size, so it serves streams and files that lost their start.
  explicit flac_stream_decoder(bool seekable);
  ~flac_stream_decoder();
  flac_stream_decoder(const flac_stream_decoder&) = delete;
  flac_stream_decoder& operator=(const flac_stream_decoder&) = delete;

  // Reads the metadata from the file's current position up to the first
  // frame into `info`: fields, ReplayGain, technical entries, length and a
  // "cuesheet" field made from a CUESHEET block unless a comment gave one.
  // exception_io_data for a stream it cannot use, exception_aborted when
  // the signal is raised.
  void open(vantrel_io::file_ptr file, track_info& info, const abort_signal& abort);
  // Before open: PICTURE blocks are stepped over instead of copied (and so
  // not checked for damage either), for a caller that reads fields only.
  // Only a seekable decoder can skip them.
  void skip_pictures();
  // After open: the info's "cuesheet" field is the CUESHEET block's text, no comment's.
  bool cuesheet_from_block() const noexcept { return cuesheet_from_block_; }
  // The next frame; false at the end of the stream.
  bool run(audio_block& out, const abort_signal& abort);
  // To the frame that holds sample floor(seconds x rate + 0.5); at or past
  // a known end, run answers false from then on.
  void seek(double seconds, const abort_signal& abort);
  void seek_to_sample(std::uint64_t sample, const abort_signal& abort);
  // Drops decoded frames and resynchronises on the next frame header.
  void flush(const abort_signal& abort);
  std::uint32_t get_sample_rate() const;
  const flac_stream_info& get_stream_info() const noexcept { return stream_info_; }
  // Null selects a sink that discards the messages.
  void set_message_sink(decoder_message_sink* sink);
  // Reports, once, samples that do not fit the stream's bit depth.
  void set_integrity_check(bool on) noexcept { integrity_check_ = on; }

private:
  struct callbacks;
  friend struct callbacks;

  void initialise(vantrel_io::file_ptr file, const abort_signal& abort);
  // Throws what a failed libFLAC call means: an abort or a data error.
  [[noreturn]] void fail() const;
  void print_once(const char* text);
  void on_metadata(const FLAC__StreamMetadata& block);
  void on_frame(const FLAC__Frame& frame, const FLAC__int32* const* buffers);
  void clear_queue() noexcept;
  void deliver_pending_warning();
  // Warns once that a metadata block does not parse; decoding goes on.
  void on_damaged_metadata() noexcept;

  flac_decoder_handle decoder_;
  const bool seekable_;
  vantrel_io::file_ptr file_;
  service_ptr<decoder_message_sink> sink_;
  const abort_signal* abort_ = nullptr;
  bool error_printed_ = false;
  // From a damaged metadata block until the first frame.
  bool passing_damaged_metadata_ = false;
  bool stream_info_seen_ = false;
  flac_stream_info stream_info_;
  track_info* target_info_ = nullptr;
  // Frames go straight into the block that run fills; frames that arrive
  // outside run (the one a seek lands in) wait in the queue.
  audio_block* run_target_ = nullptr;
  bool run_target_filled_ = false;
  audio_block_list queue_;
  std::string cuesheet_text_;
  bool cuesheet_from_block_ = false;
  flac_comment_reading comments_;
  std::string pending_warning_;
  std::uint32_t channel_mask_ = 0;
  bool ended_ = false;
  bool integrity_check_ = false;
  std::uint64_t metadata_bytes_ = 0;
  std::uint64_t metadata_start_ = 0;  // 0: unknown (a stream info block never starts at 0)
};
