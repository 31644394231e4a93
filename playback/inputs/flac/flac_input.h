// One open native FLAC file, for playing, for reading its info or for
// writing it. A file whose embedded cue sheet lists tracks shows as one
// subsong per track, each a time range of the one audio stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/cue/cue_embedded.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/inputs/flac/flac_stream_decoder.h"

class audio_block;
struct flac_metadata_head;

class flac_input {
public:
  // Opening flag of initialize: report samples that do not fit the depth.
  static constexpr std::uint32_t flag_integrity_check = 8;

  flac_input();
  ~flac_input();
  flac_input(const flac_input&) = delete;
  flac_input& operator=(const flac_input&) = delete;

  // exception_io_data when the file is no FLAC stream (the dispatch then
  // tries the next input).
  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);

  std::uint32_t get_subsong_count() const noexcept;
  std::uint32_t get_subsong(std::uint32_t index) const noexcept;
  void get_info(std::uint32_t subsong, track_info& out) const;
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) const { get_info(subsong, out); }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort);

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  // Seconds from the subsong's start; negative times seek to its start,
  // times past its end to its end.
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() const noexcept { return seekable_; }
  // A native FLAC stream never changes format mid-stream.
  bool get_dynamic_info(track_info&, double&) const noexcept { return false; }
  void on_idle(const abort_signal& abort);
  void set_message_sink(decoder_message_sink* sink);

  void set_info(std::uint32_t subsong, const track_info& info);
  void commit(const abort_signal& abort);

private:
  void open_stream(const abort_signal& abort);
  // The info from the metadata read whole from the file, without a decoder;
  // false when libFLAC refuses a block.
  bool open_head(const abort_signal& abort);
  void read_other_tags_without_fields(const abort_signal& abort);
  void seek_to(double seconds, const abort_signal& abort);
  void write_info(const track_info& info, const abort_signal& abort);
  void load_cue_sheet();
  void keep_block_sheet_last();

  std::unique_ptr<flac_stream_decoder> decoder_;
  // The file's metadata as it stands while a writer holds the file.
  std::unique_ptr<flac_metadata_head> head_;
  track_info_impl cached_info_;
  bool at_start_ = false;
  vantrel_io::file_ptr file_;
  std::string path_;
  bool opened_by_input_ = false;
  bool for_decode_ = false;
  bool seekable_ = false;
  // The comment blocks hold no field and the info is that of other tags.
  bool fields_from_other_tags_ = false;
  double start_ = 0.0;
  double length_ = -1.0;  // negative: to the end of the stream
  double position_ = 0.0;
  cue_track_map cue_sheet_;
  // Whether the "cuesheet" field came from a CUESHEET block rather than a comment.
  cue_sheet_storage sheet_storage_ = cue_sheet_storage::text;
  std::string block_sheet_text_;
  service_ptr<decoder_message_sink> sink_;
};
