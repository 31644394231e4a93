// One opened MP4-family file as the input dispatch uses it: its first audio
// track decoded through a packet codec, its songs (chapters) as subsongs,
// decoding trimmed to the exact range of the song (gapless start and end),
// seeking through the sample tables with the codec's pre-roll.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/sample_iterator.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/packet_codec.h"

namespace tarnex {

class mp4_input {
public:
  mp4_input() = default;
  mp4_input(const mp4_input&) = delete;
  mp4_input& operator=(const mp4_input&) = delete;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);

  std::uint32_t get_subsong_count() const noexcept;
  std::uint32_t get_subsong(std::uint32_t index) const noexcept { return index + 1; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort);
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) { return file_->get_stats(abort); }

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() const { return file_->can_seek(); }
  bool get_dynamic_info(track_info&, double&) { return false; }
  void on_idle(const abort_signal& abort) { file_->check_abort(abort); }
  void set_message_sink(decoder_message_sink* sink);

  // Edits wait for commit, which checks the file's layout and rewrites its
  // movie box, in place where every step of that is safe, else in a copy
  // that replaces the file; get_info then answers what the file holds.
  void set_info(std::uint32_t subsong, const track_info& info);
  void commit(const abort_signal& abort);
  // Whether a commit with no changed value would take out what a stopped
  // write left (see movie_box_rewrite::mends_stopped_write).
  bool has_unfinished_write();

private:
  void set_whole_file_info(const track_info& info);
  // What subsong 0 shows: with chapters, the item list that other programs
  // read as the file's own tags.
  const tag_fields& whole_file_items() const;
  void open_file(open_reason reason, const abort_signal& abort);
  void reread_after_failed_write() noexcept;
  void open_packet_decoder(bool for_decoding, const abort_signal& abort);
  void initialize_range(std::uint32_t subsong);
  void seek_to(double seconds);
  bool decode_chunk(audio_block& out, const abort_signal& abort);
  void restart_iterator();
  // False when the frame is not all in the file (the file was cut short).
  bool read_frame(std::uint32_t frame, const abort_signal& abort);
  void report(const std::string& text, bool is_error);
  void deliver_warnings();

  vantrel_io::file_ptr file_;
  std::string path_;
  // Only a file the input opened itself can be replaced by a copy: the
  // caller's file object has no path to move one to.
  bool opened_by_input_ = false;
  mp4_file model_;
  // Whether set_info changed a value since the file was read: an edit that
  // changes none writes nothing.
  bool fields_changed_ = false;
  track_ptr track_;
  packet_decoder_ptr decoder_;
  track_info_impl decoder_info_;
  service_ptr<decoder_message_sink> sink_;

  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint32_t bits_per_sample_ = 0;
  std::uint32_t time_scale_ = 0;
  std::uint32_t total_frames_ = 0;

  // Placed on a sample by the first frame read after it is made.
  std::optional<sample_iterator> iterator_;
  bool iterator_placed_ = false;
  std::uint32_t next_frame_ = 0;
  double range_start_ = 0.0;
  double range_end_ = 0.0;
  std::uint32_t pending_skip_ = 0;
  std::uint64_t samples_to_deliver_ = 0;
  std::vector<std::uint8_t> packet_;
  std::uint32_t packet_size_ = 0;
  std::uint32_t extra_bytes_ = 0;
  audio_block scratch_;
};

}  // namespace tarnex
