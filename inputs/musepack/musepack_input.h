// One opened Musepack file (stream versions 7 and 8) as the input dispatch
// uses it: decoded through libmpcdec, its chapters (version 8 "CT" packets)
// as subsongs, the header's ReplayGain and the trailing APE tag as its info;
// edits go to the header's ReplayGain, the APE tag and the chapter packets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <mpc/mpcdec.h>

#include "core/abort_signal.h"
#include "inputs/musepack/musepack_chapter_table.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_reader_bridge.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/decoder_service.h"
#include "metadata/tags/tag_region_update.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"

class musepack_input {
public:
  musepack_input() = default;
  ~musepack_input();
  musepack_input(const musepack_input&) = delete;
  musepack_input& operator=(const musepack_input&) = delete;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);
  // Chapters are subsongs 1..n; a stream without them is subsong 0.
  std::uint32_t get_subsong_count() const noexcept { return chapter_count() > 0 ? chapter_count() : 1; }
  std::uint32_t get_subsong(std::uint32_t index) const noexcept { return chapter_count() > 0 ? index + 1 : 0; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort);
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) { return bridge_.file->get_stats(abort); }

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() const { return true; }
  bool get_dynamic_info(track_info&, double&) { return false; }
  void on_idle(const abort_signal& abort) { bridge_.file->check_abort(abort); }
  void set_message_sink(decoder_message_sink* sink);

  // Subsong 0 edits the file's own info, k ≥ 1 chapter k; all are written
  // at commit.
  void set_info(std::uint32_t subsong, const track_info& info);
  void commit(const abort_signal& abort);

private:
  static constexpr std::uint64_t to_stream_end = ~std::uint64_t(0);

  void ensure_demuxer(const abort_signal& abort, bool count_chapters = true);
  // Ends the library's view of the file where the stream's readable bytes
  // end: before tags written after a cut, before a seek table cut short.
  void end_view_at_stream_end(const abort_signal& abort);
  void deliver_warning();
  void close_demuxer() noexcept;
  void reopen_after_write(const abort_signal& abort);
  void reopen_after_failed_write() noexcept;
  std::uint32_t chapter_count() const noexcept { return static_cast<std::uint32_t>(chapters_.chapters.size()); }
  std::uint64_t chapter_start(std::uint32_t chapter) const;
  void write_chapters(std::vector<track_info_impl> shown, std::vector<track_info_impl> edited,
                      std::optional<track_info_impl> file_info, const abort_signal& abort);
  std::uint64_t stream_samples() const;
  // `gain` with the values the stream header stores put in.
  replaygain_info header_replaygain(replaygain_info gain) const;
  void read_stream_info(track_info& out, const abort_signal& abort);
  void read_chapter_info(std::uint32_t chapter, track_info& out, const abort_signal& abort);
  bool decode_block(audio_block& out, const abort_signal& abort);
  // The file's tags and header gain as `info` gives them, worked out and
  // checked on the file as it stands, before anything is written.
  tag_region_update plan_file_info(const track_info& info, const abort_signal& abort);
  void write_file_info(const track_info& info, const abort_signal& abort);
  // Makes `update` replace the file's start through the new header bytes.
  void extend_leading_over(tag_region_update& update, const musepack::header_replaygain_write& header,
                           const abort_signal& abort);

  musepack_reader_bridge bridge_;
  std::string path_;
  // Opened here from the path, so a rewrite may replace it.
  bool own_file_ = false;
  bool view_ended_ = false;
  std::string pending_warning_;
  service_ptr<decoder_message_sink> sink_;
  mpc_demux* demuxer_ = nullptr;
  mpc_streaminfo stream_{};
  // Read here, not by the library, which trusts the packets' sizes.
  musepack::chapter_table chapters_;
  std::uint32_t sample_rate_ = 0;

  std::uint32_t subsong_ = 0;
  std::uint64_t subsong_start_ = 0;
  std::uint64_t subsong_end_ = to_stream_end;
  std::uint64_t delivered_ = 0;
  double pending_seek_ = -1.0;
  std::vector<float> samples_;

  std::optional<track_info_impl> pending_file_info_;
  // One entry per chapter once a chapter was edited, and each chapter's
  // info as it was read then.
  std::vector<track_info_impl> pending_chapters_;
  std::vector<track_info_impl> shown_chapters_;
};
