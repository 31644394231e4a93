#include "inputs/mp4/mp4_input.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "foundation/audio_math.h"
#include "foundation/exceptions.h"
#include "foundation/case_folding.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/movie_box_write.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/mp4_stream_adapter.h"
#include "inputs/mp4/tag_writing.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "inputs/mp4/track_parameters.h"
#include "io/io_exceptions.h"
#include "io/read_ahead_file.h"
#include "metadata/cue/cue_sheet_reader.h"
#include "metadata/input_dispatch.h"
#include "metadata/replaygain_text.h"
#include "metadata/tags/compilation_album_artist.h"

namespace tarnex {

namespace {

// Options the file model is read with: sample tables, tags, audio tracks;
// for writing also what a rewrite of the movie box keeps.
constexpr std::uint32_t reading_options = 0x13;
constexpr std::uint32_t writing_options = 0x5B;
// No packet of a real stream comes near this; a larger size is damage.
constexpr std::uint64_t max_packet_bytes = 64ull << 20;

constexpr GUID ac3_owner_guid = {0x62263199, 0x48C2, 0x4777, {0xB3, 0x3A, 0x87, 0xED, 0x16, 0x1A, 0x16, 0x30}};
constexpr GUID amr_owner_guid = {0x40017871, 0x50A9, 0x48B6, {0xBF, 0x60, 0xBD, 0x18, 0x1A, 0x22, 0x7F, 0x9B}};
constexpr GUID amr_wb_owner_guid = {0x2E729EA0, 0x6BEB, 0x4392, {0xBF, 0x24, 0x75, 0xC6, 0x9B, 0x60, 0x16, 0x6D}};
constexpr GUID extra_bytes_control = {0xE2C734FD, 0xD4C2, 0x467E, {0xB5, 0xD3, 0x4C, 0x13, 0xD9, 0xBD, 0x30, 0x0E}};

class exception_io_data_tarnex : public vantrel_io::exception_io_data {};

// Tables whose first sample lies past the end of the file, or that hold no
// sample: tags and chapters are read, but nothing plays.
class exception_no_audio_data : public vantrel_io::exception_io_data {
public:
  exception_no_audio_data()
      : exception_io_data(vantrel_io::io_message("exception_mp4_no_audio_data", "The file holds no audio data")) {}
};

// A rewrite would drop the tags that could not be read, which other
// programs may still read: the file keeps them untouched.
class exception_damaged_tags : public vantrel_io::exception_io_data {
public:
  exception_damaged_tags()
      : exception_io_data(vantrel_io::io_message("exception_mp4_damaged_tags",
                                                 "The file's MP4 tags are damaged; the file is left unchanged")) {}
};

// A write the layout check refused, with its reason: the file is not
// unreadable, as a bare data error would have the user believe.
class exception_refused_rewrite : public vantrel_io::exception_io_data {
public:
  explicit exception_refused_rewrite(const tarnex::refusal_reason& reason) : exception_io_data(message(reason)) {}

private:
  static vantrel_io::io_message message(const tarnex::refusal_reason& reason) {
    vantrel_io::io_message text("exception_mp4_write_refused",
                                "The file cannot take new MP4 tags safely ({reason}); the file is left unchanged");
    text.fill_placeholder("reason", vantrel_io::io_message(reason.id, reason.english).c_str());
    return text;
  }
};

// Errors of the MP4 library reach callers as data errors of the file layer.
template <class Action>
auto as_io_errors(Action&& action) {
  try {
    return action();
  } catch (const tarnex::exception_write_refused& refused) {
    throw exception_refused_rewrite(refused.reason());
  } catch (const tarnex::exception&) {
    throw exception_io_data_tarnex();
  } catch (const qiv::exception_overflow&) {
    throw vantrel_io::exception_io_data();
  }
}

GUID owner_of_kind(std::uint32_t kind) {
  switch (kind) {
    case kind_aac: return mp4_owner_guid;
    case kind_ac3: return ac3_owner_guid;
    case kind_alac: return alac_owner_guid;
    case kind_amr: return amr_owner_guid;
    default: return amr_wb_owner_guid;
  }
}

// Names the item list and the player's fields spell differently.
const char* field_name_of_item(const std::string& name) {
  if (equals_ascii_nocase(name, "year")) return "date";
  if (equals_ascii_nocase(name, "track")) return "tracknumber";
  if (equals_ascii_nocase(name, "disc")) return "discnumber";
  return name.c_str();
}

std::string item_name_of_field(const char* field) {
  if (qiv::compare_nocase(field, "date") == 0) return "year";
  if (qiv::compare_nocase(field, "tracknumber") == 0) return "track";
  if (qiv::compare_nocase(field, "discnumber") == 0) return "disc";
  return field;
}

bool is_replaygain_item(const std::string& name) {
  for (const char* ours : {"replaygain_album_gain", "replaygain_album_peak", "replaygain_track_gain",
                           "replaygain_track_peak"})
    if (equals_ascii_nocase(name, ours)) return true;
  return false;
}

// A chapter's index points, in 100-nanosecond units as the file stores them:
// its value is the pregap before index 01 (which is the chapter's start),
// its points are indexes 02 onwards relative to that start.
void index_points_to_info(const index_map_entry& entry, track_info& out) {
  constexpr double units_per_second = 10000000.0;
  cue_parser::index_times times{};
  times[0] = -(static_cast<double>(entry.value) / units_per_second);
  for (std::size_t i = 0; i < entry.points.size() && i + 2 < times.size(); ++i)
    times[i + 2] = static_cast<double>(entry.points[i]) / units_per_second;
  cue_parser::index_fields_to_info(out, times);
}

// The album artist a compilation shows where its items name none.
bool is_shown_album_artist(const tag_fields& items, const std::string& item, const track_info& info,
                           std::uint32_t field) {
  if (item != item_name_of_field("album artist") || items.find(item) || !items.find("itunescompilation"))
    return false;
  return info.field_value_count(field) == 1 && std::strcmp(info.field_value(field, 0), compilation_album_artist) == 0;
}

// The items an info becomes over the items `current` of the same song.
tag_fields fields_to_store(const tag_fields& current, const track_info& info) {
  tag_fields fresh;
  for (std::uint32_t i = 0; i < info.field_count(); ++i) {
    const std::string name = item_name_of_field(info.field_name(i));
    if (is_shown_album_artist(current, name, info, i)) continue;
    for (std::uint32_t v = 0; v < info.field_value_count(i); ++v) fresh.add(name, info.field_value(i, v));
  }
  const replaygain_info gains = info.get_replaygain();
  std::string text;
  for (const replaygain_field& field : replaygain_fields) {
    if (!replaygain_format_field(text, gains, field)) continue;
    // A value the edit left alone keeps its item as its tagger wrote it.
    const auto stored = current.entries().find(field.name);
    if (stored != current.entries().end() && !stored->second.values.empty() &&
        replaygain_text_reads_as(field, stored->second.values.front(), text))
      fresh.set(stored->first, stored->second);
    else
      fresh.add(field.name, text);
  }
  // Encoder, gapless and normalisation records are not the user's fields:
  // they survive every retag. Nor are fields whose names no track info can
  // hold, which the user never saw.
  for (const auto& [name, entry] : current.entries()) {
    if (!entry.multi_valued && !is_replaygain_item(name)) {
      for (const std::string& value : entry.values) fresh.add(name, value);
    } else if (entry.multi_valued && !track_info::is_valid_field_name(field_name_of_item(name))) {
      fresh.set(name, entry);
    }
  }
  return fresh;
}

// Two entries of one name, either absent, hold the same values.
bool same_values_or_both_absent(const tag_fields::entry* a, const tag_fields::entry* b) {
  return a == nullptr || b == nullptr ? a == b : a->values == b->values;
}

}  // namespace

void mp4_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  path_ = path;
  opened_by_input_ = !file;
  vantrel_io::open_or_rewind(file, path, reason, abort);
  if (reason == open_reason::decode && file->can_seek()) vantrel_io::read_ahead_file::wrap_if_local(file, abort);
  file_ = std::move(file);
  as_io_errors([&] { open_file(reason, abort); });
}

void mp4_input::open_file(open_reason reason, const abort_signal& abort) {
  model_.clear();
  fields_changed_ = false;
  decoder_.reset();
  track_.reset();
  iterator_.reset();
  mp4_stream_adapter in(file_, abort);
  const bool writing = reason == open_reason::info_write;
  mp4_open_file(model_, in, writing ? writing_options : reading_options, file_->can_seek(),
                writing ? cut_file::refuse : cut_file::keep_what_is_there);
  deliver_warnings();
  track_ = model_.played_track();
  if (!track_) throw tarnex::exception("cannot find audio track to decode");

  const track_parameters parameters = get_track_parameters(*track_);
  total_frames_ = parameters.sample_count;
  sample_rate_ = parameters.sample_rate;
  channels_ = parameters.channels;
  bits_per_sample_ = parameters.bits_per_sample;
  time_scale_ = parameters.time_scale;
  // The sample entry's 16-bit rate cannot hold rates above 65535 and is 0
  // then; an audio track's time scale is its rate, and the packet decoder's
  // own report (an ALAC configuration, an AAC one) has the last word.
  if (sample_rate_ == 0) sample_rate_ = time_scale_;
  const char* invalid = sample_rate_ == 0 ? "Invalid sample rate."
                        : channels_ == 0  ? "Invalid channel count."
                        : time_scale_ == 0 ? "Invalid time scale."
                                           : nullptr;
  if (invalid) {
    report(invalid, true);
    throw vantrel_io::exception_io_data();
  }
  restart_iterator();
  open_packet_decoder(reason == open_reason::decode, abort);
}

void mp4_input::open_packet_decoder(bool for_decoding, const abort_signal& abort) {
  const std::uint32_t setup_size = static_cast<std::uint32_t>(track_->decoder_setup.size());
  const void* setup = setup_size ? track_->decoder_setup.data() : nullptr;
  const std::uint32_t parameter = track_->kind == kind_aac ? track_->object_type : 0;
  try {
    packet_codec::find_and_open(decoder_, for_decoding, owner_of_kind(track_->kind), parameter, setup, setup_size,
                                abort);
  } catch (const vantrel_io::exception_io_data&) {
    if (track_->kind != kind_ac3) throw;
    const matroska_codec_setup as_matroska{"A_AC3", sample_rate_, 0, channels_, 0, nullptr};
    packet_codec::find_and_open(decoder_, for_decoding, matroska_owner_guid, 0, &as_matroska, sizeof as_matroska,
                                abort);
  }
  extra_bytes_ = decoder_->control(extra_bytes_control, 0, nullptr, 0);
  if (extra_bytes_ != 0) decoder_->control(extra_bytes_control, extra_bytes_, nullptr, 0);
  if (sample_rate_) decoder_->control(packet_control_set_sample_rate, sample_rate_, nullptr, 0);
  if (bits_per_sample_) decoder_->control(packet_control_set_bits_per_sample, bits_per_sample_, nullptr, 0);
  if (channels_) decoder_->control(packet_control_set_channels, channels_, nullptr, 0);

  decoder_info_.reset();
  if (decoder_->wants_first_frame()) {
    try {
      if (!read_frame(0, abort)) throw vantrel_io::exception_io_data();
      decoder_->set_first_frame(packet_.data(), packet_size_, abort);
    } catch (...) {
      report("reading from MP4 file failed: frame 1 of " + std::to_string(total_frames_) + ".", true);
      throw;
    }
  }
  decoder_->get_info(decoder_info_);
  if (decoder_info_.find_tech("channels") != track_info::not_found)
    channels_ = static_cast<std::uint32_t>(decoder_info_.get_tech_int("channels"));
  if (decoder_info_.find_tech("samplerate") != track_info::not_found)
    sample_rate_ = static_cast<std::uint32_t>(decoder_info_.get_tech_int("samplerate"));
  if (decoder_info_.find_tech("bitspersample") != track_info::not_found)
    bits_per_sample_ = static_cast<std::uint32_t>(decoder_info_.get_tech_int("bitspersample"));
  if (channels_ == 0 || sample_rate_ == 0) {
    decoder_.reset();
    model_.clear();
    report("Decoder returned invalid info.", true);
    throw vantrel_io::exception_io_data();
  }
}

std::uint32_t mp4_input::get_subsong_count() const noexcept {
  return model_.song_count() ? static_cast<std::uint32_t>(model_.song_count()) : 1;
}

void mp4_input::get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) {
  if (subsong > model_.song_count()) vantrel_io::throw_io_data();
  out.reset();
  const std::size_t songs = model_.song_count();
  double length = 0.0;
  if (songs) {
    length = subsong == 0 ? model_.song_end(songs - 1) - model_.song_start(0)
                          : model_.song_end(subsong - 1) - model_.song_start(subsong - 1);
  }
  out.set_length(length);

  const tag_fields& items = subsong == 0 || !songs ? whole_file_items() : model_.songs[subsong - 1].metadata;
  for (const auto& [name, entry] : items.entries()) {
    if (entry.values.empty()) continue;
    if (entry.multi_valued) {
      const char* field = field_name_of_item(name);
      if (!track_info::is_valid_field_name(field)) continue;
      std::uint32_t index = track_info::not_found;
      for (const std::string& value : entry.values) {
        if (index == track_info::not_found)
          index = out.append_field(field, track_info::until_nul, value.data(), value.size());
        else
          out.add_field_value(index, value.data(), value.size());
      }
    } else if (is_replaygain_item(name)) {
      out.try_set_replaygain(name.c_str(), entry.values.front().c_str());
    } else if (equals_ascii_nocase(name, "tool")) {
      out.set_tech("tool", track_info::until_nul, entry.values.front().c_str(), track_info::until_nul);
    } else if (equals_ascii_nocase(name, "codec")) {
      out.set_tech("encoder", track_info::until_nul, entry.values.front().c_str(), track_info::until_nul);
    }
  }
  if (items.find("itunescompilation") && out.find_field("album artist") == track_info::not_found)
    out.set_field("album artist", track_info::until_nul, compilation_album_artist, track_info::until_nul);

  const std::uint32_t average = track_ ? track_->average_bitrate : 0;
  if (average == 0) {
    const std::uint64_t size = file_->get_size(abort);
    if (size != vantrel_io::filesize_unknown) out.set_bitrate_from_size(size, length);
  } else {
    out.set_bitrate((average + 500) / 1000);
  }
  out.set_tech_int("channels", channels_);
  out.set_tech_int("samplerate", sample_rate_);
  for (std::uint32_t i = 0; i < decoder_info_.tech_count(); ++i)
    out.set_tech(decoder_info_.tech_name(i), track_info::until_nul, decoder_info_.tech_value(i), track_info::until_nul);
  if (subsong >= 1 && subsong <= model_.index_map.size()) index_points_to_info(model_.index_map[subsong - 1], out);
}

void mp4_input::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink;
  if (decoder_) packet_codec_controls::send_sink(*decoder_, sink);
  deliver_warnings();
}

// What the open passed over reaches the first sink there is.
void mp4_input::deliver_warnings() {
  if (!sink_) return;
  for (const std::string& warning : model_.warnings) report(warning, false);
  model_.warnings.clear();
}

void mp4_input::report(const std::string& text, bool is_error) {
  if (sink_) sink_->on_message(text.c_str(), is_error);
}

void mp4_input::initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) {
  if (!decoder_) vantrel_io::throw_io_data();
  const bool check_file = (flags & 8) != 0;
  packet_codec_controls::send_flag(*decoder_, check_file);
  as_io_errors([&] { initialize_range(subsong); });
  // A caller that checks files hears what is wrong with the layout; the
  // check changes nothing, and each frame read seeks to its own place.
  if (check_file && file_->can_seek()) {
    std::vector<std::string> reports;
    std::uint64_t cut_position = no_cut;
    {
      mp4_stream_adapter in(file_, abort);
      as_io_errors([&] { mp4_check_and_fix_file(in, reports, cut_position); });
    }
    for (const std::string& text : reports) report(text, true);
  }
}

void mp4_input::initialize_range(std::uint32_t subsong) {
  const std::size_t songs = model_.song_count();
  if (subsong > songs || songs == 0) throw tarnex::exception("invalid decode range");
  // Tables that hold no sample (a size table cut before its first entry)
  // leave nothing to play, whatever range the songs span.
  if (total_frames_ == 0) throw exception_no_audio_data();
  pending_skip_ = 0;
  range_start_ = model_.song_start(subsong == 0 ? 0 : subsong - 1);
  range_end_ = model_.song_end(subsong == 0 ? songs - 1 : subsong - 1);
  if (!(range_start_ < range_end_)) throw tarnex::exception("invalid decode range");
  restart_iterator();
  seek_to(0.0);
}

void mp4_input::seek(double seconds, const abort_signal&) {
  if (!decoder_) vantrel_io::throw_io_data();
  as_io_errors([&] { seek_to(seconds > 0.0 ? seconds : 0.0); });
}

void mp4_input::seek_to(double seconds) {
  const double t = range_start_ + seconds;
  if (range_end_ <= t || total_frames_ == 0) {
    next_frame_ = total_frames_;
    samples_to_deliver_ = 0;
    return;
  }
  std::uint64_t preroll = audio_math::time_to_samples(decoder_->seek_preroll_seconds(), time_scale_);
  const std::uint64_t target = audio_math::time_to_samples(t, time_scale_);
  preroll = std::min(preroll, target);
  sample_at_time at{};
  try {
    at = sample_at_media_time(*track_, target - preroll);
  } catch (const exception_out_of_range&) {
    next_frame_ = total_frames_;
    return;
  }
  next_frame_ = at.sample;
  const double skip = std::floor(double(at.remainder + preroll) * sample_rate_ / time_scale_ + 0.5);
  if (skip > double(std::numeric_limits<std::uint32_t>::max())) throw qiv::exception_overflow();
  pending_skip_ = static_cast<std::uint32_t>(skip);
  samples_to_deliver_ = audio_math::time_to_samples(range_end_ - t, sample_rate_);
  decoder_->reset();
}

bool mp4_input::run(audio_block& out, const abort_signal& abort) {
  if (!decoder_) vantrel_io::throw_io_data();
  return as_io_errors([&] { return decode_chunk(out, abort); });
}

bool mp4_input::decode_chunk(audio_block& out, const abort_signal& abort) {
  for (;;) {
    if (samples_to_deliver_ == 0) return false;
    abort.check_and_throw();
    const std::uint32_t f = next_frame_;
    if (f > total_frames_) return false;
    const bool drain = f == total_frames_;
    if (!drain && !read_frame(f, abort)) {
      if (f == 0) throw exception_no_audio_data();
      // A file cut short (an interrupted download) plays up to its cut.
      report("The file ends inside frame " + std::to_string(f + 1) + " of " + std::to_string(total_frames_) + ".",
             false);
      next_frame_ = total_frames_;
      continue;
    }
    scratch_.set_sample_count(0);
    scratch_.set_channels(0, 0);
    scratch_.set_sample_rate(0);
    try {
      decoder_->decode(packet_.data(), drain ? 0 : packet_size_, scratch_, abort);
    } catch (const vantrel_io::exception_aborted&) {
      throw;
    } catch (const std::exception& e) {
      if (drain)
        report(std::string("Error flushing the decoder: ") + e.what(), false);
      else
        report(std::string("Decoding error: ") + e.what() + ", frame: " + std::to_string(f + 1) + " of " +
                   std::to_string(total_frames_),
               pending_skip_ == 0);
      scratch_.set_sample_count(0);
    }
    next_frame_ = f + 1;
    if (scratch_.is_empty()) continue;
    if (!scratch_.is_valid()) {
      report("Decoder produced invalid chunk.", true);
      throw vantrel_io::exception_io_data();
    }
    if (scratch_.get_sample_rate() != sample_rate_) {
      report("Expected sample rate: " + std::to_string(sample_rate_) +
                 ", got: " + std::to_string(scratch_.get_sample_rate()),
             true);
      throw vantrel_io::exception_io_data();
    }
    std::uint32_t count = scratch_.get_sample_count();
    const std::uint32_t skip = std::min(count, pending_skip_);
    count -= skip;
    pending_skip_ -= skip;
    count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, samples_to_deliver_));
    samples_to_deliver_ -= count;
    if (count == 0) continue;
    const std::uint32_t channels = scratch_.get_channels();
    out.set_data(scratch_.get_data() + std::size_t(skip) * channels, count, channels, scratch_.get_sample_rate(),
                 scratch_.get_channel_config());
    return true;
  }
}

void mp4_input::restart_iterator() {
  iterator_.emplace(track_);
  iterator_placed_ = false;
}

bool mp4_input::read_frame(std::uint32_t frame, const abort_signal& abort) {
  sample_iterator& it = *iterator_;
  if (iterator_placed_ && frame > 0 && it.sample() == frame - 1) {
    if (!it.advance()) throw tarnex::exception("error advancing iterator");
  } else if (!iterator_placed_ || it.sample() != frame) {
    it.position(frame);
    iterator_placed_ = true;
  }
  const sample_location where = it.locate();
  const std::string numbers = std::to_string(frame + 1) + " of " + std::to_string(total_frames_);
  if (where.size == 0 || where.file_offset > std::numeric_limits<std::uint64_t>::max() - where.size) {
    report("Invalid MP4 frame size: frame " + numbers + ".", true);
    throw vantrel_io::exception_io_data();
  }
  // The buffer size is worked out in 64 bits: a 32-bit size plus the codec's
  // extra bytes could wrap to a small buffer that the read then overruns.
  const std::uint64_t needed = std::uint64_t(where.size) + extra_bytes_;
  if (needed > max_packet_bytes) {
    report("Invalid MP4 frame size: frame " + numbers + ".", true);
    throw vantrel_io::exception_io_data();
  }
  // Checked after the size: a damaged size is an error, a plausible frame
  // running past the end is where a cut file ends.
  const std::uint64_t file_size = file_->get_size(abort);
  const bool size_known = file_size != vantrel_io::filesize_unknown;
  if (size_known && file_size < where.file_offset + where.size) return false;
  try {
    file_->seek(where.file_offset, abort);
    if (packet_.size() < needed) packet_.resize(static_cast<std::size_t>(needed));
    file_->read_exact(packet_.data(), where.size, abort);
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (const vantrel_io::exception_io&) {
    report("Reading from MP4 file failed: frame " + numbers + ".", true);
    throw;
  }
  std::fill(packet_.begin() + where.size, packet_.begin() + static_cast<std::ptrdiff_t>(needed), 0);
  packet_size_ = where.size;
  return true;
}

void mp4_input::set_info(std::uint32_t subsong, const track_info& info) {
  if (subsong > model_.song_count()) vantrel_io::throw_io_data();
  if (subsong == 0 && model_.song_count() > 1) return set_whole_file_info(info);
  tag_fields& current = model_.songs[subsong == 0 ? 0 : subsong - 1].metadata;
  tag_fields fresh = fields_to_store(current, info);
  if (!same_values(fresh, current)) fields_changed_ = true;
  current = std::move(fresh);
}

// An edit of a book as a whole goes into its item list, what other programs
// read as the file's tags, and every chapter that showed the file's value
// of a changed field shows the new one; a chapter's own value stays.
void mp4_input::set_whole_file_info(const track_info& info) {
  const tag_fields& before = whole_file_items();
  tag_fields fresh = fields_to_store(before, info);
  if (same_values(fresh, before)) return;
  std::vector<std::string> names;
  for (const tag_fields* fields : {&before, &std::as_const(fresh)})
    for (const auto& [name, entry] : fields->entries()) names.push_back(name);
  for (const std::string& name : names) {
    const tag_fields::entry* was = before.find(name);
    const tag_fields::entry* now = fresh.find(name);
    if (same_values_or_both_absent(was, now)) continue;
    for (song& chapter : model_.songs) {
      if (!same_values_or_both_absent(chapter.metadata.find(name), was)) continue;
      if (now) chapter.metadata.set(name, *now);
      else chapter.metadata.remove(name);
    }
  }
  model_.edited_item_list = std::move(fresh);
  fields_changed_ = true;
}

const tag_fields& mp4_input::whole_file_items() const {
  if (model_.edited_item_list) return *model_.edited_item_list;
  return model_.song_count() > 1 && model_.metadata_present ? model_.item_list.fields : model_.file_metadata;
}

void mp4_input::commit(const abort_signal& abort) {
  if (model_.tags_damaged) throw exception_damaged_tags();
  abort.check_and_throw();
  // The writer stores the pictures it is given: the file's own go back in.
  if (model_.pictures.empty()) {
    if (model_.tags_present && !model_.tags.pictures.empty())
      model_.pictures = model_.tags.pictures;
    else if (model_.item_list.front_cover)
      model_.pictures.push_back(*model_.item_list.front_cover);
  }
  // The writer checks the layout and cuts an appended ID3v1 tag itself, and
  // only once the new movie box is in force: a write it refuses or that
  // fails leaves every byte as it was. What the check found is told either
  // way, since it says why a write was refused. Once the first byte is
  // written the rewrite runs to its end.
  std::vector<std::string> reports;
  bool written = false;
  try {
    as_io_errors([&] {
      std::optional<movie_box_rewrite> rewrite;
      {
        mp4_stream_adapter io(file_, never_raised_abort_signal());
        rewrite.emplace(model_, io, choose_write_mode(model_), reports,
                        fields_changed_ ? values_edit::changed : values_edit::unchanged);
      }
      // An edit that changes no value writes nothing, yet is refused where
      // any edit would be: the user learns that the file cannot be tagged.
      // What a stopped write left is taken out all the same.
      if (!fields_changed_ && !rewrite->mends_stopped_write()) return;
      write_movie_box(*rewrite, file_, opened_by_input_ ? path_.c_str() : "", abort);
      written = true;
    });
  } catch (...) {
    for (const std::string& report : reports) this->report(report, false);
    reread_after_failed_write();
    throw;
  }
  for (const std::string& report : reports) this->report(report, false);
  if (!written) return;
  // The info a writer hands back after its write is what the file now
  // holds: the model's fields are still those read before the write, and a
  // caller storing them would undo the edit at its next write. Read again
  // as any later reader reads the file, whatever the write changed.
  const abort_signal& never = never_raised_abort_signal();
  file_->seek(0, never);
  as_io_errors([&] { open_file(open_reason::info_write, never); });
}

bool mp4_input::has_unfinished_write() {
  if (model_.tags_damaged) return false;
  // A layout that refuses every write has nothing a commit could finish:
  // the file then stays as unwritten as before.
  try {
    std::vector<std::string> reports;
    mp4_stream_adapter io(file_, never_raised_abort_signal());
    const movie_box_rewrite rewrite(model_, io, choose_write_mode(model_), reports);
    return rewrite.mends_stopped_write();
  } catch (const std::exception&) {
    return false;
  }
}

// A write that failed after its switch to the new movie box leaves the new
// layout, half tidied, in force; one that failed before it, the old layout.
// Either way the next write plans from the file as it now is. The write's
// failure is the one reported.
void mp4_input::reread_after_failed_write() noexcept {
  if (!file_) return;
  try {
    const abort_signal& never = never_raised_abort_signal();
    file_->seek(0, never);
    as_io_errors([&] { open_file(open_reason::info_write, never); });
  } catch (const std::exception&) {
  }
}

}  // namespace tarnex
