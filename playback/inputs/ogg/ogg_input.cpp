#include "playback/inputs/ogg/ogg_input.h"

#include <cmath>
#include <optional>

#include "io/io_exceptions.h"
#include "io/read_ahead_file.h"
#include "metadata/input_dispatch.h"
#include "io/retag_through_temp_file.h"
#include "playback/audio_block.h"
#include "playback/inputs/ogg/ogg_comment_rewriter.h"

namespace {

class exception_ogg_structure : public vantrel_io::exception_io_data {
public:
  explicit exception_ogg_structure(const char* text) : exception_io_data(vantrel_io::io_message("", text)) {}
};

std::uint32_t control_packet(packet_decoder& codec, const GUID& message, const ogg_packet& packet) {
  static_assert(sizeof(ogg_packet) == ogg_packet_record_size, "the codecs take libogg's packet record");
  return codec.control(message, 0, const_cast<ogg_packet*>(&packet), sizeof(ogg_packet));
}

}  // namespace

ogg_input::ogg_input() = default;
ogg_input::~ogg_input() = default;

void ogg_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  path_ = path ? path : "";
  opened_by_input_ = !file;
  vantrel_io::open_or_rewind(file, path, reason, abort);
  if (reason == open_reason::info_write) {
    if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
    if (file->is_remote()) throw vantrel_io::exception_io_object_is_remote();
  }
  if (reason == open_reason::decode) vantrel_io::read_ahead_file::wrap_if_local(file, abort);
  file_ = std::move(file);
  reader_ = std::make_unique<ogg_page_reader>(file_);
  reader_->reset(abort);
  find_links(abort);
}

void ogg_input::find_links(const abort_signal& abort) {
  links_.clear();
  if (!reader_->can_seek()) {
    links_.push_back(link{});
    return;
  }
  const std::vector<std::uint64_t> starts = reader_->find_links(abort);
  if (starts.empty()) vantrel_io::throw_io_data();
  const std::uint64_t size = file_->get_size(abort);
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::uint64_t end = i + 1 < starts.size() ? starts[i + 1] : size;
    links_.push_back(link{starts[i], end - starts[i]});
  }
}

void ogg_input::read_headers(headers& out, ogg_page_reader& reader, const ogg_packet& first, std::uint64_t limit,
                             bool for_decoding, const abort_signal& abort) {
  packet_codec::find_and_open(out.codec, for_decoding, ogg_owner_guid, 0, &first, sizeof(ogg_packet), abort);
  out.packets = 1;
  out.bytes = static_cast<std::uint64_t>(first.bytes);
  out.first_number = first.packetno;
  for (;;) {
    ogg_packet packet;
    if (!reader.next_packet(packet, abort, limit)) vantrel_io::throw_io_data();
    packet.packetno -= out.first_number;
    ++out.packets;
    out.bytes += static_cast<std::uint64_t>(packet.bytes);
    if (packet.b_o_s) throw exception_ogg_structure("corrupted file: unexpected BOS packet");
    if (control_packet(*out.codec, packet_control_next_header, packet) != 0) return;
  }
}

ogg_packet ogg_input::first_packet(const abort_signal& abort) {
  ogg_packet packet;
  if (!reader_->next_packet(packet, abort, current_.end())) {
    throw exception_ogg_structure("corrupted file: end of stream when searching for first packet");
  }
  if (!packet.b_o_s) throw exception_ogg_structure("corrupted file: first packet not flagged as BOS");
  return packet;
}

void ogg_input::set_up_codec(const ogg_packet& first, const abort_signal& abort) {
  headers found;
  read_headers(found, *reader_, first, current_.end(), true, abort);
  codec_ = found.codec;
  header_packets_ = found.packets;
  packet_base_ = found.first_number;
  packet_codec_controls::send_sink(*codec_, sink_.get());
  preskip_ = codec_->control(packet_control_get_start_skip, 0, nullptr, 0);
  granule_rate_ = codec_->control(packet_control_get_sample_rate, 0, nullptr, 0);
  if (granule_rate_ == 0) vantrel_io::throw_io_data();
  skip_ = preskip_;
  position_ = 0;
  if (!reader_->can_seek()) {
    stream_info_.reset();
    codec_->get_info(stream_info_);
    stream_info_new_ = true;
  }
}

void ogg_input::get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) {
  if (subsong >= links_.size()) vantrel_io::throw_io_data();
  out.reset();
  if (!reader_->can_seek()) {
    // Nothing offers the stream information of an unseekable stream here.
    return;
  }
  // The decoding reader reads on from the file's position: put it back
  // however this ends.
  struct position_keeper {
    vantrel_io::file_object& file;
    std::uint64_t position;
    const abort_signal& abort;
    ~position_keeper() {
      try {
        file.seek(position, abort);
      } catch (...) {
      }
    }
  } keeper{*file_, file_->get_position(abort), abort};
  const link& chosen = links_[subsong];
  // A reader of its own while decoding, whose place in the stream must
  // stay; before that the opening reader serves, and its buffers with it.
  std::optional<ogg_page_reader> own;
  ogg_page_reader& reader = codec_ ? own.emplace(file_) : *reader_;
  reader.seek(chosen.start, abort);
  ogg_packet first;
  if (!reader.next_packet(first, abort, chosen.end())) {
    throw exception_ogg_structure("corrupted file: end of stream when searching for first packet");
  }
  if (!first.b_o_s) throw exception_ogg_structure("corrupted file: first packet not flagged as BOS");
  headers found;
  read_headers(found, reader, first, chosen.end(), false, abort);
  found.codec->get_info(out);
  const std::uint32_t rate = found.codec->control(packet_control_get_sample_rate, 0, nullptr, 0);
  if (rate == 0) vantrel_io::throw_io_data();
  out.set_tech_int("samplerate", rate);
  const std::uint64_t preskip = found.codec->control(packet_control_get_start_skip, 0, nullptr, 0);

  ogg_packet last;
  if (!reader.last_packet_in_range(last, abort, chosen.start, chosen.end())) return;
  if (last.granulepos < 0 || static_cast<std::uint64_t>(last.granulepos) <= preskip) return;
  const double length = static_cast<double>(static_cast<std::uint64_t>(last.granulepos) - preskip) / rate;
  if (!(length > 0.0)) return;
  out.set_length(length);
  const std::uint64_t audio_bytes = chosen.length > found.bytes ? chosen.length - found.bytes : 0;
  out.set_bitrate(static_cast<std::int64_t>(std::floor(audio_bytes * 8.0 / length * 0.001 + 0.5)));
}

void ogg_input::initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) {
  if (subsong >= links_.size()) vantrel_io::throw_io_data();
  warned_granule_ = false;
  current_ = links_[subsong];
  if (reader_->can_seek()) {
    reader_->seek(current_.start, abort);
  } else {
    reader_->reset(abort);
  }
  stream_info_new_ = false;
  codec_.reset();
  set_up_codec(first_packet(abort), abort);
  packet_codec_controls::send_flag(*codec_, (flags & 8) != 0);
}

void ogg_input::warn(const char* text) {
  if (sink_) sink_->on_message(text, false);
}

bool ogg_input::run(audio_block& out, const abort_signal& abort) {
  if (!codec_) vantrel_io::throw_io_data();
  for (;;) {
    ogg_packet packet;
    if (!reader_->next_packet(packet, abort, current_.end())) return false;
    if (packet.b_o_s) {
      // A new logical stream inside an unseekable stream (internet radio).
      set_up_codec(packet, abort);
      continue;
    }
    if (packet.packetno < packet_base_) vantrel_io::throw_io_data();
    packet.packetno -= packet_base_;

    bool has_end_mark = false;
    if (packet.granulepos != -1) {
      if (packet.granulepos <= position_) {
        if (!warned_granule_) {
          warned_granule_ = true;
          warn("Nonsense Ogg granulepos value, file is not properly seekable");
        }
      } else {
        has_end_mark = true;
      }
    }
    control_packet(*codec_, packet_control_current_packet, packet);
    codec_->decode(packet.packet, static_cast<std::uint32_t>(packet.bytes), out, abort);

    const std::int64_t end = has_end_mark ? packet.granulepos : position_ + out.get_sample_count();
    const std::uint64_t fresh = end > position_ ? static_cast<std::uint64_t>(end - position_) : 0;
    position_ = end;
    if (out.get_sample_count() > fresh) {
      // The last packet of a stream ends early: its granule position cuts it.
      out.set_sample_count(static_cast<std::uint32_t>(fresh));
      out.set_data_size(static_cast<std::uint32_t>(fresh) * out.get_channels());
    }
    if (skip_ != 0) {
      if (skip_ < out.get_sample_count()) {
        out.drop_leading_samples(static_cast<std::uint32_t>(skip_));
        skip_ = 0;
      } else {
        skip_ -= out.get_sample_count();
        continue;
      }
    }
    if (out.get_sample_count() != 0) return true;
  }
}

void ogg_input::seek(double seconds, const abort_signal& abort) {
  if (!codec_) vantrel_io::throw_io_data();
  if (!reader_->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  if (!(seconds > 0.0)) seconds = 0.0;
  const auto target = static_cast<std::int64_t>(std::floor(seconds * granule_rate_ + 0.5));
  codec_->reset();
  std::uint32_t preroll = codec_->seek_preroll_packets() + 1;
  std::int64_t reached = 0;
  try {
    reached = reader_->seek_to_granule(target, abort, current_.start, current_.end(), preroll);
  } catch (const vantrel_io::exception_io_data&) {
    // No audio packet ends at or before the target: it lies in the first
    // packets, so decode from the start.
    reached = 0;
  }
  position_ = reached;
  if (reached <= 0) {
    position_ = 0;
    reader_->seek(current_.start, abort);
    ogg_packet packet;
    for (std::uint64_t i = 0; i < header_packets_; ++i) {
      if (!reader_->next_packet(packet, abort, current_.end())) vantrel_io::throw_io_data();
      if (i == 0) packet_base_ = packet.packetno;
    }
    skip_ = preskip_ + static_cast<std::uint64_t>(target);
    return;
  }
  // Packet numbers restart at the new place: the codec sees them relative
  // to the first packet read there.
  ogg_packet packet;
  bool first = true;
  audio_block scratch;
  for (std::uint32_t i = 0; i < preroll; ++i) {
    if (!reader_->next_packet(packet, abort, current_.end())) vantrel_io::throw_io_data();
    if (first) {
      packet_base_ = packet.packetno;
      first = false;
    }
    if (packet.packetno < packet_base_) vantrel_io::throw_io_data();
    packet.packetno -= packet_base_;
    control_packet(*codec_, packet_control_current_packet, packet);
    codec_->decode(packet.packet, static_cast<std::uint32_t>(packet.bytes), scratch, abort);
  }
  const std::int64_t skip = target + static_cast<std::int64_t>(preskip_) - reached;
  skip_ = skip > 0 ? static_cast<std::uint64_t>(skip) : 0;
}

bool ogg_input::get_dynamic_info(track_info& out, double& timestamp) {
  if (!stream_info_new_) return false;
  stream_info_new_ = false;
  out.copy_all_from(stream_info_);
  timestamp = 0.0;
  return true;
}

void ogg_input::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink;
  if (codec_) packet_codec_controls::send_sink(*codec_, sink);
}

void ogg_input::set_info(std::uint32_t subsong, const track_info& info) {
  if (subsong >= links_.size()) vantrel_io::throw_io_data();
  ogg_comment_rewriter::link_edit& edit = edits_[subsong];
  edit.info = track_info_impl(info);
  edit.text_changed = true;
}

void ogg_input::set_pictures(const album_art_map& pictures) {
  if (links_.empty()) vantrel_io::throw_io_data();
  ogg_comment_rewriter::link_edit& edit = edits_[0];
  edit.pictures = pictures;
  edit.pictures_changed = true;
}

void ogg_input::commit(const abort_signal& abort) {
  std::vector<ogg_comment_rewriter::link_range> ranges;
  for (const link& l : links_) ranges.push_back({l.start, l.length});
  std::map<std::uint32_t, ogg_comment_rewriter::link_edit> edits = std::move(edits_);
  edits_.clear();
  if (edits.empty()) return;
  // Each text edit is written as what it changes from the file's reading.
  for (auto& [link, edit] : edits) {
    if (!edit.text_changed) continue;
    get_info(link, edit.as_read.emplace(), abort);
  }
  codec_.reset();
  reader_.reset();
  try {
    if (opened_by_input_) {
      retag_through_temp_file rewrite(path_.c_str());
      ogg_comment_rewriter::write(file_, ranges, edits, rewrite, abort);
      rewrite.commit(file_, abort);
    } else {
      // The caller's file object has no path to move a new file to: only a
      // change safe in place, or one to a file in memory, can be made.
      retag_in_place no_temp_file;
      ogg_comment_rewriter::write(file_, ranges, edits, no_temp_file, abort);
    }
  } catch (...) {
    read_on_after_failed_write();
    throw;
  }
  reader_ = std::make_unique<ogg_page_reader>(file_);
  reader_->reset(abort);
  find_links(abort);
}

// A failed write left the file as it was, links and all: reading goes on
// from its start. The write's failure is the one reported.
void ogg_input::read_on_after_failed_write() noexcept {
  if (!file_) return;
  try {
    reader_ = std::make_unique<ogg_page_reader>(file_);
    reader_->reset(never_raised_abort_signal());
  } catch (const std::exception&) {
    reader_.reset();
  }
}
