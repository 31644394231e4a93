// One opened Matroska or WebM file as the input dispatch uses it: its chosen
// audio track set up with a packet decoder, its chapters as subsongs, its
// tags as per-subsong fields, decoding with exact trimming, seeking through
// the Cues, and new tags written in place.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/decoders/packet_codec.h"
#include "inputs/matroska/ebml_reader.h"
#include "inputs/matroska/matroska_block_reader.h"
#include "inputs/matroska/matroska_file_state.h"

class audio_block;
class retag_through_temp_file;

namespace Matroska {

inline constexpr char damaged_tags_warning[] = "Damaged Matroska tags skipped; the audio still plays.";

class matroska_input {
public:
  matroska_input() = default;
  matroska_input(const matroska_input&) = delete;
  matroska_input& operator=(const matroska_input&) = delete;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);

  std::uint32_t get_subsong_count() const noexcept;
  std::uint32_t get_subsong(std::uint32_t index) const noexcept;
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort);
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) { return file_->get_stats(abort); }

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() const noexcept { return true; }
  bool get_dynamic_info(track_info&, double&) { return false; }
  void on_idle(const abort_signal& abort) { file_->check_abort(abort); }
  void set_message_sink(decoder_message_sink* sink);

  // Edits wait for commit, which writes one new Tags element: in place in
  // steps whose every change readers see is one write within one page,
  // where the layout allows such an order, else in a copy that replaces the
  // file.
  void set_info(std::uint32_t subsong, const track_info& info);
  void commit(const abort_signal& abort);

  // The chapter UID a subsong stands for (0: the whole file); a number that
  // does not fit the file is exception_io_data unless allow_any is set.
  std::uint64_t subsong_chapter_uid(std::uint32_t subsong, bool allow_any) const;
  // Seconds; `limited` is false for a chapter that runs to the end of the file.
  double chapter_length(std::size_t index, bool& limited) const;

private:
  // The file's top-level elements; every Tags element when it is to be written.
  static matroska_file_scan map_file(ebml_reader& reader, bool for_writing);
  void set_up_track(bool for_decoding, const abort_signal& abort);
  void select_subsong(std::uint32_t subsong, std::uint32_t flags);
  void seek_to(double seconds);
  // False at the end of the Segment; true without frames where the walk
  // went round damaged Tags.
  bool read_cluster(const abort_signal& abort);
  bool next_frame(matroska_frame& frame, const abort_signal& abort);
  bool no_frame_follows(const abort_signal& abort);
  std::uint64_t next_known_element(std::uint64_t position) const;
  double to_whole_samples(double seconds) const;
  void load_tags(const abort_signal& abort);
  std::uint64_t measure_tags(ebml_reader& reader);
  void report_damaged_tags();
  void remap_after_failed_write() noexcept;
  // False when no copy of the file can be made.
  bool place_tags_through_copy(retag_through_temp_file& temp, const std::vector<std::uint8_t>& content,
                               const abort_signal& abort);
  void deliver_warnings();
  // The track whose Tags count as the file's, and whose name is its title
  // while no tag gives one: the one that plays (none: null).
  matroska_track_ptr tags_track() const;
  // Each chapter's name by its UID: its title while its tags give none.
  std::map<std::uint64_t, std::string> chapter_names() const;

  vantrel_io::file_ptr file_;
  std::string path_;
  // Only a file the input opened itself can be replaced by a copy: the
  // caller's file object has no path to move one to.
  bool opened_by_input_ = false;
  open_reason reason_ = open_reason::info_read;
  matroska_file_state state_;
  // Per chapter of the chapter list: one past the last chapter of its edition.
  std::vector<std::size_t> edition_ends_;
  matroska_track_ptr track_;
  packet_decoder_ptr decoder_;
  std::int64_t bitrate_ = 0;
  double sample_rate_ = 0.0;
  double seconds_per_tick_ = 0.001;
  // Priming samples the codec puts before the stream (Opus pre-skip), as
  // seconds: every target on the block timeline lies that much later.
  double start_skip_ = 0.0;

  matroska_cluster_frames pending_;
  std::uint64_t next_cluster_ = 0;
  double position_ = 0.0;
  double seek_target_ = 0.0;
  double subsong_start_ = 0.0;
  double subsong_length_ = 0.0;
  bool subsong_limited_ = false;

  std::map<std::uint64_t, track_info_impl> tag_sets_;
  bool tags_loaded_ = false;
  std::map<std::uint64_t, track_info_impl> tags_to_write_;

  service_ptr<decoder_message_sink> sink_;
  // Tags elements whose size cannot be trusted: the cluster walk goes round them.
  std::set<std::uint64_t> damaged_tags_;
  bool tags_damage_seen_ = false;
  bool damaged_tags_reported_ = false;
};

}  // namespace Matroska
