// One open Ogg file, whatever codec it carries. Each logical stream of a
// chained file is a subsong; its codec is found by its first packet, fed the
// header packets, then the audio packets, and the decoded blocks are trimmed
// by granule positions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/decoders/packet_codec.h"
#include "playback/inputs/ogg/ogg_comment_rewriter.h"
#include "playback/inputs/ogg/ogg_page_reader.h"

class audio_block;

// The file-name extensions the Ogg input claims.
bool ogg_is_our_extension(const char* extension);

class ogg_input {
public:
  struct link {
    std::uint64_t start = 0;
    std::uint64_t length = ogg_page_reader::no_limit;
    std::uint64_t end() const { return length == ogg_page_reader::no_limit ? length : start + length; }
  };

  ogg_input();
  ~ogg_input();
  ogg_input(const ogg_input&) = delete;
  ogg_input& operator=(const ogg_input&) = delete;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort);

  std::uint32_t get_subsong_count() const noexcept { return static_cast<std::uint32_t>(links_.size()); }
  std::uint32_t get_subsong(std::uint32_t index) const noexcept { return index; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort);
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) { return file_->get_stats(abort); }

  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort);
  bool run(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  bool can_seek() { return reader_->can_seek(); }
  bool get_dynamic_info(track_info& out, double& timestamp);
  void on_idle(const abort_signal& abort) { file_->check_abort(abort); }
  void set_message_sink(decoder_message_sink* sink);

  // Edits wait for commit, which rewrites every edited link at once.
  void set_info(std::uint32_t subsong, const track_info& info);
  // Pictures live in the first link's comment.
  void set_pictures(const album_art_map& pictures);
  void commit(const abort_signal& abort);
  // The file as it stands after a commit, which may have replaced it.
  vantrel_io::file_ptr file() const { return file_; }

private:
  void find_links(const abort_signal& abort);
  void read_on_after_failed_write() noexcept;
  struct headers {
    packet_decoder_ptr codec;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    std::int64_t first_number = 0;
  };
  // Opens the codec of the stream whose first packet is at hand and feeds it
  // the remaining header packets.
  // `for_decoding` false: only the stream's information is wanted, so the
  // codec may skip setting up its decoder.
  static void read_headers(headers& out, ogg_page_reader& reader, const ogg_packet& first, std::uint64_t limit,
                           bool for_decoding, const abort_signal& abort);
  void set_up_codec(const ogg_packet& first, const abort_signal& abort);
  ogg_packet first_packet(const abort_signal& abort);
  void warn(const char* text);

  link current_;
  std::vector<link> links_;
  vantrel_io::file_ptr file_;
  std::string path_;
  bool opened_by_input_ = false;
  std::map<std::uint32_t, ogg_comment_rewriter::link_edit> edits_;
  std::unique_ptr<ogg_page_reader> reader_;
  packet_decoder_ptr codec_;
  std::uint32_t granule_rate_ = 0;
  std::uint64_t skip_ = 0;
  std::int64_t position_ = 0;
  std::uint64_t header_packets_ = 0;
  std::int64_t packet_base_ = 0;
  std::uint64_t preskip_ = 0;
  track_info_impl stream_info_;
  bool stream_info_new_ = false;
  service_ptr<decoder_message_sink> sink_;
  bool warned_granule_ = false;
};
