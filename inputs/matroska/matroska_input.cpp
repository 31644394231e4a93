#include "inputs/matroska/matroska_input.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "foundation/audio_math.h"
#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_file_reader.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_attachments_handler.h"
#include "inputs/matroska/matroska_chapters_handler.h"
#include "inputs/matroska/matroska_content_decoding.h"
#include "inputs/matroska/matroska_cues_handler.h"
#include "inputs/matroska/matroska_ids.h"
#include "inputs/matroska/matroska_info_handler.h"
#include "inputs/matroska/matroska_superseded_tags.h"
#include "inputs/matroska/matroska_tag_placement.h"
#include "inputs/matroska/matroska_tags.h"
#include "inputs/matroska/matroska_track_choice.h"
#include "inputs/matroska/matroska_tracks_handler.h"
#include "io/file_copy.h"
#include "io/io_exceptions.h"
#include "io/read_ahead_file.h"
#include "io/retag_through_temp_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/tag_changes.h"
#include "playback/audio_block.h"

namespace Matroska {

namespace {

class matroska_text_error : public vantrel_io::exception_io_data {
public:
  matroska_text_error(const char* id, const char* text) : exception_io_data(vantrel_io::io_message(id, text)) {}
};

// Reads nothing: passing over an element this way only measures it.
class skipping_handler : public ebml_element_handler {};

// Takes the first Cluster it meets and keeps the frames of the chosen track;
// other elements between clusters are passed over. In a cut file the last
// Cluster gives the blocks that it holds whole. It stops before an element
// whose size cannot be trusted, which cannot be passed over by it.
class cluster_reader : public ebml_element_handler {
public:
  cluster_reader(matroska_cluster_frames& frames, std::uint64_t track, bool cut, ebml_reader& reader,
                 const std::set<std::uint64_t>& damaged)
      : frames_(frames), track_(track), cut_(cut), reader_(reader), damaged_(damaged) {}

  void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
    if (id != ids::cluster) return;
    children_loop<cluster_reader, &cluster_reader::read_cluster_child> children(*this);
    ebml_read_children(reader, children);
    found_ = true;
  }
  bool wants_more() override { return !found_ && !damaged_.count(reader_.position()); }
  bool reads_cut_data() override { return cut_; }
  bool found() const { return found_; }

private:
  // Hands each child of one element to a member of the owner.
  template <class Owner, void (Owner::*Member)(std::uint32_t, std::uint64_t, ebml_reader&)>
  struct children_loop : ebml_element_handler {
    explicit children_loop(Owner& owner) : owner_(owner) {}
    void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
      (owner_.*Member)(id, size, reader);
    }
    bool reads_cut_data() override { return owner_.cut_; }
    Owner& owner_;
  };

  void read_cluster_child(std::uint32_t id, std::uint64_t size, ebml_reader& reader) {
    if (size > reader.remaining()) return;  // cut by the end of the file
    if (id == ids::cluster_timecode) {
      frames_.cluster_timecode = ebml_read_uint(reader, size);
    } else if (id == ids::simple_block) {
      read_block(reader);
    } else if (id == ids::block_group) {
      group_start_ = frames_.frames.size();
      group_end_ = group_start_;
      discard_padding_ = 0;
      children_loop<cluster_reader, &cluster_reader::read_group_child> group(*this);
      ebml_read_children(reader, group);
      // The padding may come before or after the Block in the group.
      if (group_end_ > group_start_) frames_.frames[group_end_ - 1].discard_padding = discard_padding_;
    }
  }
  void read_group_child(std::uint32_t id, std::uint64_t size, ebml_reader& reader) {
    if (size > reader.remaining()) return;
    if (id == ids::block) {
      group_start_ = frames_.frames.size();
      read_block(reader);
      group_end_ = frames_.frames.size();
    } else if (id == ids::discard_padding) {
      discard_padding_ = ebml_read_int(reader, size);
    }
  }
  void read_block(ebml_reader& reader) {
    std::uint8_t first;
    reader.read(&first, 1);
    if (ebml_read_size_rest(reader, first) != track_) return;
    matroska_read_block(frames_, reader);
  }

  matroska_cluster_frames& frames_;
  std::uint64_t track_;
  bool cut_;
  ebml_reader& reader_;
  const std::set<std::uint64_t>& damaged_;
  bool found_ = false;
  std::size_t group_start_ = 0, group_end_ = 0;
  std::int64_t discard_padding_ = 0;
};

std::uint32_t rounded(double value) { return static_cast<std::uint32_t>(std::floor(value + 0.5)); }

}  // namespace

void matroska_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  reason_ = reason;
  path_ = path;
  opened_by_input_ = !file;
  vantrel_io::open_or_rewind(file, path, reason, abort);
  if (!file->can_seek()) vantrel_io::throw_exception_io_object_not_seekable();
  if (reason == open_reason::info_write && file->is_remote()) throw vantrel_io::exception_io_object_is_remote();
  if (reason != open_reason::info_write) vantrel_io::read_ahead_file::wrap_if_local(file, abort);
  file_ = std::move(file);

  ebml_file_reader reader(file_, abort);
  state_.scan = map_file(reader, reason == open_reason::info_write);

  std::uint64_t metadata_bytes = 0;
  matroska_tracks_handler tracks(state_.tracks);
  metadata_bytes += matroska_read_unique(state_.scan, reader, tracks, ids::tracks);
  matroska_info_handler info(state_.info);
  metadata_bytes += matroska_read_unique(state_.scan, reader, info, ids::info);
  if (state_.info.timecode_scale == 0) vantrel_io::throw_io_data();
  seconds_per_tick_ = static_cast<double>(state_.info.timecode_scale) / 1000000000.0;
  if (state_.scan.knows(ids::chapters)) {
    matroska_chapters_handler chapters(state_.editions, state_.chapters);
    metadata_bytes += matroska_read_unique(state_.scan, reader, chapters, ids::chapters);
    for (const matroska_edition& edition : state_.editions) {
      if (edition.hidden) continue;
      const std::size_t end = edition_ends_.size() + edition.chapters.size();
      edition_ends_.insert(edition_ends_.end(), edition.chapters.size(), end);
    }
  }

  set_up_track(reason == open_reason::decode, abort);

  if (state_.scan.knows(ids::cues)) {
    if (reason == open_reason::decode && track_) {
      matroska_cues_handler cues(state_.cues, track_->number);
      metadata_bytes += matroska_read_unique(state_.scan, reader, cues, ids::cues);
    } else {
      skipping_handler cues;
      metadata_bytes += matroska_read_unique(state_.scan, reader, cues, ids::cues);
    }
  }
  if (state_.scan.knows(ids::attachments)) {
    skipping_handler none;
    metadata_bytes += matroska_read_all(state_.scan, reader, none, ids::attachments);
  }
  metadata_bytes += measure_tags(reader);

  if (state_.info.duration > 0.0) {
    const std::uint64_t size = state_.scan.segment_data_size;
    const double bytes = size > metadata_bytes ? static_cast<double>(size - metadata_bytes) : 0.0;
    bitrate_ = static_cast<std::int64_t>(
        std::floor(bytes * 8.0 / (seconds_per_tick_ * state_.info.duration) * 0.001 + 0.5));
  }
  if (track_) {
    sample_rate_ = track_->audio.output_sampling_frequency > 0.0 ? track_->audio.output_sampling_frequency
                                                                  : track_->audio.sampling_frequency;
  }

  if (decoder_ && decoder_->wants_first_frame()) {
    select_subsong(0, 0);
    matroska_frame first;
    if (!next_frame(first, abort)) vantrel_io::throw_io_data();
    decoder_->set_first_frame(first.data.data(), static_cast<std::uint32_t>(first.data.size()), abort);
    select_subsong(0, 0);
  }
  tags_loaded_ = false;
}

matroska_file_scan matroska_input::map_file(ebml_reader& reader, bool for_writing) {
  matroska_file_scan scan;
  matroska_scan_file(scan, reader);
  // The scan may stop at the first SeekHead. Readers that walk the Segment
  // to its first Cluster read a Tags element there that no SeekHead names,
  // and so does the player; a writer also looks behind the Clusters, or it
  // would add a second element beside one found there.
  matroska_find_front_tags(scan, reader);
  if (for_writing) matroska_find_every_tags(scan, reader);
  matroska_tags_find_stale(scan, reader);
  return scan;
}

// Damaged Tags cost the tags, not the audio: a reader goes on without the
// damaged element, and the cluster walk goes round one whose size is wrong.
// A writer is refused, since its write would lose what is there.
std::uint64_t matroska_input::measure_tags(ebml_reader& reader) {
  std::uint64_t bytes = 0;
  for (std::uint64_t position : state_.scan.positions_of(ids::tags)) {
    bool whole = false;
    try {
      skipping_handler none;
      reader.seek(position);
      ebml_read_element(reader, none, ids::tags);
      bytes += reader.position() - position;
      whole = matroska_at_segment_child(state_.scan, reader);
    } catch (const vantrel_io::exception_io_data&) {
    }
    if (whole) continue;
    if (reason_ == open_reason::info_write) vantrel_io::throw_io_data();
    damaged_tags_.insert(position);
    report_damaged_tags();
  }
  // What is damaged inside a Tags element shows only when it is read.
  if (reason_ == open_reason::decode && damaged_tags_.empty() && state_.scan.knows(ids::tags) &&
      matroska_tags_load(state_.scan, reader, matroska_damaged_tags::skip).damaged)
    report_damaged_tags();
  return bytes;
}

void matroska_input::report_damaged_tags() {
  tags_damage_seen_ = true;
  deliver_warnings();
}

// What the open or a tag read passed over reaches the first sink there is,
// once.
void matroska_input::deliver_warnings() {
  if (!sink_ || !tags_damage_seen_ || damaged_tags_reported_) return;
  damaged_tags_reported_ = true;
  sink_->on_message(damaged_tags_warning, false);
}

matroska_track_ptr matroska_input::tags_track() const {
  if (track_) return track_;
  try {
    return matroska_choose_track(state_.tracks);
  } catch (const vantrel_io::exception_io_data&) {
    return nullptr;
  }
}

void matroska_input::set_up_track(bool for_decoding, const abort_signal& abort) {
  bool dropped = false;
  for (;;) {
    matroska_track_ptr chosen;
    try {
      chosen = matroska_choose_track(state_.tracks);
    } catch (const vantrel_io::exception_io_data&) {
      if (!for_decoding) return;
      if (dropped) throw matroska_text_error("exception_matroska_unsupported_track", "Unsupported audio track format");
      throw matroska_text_error("exception_matroska_no_audio", "File contains no audio tracks");
    }
    try {
      const matroska_audio_settings& audio = chosen->audio;
      matroska_codec_setup setup{chosen->codec_id.c_str(),
                                 rounded(audio.sampling_frequency),
                                 rounded(audio.output_sampling_frequency),
                                 audio.channels,
                                 static_cast<std::uint32_t>(chosen->codec_private.size()),
                                 chosen->codec_private.empty() ? nullptr : chosen->codec_private.data()};
      packet_decoder_ptr decoder;
      packet_codec::find_and_open(decoder, for_decoding, matroska_owner_guid, 0, &setup, sizeof setup, abort);
      if (audio.bit_depth != 0) decoder->control(packet_control_set_bits_per_sample, audio.bit_depth, nullptr, 0);
      if (audio.sampling_frequency > 0.0)
        decoder->control(packet_control_set_sample_rate, rounded(audio.sampling_frequency), nullptr, 0);
      if (audio.channels > 0) decoder->control(packet_control_set_channels, audio.channels, nullptr, 0);
      // The track's CodecDelay says it for every codec; without one the
      // codec may know its own (Opus pre-skip).
      const std::uint32_t rate = rounded(audio.sampling_frequency);
      const std::uint32_t skip = decoder->control(packet_control_get_start_skip, 0, nullptr, 0);
      start_skip_ = chosen->codec_delay != 0 ? static_cast<double>(chosen->codec_delay) * 1e-9
                    : rate > 0              ? static_cast<double>(skip) / rate
                                            : 0.0;
      track_ = chosen;
      decoder_ = decoder;
      return;
    } catch (const vantrel_io::exception_io_data&) {
      state_.tracks.erase(std::find(state_.tracks.begin(), state_.tracks.end(), chosen));
      dropped = true;
    } catch (...) {
      if (for_decoding) throw;
      return;
    }
  }
}

std::uint32_t matroska_input::get_subsong_count() const noexcept {
  return state_.chapters.empty() ? 1 : static_cast<std::uint32_t>(state_.chapters.size());
}

std::uint32_t matroska_input::get_subsong(std::uint32_t index) const noexcept {
  return state_.chapters.empty() ? 0 : index + 1;
}

std::uint64_t matroska_input::subsong_chapter_uid(std::uint32_t subsong, bool allow_any) const {
  if (subsong == 0) {
    if (!state_.chapters.empty() && !allow_any) vantrel_io::throw_io_data();
    return 0;
  }
  if (subsong > state_.chapters.size()) {
    if (!allow_any) vantrel_io::throw_io_data();
    return 0;
  }
  return state_.chapters[subsong - 1].uid;
}

double matroska_input::chapter_length(std::size_t index, bool& limited) const {
  if (index >= state_.chapters.size()) vantrel_io::throw_io_data();
  const matroska_chapter& chapter = state_.chapters[index];
  // Signed, within one edition: an edition after it restarts its times at 0,
  // and a chapter listed after a later one must not wrap to 2^64.
  const auto start = static_cast<double>(chapter.start);
  double length = -1.0;
  if (chapter.end != matroska_unset) {
    length = (static_cast<double>(chapter.end) - start) * 1e-9;
  } else if (index + 1 < (index < edition_ends_.size() ? edition_ends_[index] : state_.chapters.size())) {
    length = (static_cast<double>(state_.chapters[index + 1].start) - start) * 1e-9;
  }
  limited = length > 0.0;
  if (limited) return length;
  const double to_end = state_.info.duration * seconds_per_tick_ - start * 1e-9;
  return to_end > 0.0 ? to_end : 0.0;
}

double matroska_input::to_whole_samples(double seconds) const {
  if (!(sample_rate_ > 0.0)) return seconds;
  return std::floor(seconds * sample_rate_ + 0.5) / sample_rate_;
}

void matroska_input::get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) {
  // Subsong 0 of a file with chapters is the file as a whole, which the
  // metadata operations read beside the chapters and the folder views list:
  // its length and the file's own fields, none aimed at a chapter.
  const std::uint64_t uid = subsong_chapter_uid(subsong, subsong == 0);
  out.reset();
  if (decoder_) {
    track_info_impl technical;
    decoder_->get_info(technical);
    for (std::uint32_t i = 0; i < technical.tech_count(); ++i)
      out.set_tech(technical.tech_name(i), track_info::until_nul, technical.tech_value(i), track_info::until_nul);
  }
  if (sample_rate_ > 0.0) out.set_tech_int("samplerate", rounded(sample_rate_));
  if (track_ && track_->audio.channels > 0) out.set_tech_int("channels", track_->audio.channels);
  if (track_ && track_->audio.bit_depth > 0) out.set_tech_int("bitspersample", track_->audio.bit_depth);
  if (bitrate_ != 0) out.set_bitrate(bitrate_);
  out.remove_all_fields();

  if (subsong == 0) {
    if (state_.info.duration > 0.0) out.set_length(to_whole_samples(state_.info.duration * seconds_per_tick_));
  } else {
    bool limited;
    out.set_length(to_whole_samples(chapter_length(subsong - 1, limited)));
  }
  // Also without Tags: the track's name can be the title.
  load_tags(abort);
  const auto found = tag_sets_.find(uid);
  if (found == tag_sets_.end()) return;
  out.set_replaygain(found->second.get_replaygain());
  out.copy_fields_from(found->second);
}

std::map<std::uint64_t, std::string> matroska_input::chapter_names() const {
  std::map<std::uint64_t, std::string> names;
  for (const matroska_chapter& chapter : state_.chapters) names.emplace(chapter.uid, chapter.title);
  return names;
}

void matroska_input::load_tags(const abort_signal& abort) {
  if (tags_loaded_) return;
  tag_sets_.clear();
  tag_sets_[0];
  for (const matroska_chapter& chapter : state_.chapters) tag_sets_[chapter.uid];
  ebml_file_reader reader(file_, abort);
  const matroska_track_ptr track = tags_track();
  if (!matroska_tags_read_infos(state_.scan, reader, tag_sets_, chapter_names(), track ? track->uid : 0,
                                track ? track->name : ""))
    report_damaged_tags();
  tags_loaded_ = true;
}

void matroska_input::set_info(std::uint32_t subsong, const track_info& info) {
  // An edit that changes no value writes nothing: the Tags would be built
  // and laid out anew for it.
  track_info_impl as_read;
  get_info(subsong, as_read, never_raised_abort_signal());
  if (tag_changes::between(as_read, info).empty()) return;
  // Subsong 0 edits the file's own Tags, which every chapter reads where
  // its own give no value.
  track_info_impl& copy = tags_to_write_[subsong_chapter_uid(subsong, subsong == 0)];
  copy.reset();
  copy.copy_all_from(info);
}

void matroska_input::commit(const abort_signal& abort) {
  // With no edit, the present tags go down again only to clear what a
  // stopped edit left beside them: an old element it took the place of, in
  // front of the Clusters or behind them, where no SeekHead names it.
  if (tags_to_write_.empty() && state_.scan.stale_tags.empty() && state_.scan.unnamed_tags.empty()) return;
  if (state_.scan.cut) throw FileCutShort();
  std::vector<std::uint8_t> content;
  std::optional<vantrel_io::in_place_steps> steps;
  // A file in memory has no reader to see it half written.
  const bool in_memory = file_->is_memory_backed();
  {
    ebml_file_reader reader(file_, abort);
    const matroska_track_ptr track = tags_track();
    content = matroska_tags_build(state_.scan, reader, tags_to_write_, chapter_names(), track ? track->uid : 0,
                                  track ? track->name : "");
    steps = matroska_tag_steps(state_.scan, reader, content,
                               in_memory ? tag_step_rule::any_order : tag_step_rule::each_change_one_write);
  }
  if (!steps && in_memory) throw FileNotTaggable();
  // Only this input's own file has a path that a copy can replace; without
  // a copy, the change is refused rather than made in steps a kill can split.
  // Made whichever way the write goes: making it clears the temporary file
  // a killed rewrite of this file left beside it.
  std::optional<retag_through_temp_file> temp;
  if (opened_by_input_) temp.emplace(path_.c_str());
  if (steps) {
    // Once the first byte is written the steps run to their end: an abort
    // between them would leave a half-switched layout.
    try {
      steps->run(*file_, in_memory ? vantrel_io::step_writes::plain : vantrel_io::step_writes::guarded, abort);
    } catch (...) {
      // The steps done before the failure are what a stopped edit leaves:
      // the next edit plans from a fresh map of the file, which finds them.
      remap_after_failed_write();
      throw;
    }
  } else if (!(temp && place_tags_through_copy(*temp, content, abort))) {
    throw exception_no_safe_rewrite();
  }
  tags_to_write_.clear();
  // The placement may have moved the Tags element, voided old ones or
  // pointed the SeekHeads elsewhere: what get_info reads next, and hands to
  // the tracks as what the file now holds, comes from a fresh map of it.
  ebml_file_reader rescan(file_, never_raised_abort_signal());
  state_.scan = map_file(rescan, true);
  tags_loaded_ = false;
}

void matroska_input::remap_after_failed_write() noexcept {
  try {
    ebml_file_reader rescan(file_, never_raised_abort_signal());
    state_.scan = map_file(rescan, true);
    tags_loaded_ = false;
  } catch (const std::exception&) {
    // The map read at open stays; the write's failure is the one reported.
  }
}

bool matroska_input::place_tags_through_copy(retag_through_temp_file& temp, const std::vector<std::uint8_t>& content,
                                             const abort_signal& abort) {
  vantrel_io::file_ptr copy;
  if (!temp.open_temp(copy, abort)) return false;
  vantrel_io::copy_whole_file(*file_, *copy, abort);
  {
    ebml_file_reader reader(copy, never_raised_abort_signal());
    const auto steps = matroska_tag_steps(state_.scan, reader, content, tag_step_rule::any_order);
    if (!steps) throw FileNotTaggable();
    steps->run(*copy, vantrel_io::step_writes::plain, never_raised_abort_signal());
  }
  copy.reset();
  temp.commit(file_, abort);
  return true;
}

void matroska_input::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink;
  if (decoder_) packet_codec_controls::send_sink(*decoder_, sink);
  deliver_warnings();
}

void matroska_input::initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal&) {
  if (!decoder_) vantrel_io::throw_io_data();
  // Subsong 0 plays the whole file, also one with chapters: the folder
  // views list it so.
  subsong_chapter_uid(subsong, subsong == 0);
  select_subsong(subsong, flags);
}

void matroska_input::select_subsong(std::uint32_t subsong, std::uint32_t flags) {
  if (decoder_) packet_codec_controls::send_flag(*decoder_, (flags & 8) != 0);
  if (subsong == 0) {
    subsong_limited_ = false;
    subsong_start_ = 0.0;
    subsong_length_ = 0.0;
  } else {
    subsong_start_ = static_cast<double>(state_.chapters[subsong - 1].start) * 1e-9;
    subsong_length_ = chapter_length(subsong - 1, subsong_limited_);
  }
  seek_to(0.0);
}

void matroska_input::seek(double seconds, const abort_signal&) {
  if (!decoder_) vantrel_io::throw_io_data();
  seek_to(seconds > 0.0 ? seconds : 0.0);
}

void matroska_input::seek_to(double seconds) {
  const double target = to_whole_samples(subsong_start_ + seconds + start_skip_);
  pending_.frames.clear();
  pending_.cluster_timecode = 0;
  if (decoder_) decoder_->reset();
  seek_target_ = target;
  position_ = 0.0;
  const double preroll = decoder_ ? decoder_->seek_preroll_seconds() : 0.0;
  const double start = std::max(0.0, target - preroll);
  const auto ticks = static_cast<std::uint64_t>(std::floor(start / seconds_per_tick_ + 0.5));
  next_cluster_ = 0;
  auto at = state_.cues.upper_bound(ticks);
  if (at != state_.cues.begin()) next_cluster_ = std::prev(at)->second;
}

bool matroska_input::read_cluster(const abort_signal& abort) {
  pending_.frames.clear();
  pending_.cluster_timecode = 0;
  ebml_file_reader reader(file_, abort);
  reader.seek(state_.scan.segment_data_start);
  reader.check_available(state_.scan.segment_data_size);
  reader.set_remaining(state_.scan.segment_data_size);
  if (next_cluster_ >= state_.scan.segment_data_size) return false;
  reader.skip(next_cluster_);
  cluster_reader clusters(pending_, track_->number, state_.scan.cut, reader, damaged_tags_);
  ebml_read_children(reader, clusters);
  next_cluster_ = reader.position() - state_.scan.segment_data_start;
  if (!clusters.found() && damaged_tags_.count(reader.position())) {
    next_cluster_ = next_known_element(reader.position()) - state_.scan.segment_data_start;
    return true;
  }
  for (matroska_frame& frame : pending_.frames) matroska_decode_content(frame.data, *track_, matroska_scope_frames);
  return clusters.found();
}

// The first element after `position` that the SeekHeads or the Cues name;
// the end of the Segment when there is none.
std::uint64_t matroska_input::next_known_element(std::uint64_t position) const {
  std::uint64_t next = state_.scan.segment_data_start + state_.scan.segment_data_size;
  for (const auto& [id, positions] : state_.scan.element_positions) {
    const auto after = positions.upper_bound(position);
    if (after != positions.end()) next = std::min(next, *after);
  }
  for (const auto& [time, cluster] : state_.cues) {
    const std::uint64_t at = state_.scan.segment_data_start + cluster;
    if (at > position) next = std::min(next, at);
  }
  return next;
}

bool matroska_input::no_frame_follows(const abort_signal& abort) {
  while (pending_.frames.empty()) {
    if (!read_cluster(abort)) return true;
  }
  return false;
}

bool matroska_input::next_frame(matroska_frame& frame, const abort_signal& abort) {
  if (no_frame_follows(abort)) return false;
  frame = std::move(pending_.frames.front());
  pending_.frames.pop_front();
  return true;
}

bool matroska_input::run(audio_block& out, const abort_signal& abort) {
  if (!decoder_) vantrel_io::throw_io_data();
  for (;;) {
    matroska_frame frame;
    if (!next_frame(frame, abort)) return false;
    if (frame.has_timecode) {
      // A negative block time before a cluster's start is clamped at 0
      // rather than wrapping round to 2^64 ticks.
      const double ticks = static_cast<double>(pending_.cluster_timecode) + frame.timecode;
      position_ = to_whole_samples(std::max(0.0, ticks) * seconds_per_tick_);
    }
    decoder_->decode(frame.data.data(), static_cast<std::uint32_t>(frame.data.size()), out, abort);
    if (frame.invisible || !out.is_valid() || out.get_sample_count() == 0) {
      abort.check_and_throw();
      continue;
    }
    const double t0 = position_;
    if (frame.discard_padding > 0) {
      // Encoder padding after the end of the stream.
      const std::uint64_t n = audio_math::time_to_samples(static_cast<double>(frame.discard_padding) * 1e-9,
                                                          out.get_sample_rate());
      if (n >= out.get_sample_count()) {
        abort.check_and_throw();
        continue;
      }
      const auto keep = static_cast<std::uint32_t>(out.get_sample_count() - n);
      out.set_sample_count(keep);
      out.set_data_size(keep * out.get_channels());
    }
    // The padding is not part of the timeline: a chapter end there would
    // otherwise cut the same samples off a second time.
    position_ += out.duration_seconds();
    if (seek_target_ > t0) {
      const std::uint64_t n = audio_math::time_to_samples(seek_target_ - t0, out.get_sample_rate());
      if (n >= out.get_sample_count()) continue;
      if (n > 0) out.drop_leading_samples(static_cast<std::uint32_t>(n));
    }
    if (subsong_limited_) {
      const double excess = position_ - (subsong_start_ + start_skip_ + subsong_length_);
      if (excess > 0.0) {
        const std::uint64_t n = audio_math::time_to_samples(excess, out.get_sample_rate());
        if (n >= out.get_sample_count()) return false;
        // Block times are known to a tick: a chapter that ends within that
        // of the end of the stream ends with the stream.
        if (excess > 2.0 * seconds_per_tick_ || !no_frame_follows(abort)) {
          const auto keep = static_cast<std::uint32_t>(out.get_sample_count() - n);
          out.set_sample_count(keep);
          out.set_data_size(keep * out.get_channels());
        }
      }
    }
    return true;
  }
}

}  // namespace Matroska
