#include "inputs/musepack/musepack_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/service_registry.h"
#include "core/tag_service.h"
#include "foundation/exceptions.h"
#include "inputs/musepack/musepack_audio_end.h"
#include "inputs/musepack/musepack_chapter_edit.h"
#include "inputs/musepack/musepack_chapter_writing.h"
#include "inputs/musepack/musepack_chapters_damaged.h"
#include "inputs/musepack/musepack_gain_edit.h"
#include "inputs/musepack/musepack_header_replaygain.h"
#include "inputs/musepack/musepack_seek_table.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/retag_through_temp_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "playback/channel_mask.h"

namespace {

// Frames the library decodes at most per call, per channel, with room for
// its synthesis overlap.
constexpr std::uint32_t buffer_frames_per_channel = 2304;

constexpr char damaged_seek_table_warning[] = "Damaged seek table skipped; the audio still plays";

}  // namespace

musepack_input::~musepack_input() { close_demuxer(); }

void musepack_input::close_demuxer() noexcept {
  if (demuxer_) mpc_demux_exit(demuxer_);
  demuxer_ = nullptr;
}

void musepack_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  own_file_ = !file;
  path_ = path;
  vantrel_io::open_or_rewind(file, path, reason, abort);
  // The library seeks at will: a stream that cannot is refused now, not at
  // the first seek.
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  bridge_.file = std::move(file);
  if (reason == open_reason::decode) end_view_at_stream_end(abort);
  ensure_demuxer(abort);
}

void musepack_input::end_view_at_stream_end(const abort_signal& abort) {
  view_ended_ = true;
  // The library looks for the stream after one ID3v2 tag at most.
  const std::uint64_t header_position = id3v2_skip_leading_tag(*bridge_.file, 0, abort);
  const std::uint64_t size = bridge_.file->get_size(abort);
  std::uint64_t end = size;
  // A file cut inside its stream and tagged afterwards would otherwise
  // decode the tag's bytes as the rest of its last packet. Tags that claim
  // audio bytes are damage and do not shorten what plays.
  const std::uint64_t tags = find_trailing_tags(*bridge_.file, false, abort).start;
  if (tags >= musepack::find_audio_end(*bridge_.file, header_position, tags, abort)) end = tags;
  // A seek table cut short costs the seek table, not the audio.
  const std::uint64_t cut = musepack::find_cut_side_packet(*bridge_.file, header_position, end, abort);
  if (cut < end) {
    end = cut;
    pending_warning_ = damaged_seek_table_warning;
  }
  bridge_.end = end < size ? end : vantrel_io::filesize_unknown;
  // A seek table left pointing wrong by an edit of the header would send
  // every seek astray; without it the library notes the places it plays.
  bridge_.hidden_packet = musepack::find_stale_seek_table(*bridge_.file, header_position, abort);
  if (bridge_.hidden_packet != musepack::no_stale_table) pending_warning_ = damaged_seek_table_warning;
}

void musepack_input::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink;
  deliver_warning();
}

// What the open passed over reaches the first sink there is.
void musepack_input::deliver_warning() {
  if (!sink_ || pending_warning_.empty()) return;
  sink_->on_message(pending_warning_.c_str(), false);
  pending_warning_.clear();
}

void musepack_input::ensure_demuxer(const abort_signal& abort, bool count_chapters) {
  if (demuxer_) return;
  abort.check_and_throw();
  // A failed write whose file could not be opened again leaves none.
  if (!bridge_.file) vantrel_io::throw_io();
  // The library addresses the file with signed 32-bit offsets: beyond them
  // it would read the wrong bytes.
  const std::uint64_t size = bridge_.file->get_size(abort);
  if (size == vantrel_io::filesize_unknown || size > musepack_max_file_size) vantrel_io::throw_io_data();
  bridge_.file->rewind(abort);
  {
    musepack_abort_scope scope(bridge_, abort);
    demuxer_ = mpc_demux_init(&bridge_.reader);
  }
  abort.check_and_throw();
  if (!demuxer_ && !view_ended_) {
    // Perhaps the stream is cut inside a packet the library must read whole.
    end_view_at_stream_end(abort);
    bridge_.file->rewind(abort);
    musepack_abort_scope scope(bridge_, abort);
    demuxer_ = mpc_demux_init(&bridge_.reader);
    abort.check_and_throw();
  }
  if (!demuxer_) vantrel_io::throw_io_data();
  mpc_demux_get_info(demuxer_, &stream_);
  if (stream_.sample_freq == 0 || stream_.channels == 0) {
    close_demuxer();
    vantrel_io::throw_io_data();
  }
  sample_rate_ = stream_.sample_freq;
  if (!count_chapters || stream_.stream_version < 8) return;
  // The library reads on from where it left the file.
  const std::uint64_t saved = bridge_.file->get_position(abort);
  const std::uint64_t tags_start = find_trailing_tags(*bridge_.file, false, abort).start;
  chapters_ = musepack::read_chapter_table(*bridge_.file, static_cast<std::uint64_t>(stream_.header_position),
                                           tags_start, stream_samples(), abort);
  bridge_.file->seek(saved, abort);
}

void musepack_input::reopen_after_write(const abort_signal& abort) {
  close_demuxer();
  ensure_demuxer(abort);
}

// The file is as it was before the write: the input goes on reading it. The
// write's failure is the one reported.
void musepack_input::reopen_after_failed_write() noexcept {
  try {
    reopen_after_write(never_raised_abort_signal());
  } catch (const std::exception&) {
  }
}

std::uint64_t musepack_input::stream_samples() const {
  // Crafted headers may claim more leading silence than samples.
  return stream_.samples > stream_.beg_silence ? stream_.samples - stream_.beg_silence : 0;
}

replaygain_info musepack_input::header_replaygain(replaygain_info gain) const {
  if (stream_.gain_title) gain.track_gain = musepack::gain_from_header(stream_.gain_title);
  if (stream_.gain_album) gain.album_gain = musepack::gain_from_header(stream_.gain_album);
  if (stream_.peak_title) gain.track_peak = musepack::peak_from_header(stream_.peak_title);
  if (stream_.peak_album) gain.album_peak = musepack::peak_from_header(stream_.peak_album);
  return gain;
}

std::uint64_t musepack_input::chapter_start(std::uint32_t chapter) const {
  if (chapter >= chapter_count()) throw qiv::exception_invalid_params();
  return chapters_.chapters[chapter].start_sample;
}

void musepack_input::get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) {
  ensure_demuxer(abort);
  if (subsong == 0) {
    read_stream_info(out, abort);
    return;
  }
  if (subsong > chapter_count()) throw qiv::exception_invalid_params();
  read_chapter_info(subsong - 1, out, abort);
}

void musepack_input::read_stream_info(track_info& out, const abort_signal& abort) {
  out.set_length(static_cast<double>(stream_samples()) / sample_rate_);
  out.set_tech_int("bitrate", static_cast<std::int64_t>(stream_.average_bitrate * 0.001 + 0.5));
  out.set_tech_int("samplerate", sample_rate_);
  out.set_tech_int("channels", stream_.channels);
  if (stream_.profile_name)
    out.set_tech("codec_profile", track_info::until_nul, stream_.profile_name, track_info::until_nul);
  out.set_tech_int("streamversion", stream_.stream_version);
  const std::size_t encoder_length = strnlen(stream_.encoder, sizeof stream_.encoder);
  if (encoder_length > 0) {
    const std::string tool = "mppenc " + std::string(stream_.encoder, encoder_length);
    out.set_tech("tool", track_info::until_nul, tool.data(), tool.size());
  }
  out.set_tech("codec", track_info::until_nul, "Musepack", track_info::until_nul);
  out.set_tech("encoding", track_info::until_nul, "lossy", track_info::until_nul);

  out.set_replaygain(header_replaygain(out.get_replaygain()));

  // The tag's fields; its ReplayGain items fill only what the header lacks.
  const std::uint64_t saved = bridge_.file->get_position(abort);
  try {
    service_lookup_unique_t<tag_service>()->read(*bridge_.file, out, abort);
  } catch (const vantrel_io::exception_io_data&) {
    // No tag, or a damaged one: the info has no fields.
  }
  bridge_.file->seek(saved, abort);
}

void musepack_input::read_chapter_info(std::uint32_t chapter, track_info& out, const abort_signal& abort) {
  read_stream_info(out, abort);
  const musepack::chapter_packet& packet = chapters_.chapters.at(chapter);
  const std::uint64_t end = chapter + 1 < chapter_count() ? chapter_start(chapter + 1) : stream_samples();
  if (end <= packet.start_sample) vantrel_io::throw_io_data();
  out.set_length(static_cast<double>(end - packet.start_sample) / sample_rate_);
  apev2::item_list items;
  // A damaged chapter tag leaves the stream's fields.
  packet.read_items(items);
  musepack::overlay_chapter(out, packet.gain, packet.peak, items);
}

void musepack_input::initialize(std::uint32_t subsong, std::uint32_t, const abort_signal& abort) {
  ensure_demuxer(abort);
  pending_seek_ = 0.0;
  subsong_ = subsong;
  subsong_start_ = 0;
  subsong_end_ = to_stream_end;
  delivered_ = 0;
  if (subsong == 0) return;
  if (subsong > chapter_count()) throw qiv::exception_invalid_params();
  subsong_start_ = chapter_start(subsong - 1);
  pending_seek_ = static_cast<double>(subsong_start_) / sample_rate_;
  if (subsong < chapter_count()) {
    subsong_end_ = chapter_start(subsong);
    if (subsong_end_ <= subsong_start_) vantrel_io::throw_io_data();
  }
}

bool musepack_input::run(audio_block& out, const abort_signal& abort) {
  const bool bounded = subsong_end_ != to_stream_end;
  if (bounded && delivered_ >= subsong_end_ - subsong_start_) return false;
  if (!decode_block(out, abort)) return false;
  delivered_ += out.get_sample_count();
  if (bounded && delivered_ > subsong_end_ - subsong_start_) {
    const std::uint64_t excess = delivered_ - (subsong_end_ - subsong_start_);
    const auto keep = static_cast<std::uint32_t>(out.get_sample_count() - excess);
    out.set_sample_count(keep);
    out.set_data_size(keep * out.get_channels());
  }
  return true;
}

bool musepack_input::decode_block(audio_block& out, const abort_signal& abort) {
  abort.check_and_throw();
  ensure_demuxer(abort);
  musepack_abort_scope scope(bridge_, abort);
  if (pending_seek_ == 0.0 && chapter_count() == 0) {
    // The start is read as a fresh open leaves the library, not through the
    // seek table: a table left pointing wrong by a header edited since
    // (other players read the stream from its start) cannot cost the whole
    // stream. Nothing moves the library on before the first frame, since a
    // stream without chapters is not asked for them again.
    close_demuxer();
    ensure_demuxer(abort, false);
    pending_seek_ = -1.0;
    if (mpc_streaminfo_get_length(&stream_) <= 0) return false;
  } else if (pending_seek_ >= 0) {
    if (mpc_streaminfo_get_length(&stream_) <= pending_seek_) return false;
    const auto target = static_cast<mpc_uint64_t>(std::floor(pending_seek_ * sample_rate_ + 0.5));
    if (mpc_demux_seek_sample(demuxer_, target) != MPC_STATUS_OK) vantrel_io::throw_io_data();
    pending_seek_ = -1.0;
  }
  samples_.resize(
      std::max<std::size_t>(std::size_t(stream_.channels) * buffer_frames_per_channel, MPC_DECODER_BUFFER_LENGTH));
  for (;;) {
    abort.check_and_throw();
    mpc_frame_info frame{};
    frame.buffer = samples_.data();
    if (mpc_demux_decode(demuxer_, &frame) != MPC_STATUS_OK) {
      // A file cut short ends where its last whole frame does.
      if (bridge_.met_end) return false;
      vantrel_io::throw_io_data();
    }
    if (frame.bits < 0) return false;
    if (frame.samples == 0) continue;
    out.set_data(samples_.data(), frame.samples, stream_.channels, sample_rate_,
                 default_channel_mask(stream_.channels));
    return true;
  }
}

void musepack_input::seek(double seconds, const abort_signal&) {
  double target = std::floor(seconds * sample_rate_ + 0.5);
  if (!(target >= 0)) vantrel_io::throw_io_data();
  if (subsong_end_ != to_stream_end) target = std::min(target, static_cast<double>(subsong_end_ - subsong_start_));
  pending_seek_ = (static_cast<double>(subsong_start_) + target) / sample_rate_;
  delivered_ = static_cast<std::uint64_t>(target);
}

void musepack_input::set_info(std::uint32_t subsong, const track_info& info) {
  if (subsong == 0) {
    pending_file_info_.emplace();
    pending_file_info_->copy_all_from(info);
    return;
  }
  if (pending_chapters_.empty()) {
    pending_chapters_.resize(chapter_count());
    for (std::uint32_t i = 0; i < chapter_count(); ++i)
      get_info(i + 1, pending_chapters_[i], never_raised_abort_signal());
    shown_chapters_ = pending_chapters_;
  }
  if (subsong - 1 >= pending_chapters_.size()) vantrel_io::throw_io_data();
  track_info_impl& entry = pending_chapters_[subsong - 1];
  const double length = entry.get_length();
  entry.copy_all_from(info);
  entry.set_length(length);
}

void musepack_input::commit(const abort_signal& abort) {
  // A failed write leaves the pending edits for no one: the next set_info
  // starts afresh.
  std::optional<track_info_impl> file_info = std::move(pending_file_info_);
  std::vector<track_info_impl> chapters = std::move(pending_chapters_);
  std::vector<track_info_impl> shown = std::move(shown_chapters_);
  pending_file_info_.reset();
  pending_chapters_.clear();
  shown_chapters_.clear();
  if (!chapters.empty()) {
    write_chapters(std::move(shown), std::move(chapters), std::move(file_info), abort);
  } else if (file_info) {
    write_file_info(*file_info, abort);
  }
}

void musepack_input::write_chapters(std::vector<track_info_impl> shown, std::vector<track_info_impl> edited,
                                    std::optional<track_info_impl> file_info, const abort_signal& abort) {
  ensure_demuxer(abort);
  if (stream_.stream_version != 8) vantrel_io::throw_io_data();
  // Chapters left out as damaged would be lost for good by a rewrite.
  if (chapters_.damaged) throw exception_chapters_damaged();
  track_info_impl file_as_read;
  read_stream_info(file_as_read, abort);
  track_info_impl file_after = file_info ? std::move(*file_info) : file_as_read;
  const musepack::chapter_rewrites rewrites =
      musepack::plan_chapter_edit(chapters_.chapters, shown, edited, file_after);
  std::vector<std::vector<std::uint8_t>> packets;
  bool packets_change = false;
  for (std::size_t i = 0; i < rewrites.size(); ++i) {
    packets_change = packets_change || rewrites[i].has_value();
    packets.push_back(rewrites[i] ? *rewrites[i] : chapters_.chapters[i].bytes);
  }
  // An edit that changes no value writes nothing.
  if (!packets_change) {
    if (!tag_changes::between(file_as_read, file_after).empty()) write_file_info(file_after, abort);
    return;
  }
  const std::uint64_t header_position = static_cast<std::uint64_t>(stream_.header_position);
  close_demuxer();
  try {
    // The chapters and the file's tags change in one write: a crash leaves
    // both old or both new.
    const tag_region_update tags = plan_file_info(file_after, abort);
    if (own_file_) {
      retag_through_temp_file rewrite(path_.c_str());
      musepack::write_chapter_packets(bridge_.file, rewrite, header_position, packets, &tags, abort);
      rewrite.commit(bridge_.file, abort);
    } else {
      retag_in_place in_place;
      musepack::write_chapter_packets(bridge_.file, in_place, header_position, packets, &tags, abort);
    }
  } catch (...) {
    reopen_after_failed_write();
    throw;
  }
  reopen_after_write(abort);
}

void musepack_input::extend_leading_over(tag_region_update& update, const musepack::header_replaygain_write& header,
                                         const abort_signal& abort) {
  if (header.position < update.leading_length) vantrel_io::throw_io_data();
  // Only the stream's first packets lie between the leading tags and the
  // header's bytes.
  std::vector<std::uint8_t> between(static_cast<std::size_t>(header.position - update.leading_length));
  bridge_.file->seek(update.leading_length, abort);
  if (!between.empty())
    bridge_.file->read_exact(between.data(), static_cast<std::uint32_t>(between.size()), abort);
  for (std::vector<std::uint8_t>* leading : {&update.leading, &update.leading_for_rewrite}) {
    if (leading->empty() && leading == &update.leading_for_rewrite) continue;
    leading->insert(leading->end(), between.begin(), between.end());
    leading->insert(leading->end(), header.bytes.begin(), header.bytes.end());
  }
  update.leading_length = header.position + header.bytes.size();
}

tag_region_update musepack_input::plan_file_info(const track_info& info, const abort_signal& abort) {
  ensure_demuxer(abort);
  const std::uint64_t header_position = static_cast<std::uint64_t>(stream_.header_position);
  const replaygain_info in_header = header_replaygain(replaygain_info());
  close_demuxer();
  trailing_tags present = find_trailing_tags(*bridge_.file, true, abort);
  track_info_impl tag_as_read;
  if (present.has_apev2 || !present.id3v1_blocks.empty()) trailing_tags_to_info(present, tag_as_read);
  const replaygain_info in_tag = tag_as_read.get_replaygain();
  const replaygain_info shown = replaygain_merge(in_header, in_tag);
  const replaygain_info edited = info.get_replaygain();
  const musepack::header_replaygain_write header = musepack::plan_header_replaygain(
      *bridge_.file, header_position, musepack::header_gain_after_edit(in_header, shown, edited), &in_header, abort);
  track_info_impl tags;
  tags.copy_all_from(info);
  tags.set_replaygain(musepack::tag_gain_after_edit(in_tag, shown, edited, header.found));
  const bool no_tag = tags.field_count() == 0 && replaygain_count_present(tags.get_replaygain()) == 0;
  // Trailing tags that claim bytes of the stream are damage, not tags:
  // replacing or removing them would cut audio.
  const std::uint64_t audio_end = musepack::find_audio_end(*bridge_.file, header_position, present.start, abort);
  // The APEv2 tag holds the fields; an ID3v1 tag behind it or an ID3v2 tag
  // in front, which the reading passes over, stays with the edit made in it.
  // An edit that leaves no field removes a tag only when nothing at all is
  // left in it: a picture or an item the reading does not show stays, and
  // an item it cannot read refuses the edit as any edit would.
  unsigned kinds = tag_services::kind_apev2;
  if (!present.id3v1_blocks.empty()) kinds |= tag_services::kind_id3v1;
  if (id3v2_skip_leading_tag(*bridge_.file, 0, abort) > 0) kinds |= tag_services::kind_id3v2;
  if (no_tag) kinds |= tag_services::emptied_tags_removed;
  tag_region_update update = tag_services::prepare_write(*bridge_.file, kinds, tags, abort, audio_end, nullptr,
                                                         &present, tag_services::reading::trailing_only);
  // The new header bytes join the leading region, so that the header and
  // the tag change in one step: a crash leaves both old or both new.
  if (header.changes) extend_leading_over(update, header, abort);
  return update;
}

void musepack_input::write_file_info(const track_info& info, const abort_signal& abort) {
  try {
    // Everything is worked out and checked before the first byte changes:
    // a refused write leaves the file as it was.
    tag_region_update update = plan_file_info(info, abort);
    if (own_file_) {
      retag_through_temp_file rewrite(path_.c_str());
      apply_tag_region_update(bridge_.file, rewrite, update, abort);
      rewrite.commit(bridge_.file, abort);
    } else {
      retag_in_place in_place;
      apply_tag_region_update(bridge_.file, in_place, update, abort);
    }
  } catch (...) {
    reopen_after_failed_write();
    throw;
  }
  reopen_after_write(abort);
}
