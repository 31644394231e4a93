// The MPEG audio input (MP1, MP2, MP3 files and MPEG streams): its service
// entry and the three faces it opens (decoder, info reader, info writer),
// all built on one mpeg_stream_reader. The decoder trims the encoder delay
// and padding so that playback is gapless, and seeks through the seek-table
// cache, decoding only the last frames before the target.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "core/advanced_settings_registrations.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_message_sink.h"
#include "metadata/tags/id3v1.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/tag_services.h"
#include "metadata/track_info.h"
#include "playback/channel_mask.h"
#include "playback/decoders/mpeg_seek_table_cache.h"
#include "playback/inputs/input_service.h"
#include "playback/inputs/mpeg/mpeg_input.h"
#include "playback/inputs/mpeg/mpeg_stream_reader.h"

namespace {

// Below this many samples still to skip, frames are decoded (the decoder
// needs them to settle); above it they are only parsed.
constexpr std::int64_t decode_window = 11520;
constexpr std::uint64_t preroll_frames = 10;
// About 30 years: far beyond any stream, far within 64-bit sample counts.
constexpr double max_seek_seconds = 1e9;

void require(bool condition) {
  if (!condition) throw qiv::exception_dynamic_assert();
}

void require_subsong_zero(std::uint32_t subsong) {
  if (subsong != 0) throw vantrel_io::exception_io_data();
}

void write_technical_info(const mpeg_stream_info& info, track_info& out) {
  if (info.enc_delay >= 0) out.set_tech_int("enc_delay", info.enc_delay);
  if (info.enc_padding >= 0) out.set_tech_int("enc_padding", info.enc_padding);
  if (info.accurate_length) out.set_tech("mp3_accurate_length", qiv::until_nul, "yes", qiv::until_nul);
  if (info.bitrate >= 0) out.set_tech_int("bitrate", info.bitrate);
  out.set_length(info.length >= 0 ? info.length : -1.0);
  if (info.layer >= 1 && info.layer <= 3) {
    static const char* const codecs[] = {"MP1", "MP2", "MP3"};
    out.set_tech("codec", qiv::until_nul, codecs[info.layer - 1], qiv::until_nul);
  }
  out.set_tech("encoding", qiv::until_nul, "lossy", qiv::until_nul);
  if (info.channels >= 0) out.set_tech_int("channels", info.channels);
  if (info.sample_rate >= 0) out.set_tech_int("samplerate", info.sample_rate);
  if (info.channel_mode >= 0 && info.channel_mode <= 3) {
    static const char* const modes[] = {"stereo", "joint stereo", "dual channel", "mono"};
    out.set_tech("mp3_stereo_mode", qiv::until_nul, modes[info.channel_mode], qiv::until_nul);
  }
  if (!info.tool.empty()) out.set_tech("tool", qiv::until_nul, info.tool.c_str(), qiv::until_nul);
  if (!info.codec_profile.empty())
    out.set_tech("codec_profile", qiv::until_nul, info.codec_profile.c_str(), qiv::until_nul);
}

// Passes the reader's messages to the owner's sink: structure errors as
// errors, the rest as warnings.
class receiver_to_sink_structure_errors : public stream_receiver {
public:
  explicit receiver_to_sink_structure_errors(decoder_message_sink* sink) : sink_(sink) {}
  void report(const char* text, std::uint32_t severity) override {
    sink_->on_message(text, severity == stream_receiver::structure_error);
  }

private:
  service_ptr<decoder_message_sink> sink_;
};

// What every face does with its reader.
template <class Interface>
class mpeg_face : public Interface {
public:
  mpeg_stream_reader reader;

  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
    tags_after_write_.reset();
    reader.attach(std::move(file), path, reason, abort);
  }
  std::uint32_t get_subsong_count() override { return 1; }
  std::uint32_t get_subsong(std::uint32_t) override { return 0; }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override { return reader.file->get_stats(abort); }

  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) override {
    require_subsong_zero(subsong);
    require(static_cast<bool>(reader.file));
    if (!reader.parsed) reader.parse(abort);
    write_technical_info(reader.info, out);
    if (!reader.file->can_seek()) return;
    tags_read_ = false;
    tagtype_read_.clear();
    leading_tags_.reset();
    trailing_tags_.reset();
    if (tags_after_write_) {
      read_tags(*tags_after_write_, out, false, abort);
      return;
    }
    const std::uint64_t position = reader.file->get_position(abort);
    reader.file->seek(0, abort);
    // Only a file this input holds without sharing stays as it was read
    // until the write.
    read_tags(*reader.file, out, keeps_tags_for_write_ && reader.own_file, abort);
    reader.seek_file(position, abort);
  }

protected:
  // The tag kinds the file held when get_info last read it; a writer that
  // has not written since need not read the tags again to learn them.
  bool tags_read_ = false;
  std::string tagtype_read_;
  // A writer keeps the tags get_info read for its write.
  bool keeps_tags_for_write_ = false;
  std::optional<id3v2_leading_tags> leading_tags_;
  std::optional<trailing_tags> trailing_tags_;
  // The tags a write put into a file held without sharing: the file's tags
  // until the next write, read from memory.
  vantrel_io::file_ptr tags_after_write_;

private:
  void read_tags(vantrel_io::file_object& source, track_info& out, bool keep, const abort_signal& abort) {
    try {
      tag_services::read(source, out, abort, keep ? &leading_tags_ : nullptr, keep ? &trailing_tags_ : nullptr);
      tagtype_read_ = out.tech_value_by_name("tagtype").value_or("");
    } catch (const exception_tag_not_found&) {
    }
    tags_read_ = true;
  }
};

class mpeg_decoder : public mpeg_face<decoder_instance_ext> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) override {
    require_subsong_zero(subsong);
    reader.crc_warned = false;
    if (!reader.parsed) reader.parse(abort);
    reader.check_leading_tag(abort);
    reader.open_flags = flags;
    // A stream that cannot seek already stands at its first frame.
    if (reader.can_seek) reader.seek_file(reader.first_frame, abort);
    static const GUID* const owners[] = {&mpeg_layer1_owner_guid, &mpeg_layer2_owner_guid, &mpeg_layer3_owner_guid};
    if (reader.layer < 1 || reader.layer > 3) throw vantrel_io::exception_io_data();
    packet_codec::find_and_open(reader.decoder, true, *owners[reader.layer - 1], 0, nullptr, 0, abort);
    reader.decoder->control(packet_control_set_channels, static_cast<std::uint32_t>(reader.info.channels), nullptr, 0);
    reader.decoder->control(packet_control_set_sample_rate, reader.sample_rate, nullptr, 0);
    reader.skip_remaining = reader.start_skip;
    reader.at_end = false;
    if (reader.can_seek) seek(0.0, abort);
  }

  bool run(audio_block& out, const abort_signal& abort) override {
    require(static_cast<bool>(reader.decoder));
    audio_block& block = reader.block;
    for (;;) {
      if (reader.at_end) return false;
      const bool decode = reader.skip_remaining < decode_window;
      const std::uint32_t length = reader.read_next_frame(decode, abort);
      if (length == 0) {
        reader.at_end = true;
        if (!decode) return false;
        reader.decoder->decode(nullptr, 0, block, abort);
      } else if (decode) {
        reader.decoder->decode(reader.frame_buffer.data(), length, block, abort);
      } else {
        mpeg_frame_header header;
        if (!mpeg_parse_header(reader.frame_buffer.data(), header)) throw vantrel_io::exception_io_data();
        block.set_data(nullptr, header.samples_per_frame, header.channels, header.sample_rate,
                       default_channel_mask(header.channels));
      }
      if (block.is_empty()) continue;
      if (reader.skip_remaining > 0) {
        if (reader.skip_remaining < block.get_sample_count()) {
          block.drop_leading_samples(static_cast<std::uint32_t>(reader.skip_remaining));
          reader.skip_remaining = 0;
        } else {
          reader.skip_remaining -= block.get_sample_count();
          block.set_sample_count(0);
          continue;
        }
      }
      if (reader.info.accurate_length) {
        const std::int64_t remaining = std::max<std::int64_t>(0, reader.total_samples - reader.samples_out);
        if (remaining < block.get_sample_count()) block.set_sample_count(static_cast<std::uint32_t>(remaining));
        if (block.get_sample_count() == 0) {
          reader.at_end = true;
          return false;
        }
      }
      reader.samples_out += block.get_sample_count();
      out.set_data(block.get_data(), block.get_sample_count(), block.get_channels(), block.get_sample_rate(),
                   block.get_channel_config());
      return true;
    }
  }

  void seek(double seconds, const abort_signal& abort) override {
    require(static_cast<bool>(reader.decoder));
    if (!reader.can_seek) throw qiv::exception_not_implemented();
    // Huge or non-finite targets must not overflow the sample arithmetic:
    // past an exact end is the end; an estimated length may be short, so
    // there only the arithmetic sets the bound.
    const double limit = reader.info.accurate_length ? static_cast<double>(reader.total_samples) / reader.sample_rate
                                                     : max_seek_seconds;
    if (!(seconds > 0)) seconds = 0;
    if (seconds > limit) seconds = limit;
    const std::int64_t target =
        static_cast<std::int64_t>(std::floor(seconds * reader.sample_rate + 0.5)) + reader.start_skip;
    const std::uint64_t frame = static_cast<std::uint64_t>(target) / reader.samples_per_frame;
    reader.at_end = false;
    mpeg_seek_table_cache::point point;
    if (frame <= preroll_frames ||
        !mpeg_seek_table_cache::lookup(reader.seek_table_handle(), frame - preroll_frames, point))
      point = {};
    require(point.frame <= frame);
    reader.frames_read = point.frame;
    reader.seek_file(static_cast<std::uint64_t>(reader.first_frame) + point.offset, abort);
    reader.decoder->reset();
    reader.skip_remaining = target - static_cast<std::int64_t>(point.frame * reader.samples_per_frame);
    reader.samples_out = target - reader.start_skip;
  }

  bool can_seek() override {
    require(static_cast<bool>(reader.decoder));
    return reader.can_seek;
  }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info&, double&) override { return false; }
  void on_idle(const abort_signal& abort) override {
    require(static_cast<bool>(reader.decoder));
    reader.file->check_abort(abort);
  }
  bool run_raw(audio_block&, qiv::string_object&, const abort_signal&) override {
    throw qiv::exception_not_implemented();
  }
  void set_message_sink(decoder_message_sink* sink) override {
    if (!sink) {
      reader.set_receiver(nullptr);
      return;
    }
    service_ptr<stream_receiver> adapter(new service_counted<receiver_to_sink_structure_errors>(sink));
    reader.set_receiver(adapter.get());
  }
};

class mpeg_info_reader : public mpeg_face<info_reader> {};

class mpeg_info_writer : public mpeg_face<info_writer> {
public:
  mpeg_info_writer() { keeps_tags_for_write_ = true; }

  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal& abort) override {
    require_subsong_zero(subsong);
    require(static_cast<bool>(reader.file));
    if (!reader.parsed) reader.parse(abort);
    if (!reader.file->can_seek()) throw vantrel_io::exception_io_object_not_seekable();
    if (!tags_read_) {
      track_info_impl present;
      get_info(0, present, abort);
    }
    unsigned kinds = mpeg_tag_kinds_to_write(tagtype_read_.c_str(), id3v1_can_hold_info(info));
    // A leading tag too damaged to read is still there: asking for ID3v2
    // makes the writer refuse to go over it rather than strip it.
    if (reader.id3v2_size > 0) kinds |= tag_services::kind_id3v2;
    // Other MP3 readers skip an APEv2 tag only from its header.
    kinds |= tag_services::apev2_header_always;
    // Trailing tags that claim the first frame are damage, not tags.
    const std::uint64_t audio_start = static_cast<std::uint64_t>(reader.first_frame) + 1;
    tags_read_ = false;
    // What was read stands for the file only until this write.
    std::optional<id3v2_leading_tags> leading = std::move(leading_tags_);
    std::optional<trailing_tags> trailing = std::move(trailing_tags_);
    leading_tags_.reset();
    trailing_tags_.reset();
    keeps_tags_for_write_ = false;
    tags_after_write_.reset();
    tag_region_update update = tag_services::prepare_write(*reader.file, kinds, info, abort, audio_start,
                                                                 leading ? &*leading : nullptr,
                                                                 trailing ? &*trailing : nullptr);
    if (reader.own_file) {
      retag_through_temp_file rewrite(reader.path.c_str());
      apply_tag_region_update(reader.file, rewrite, update, abort);
      rewrite.commit(reader.file, abort);
    } else {
      retag_in_place in_place;
      apply_tag_region_update(reader.file, in_place, update, abort);
    }
    // Only the tags changed: the audio's facts still hold, moved by the
    // change in the leading tags' length.
    const std::int64_t moved =
        static_cast<std::int64_t>(update.leading.size()) - static_cast<std::int64_t>(update.leading_length);
    reader.first_frame += moved;
    reader.id3v2_size += static_cast<std::uint64_t>(moved);
    // A file shared with others may change after the write; one held alone
    // holds the tags just written.
    if (!reader.own_file) return;
    tags_after_write_ = tag_services::tags_after_update(update);
  }
  void commit(const abort_signal&) override {}
};

// Its claim has rules of its own: MIME types match with case, and stream
// addresses without a file extension are its own.
class mpeg_input : public input_service<mpeg_decoder, mpeg_info_reader, mpeg_info_writer> {
public:
  mpeg_input() : input_service({}, {}) {}
  bool is_our_content_type(const char* mime_type) override { return mpeg_is_our_content_type(mime_type); }
  bool is_our_path(const char* path, const char* extension) override { return mpeg_is_our_path(path, extension); }
};

service_factory_single_t<mpeg_input> mpeg_input_registration;

}  // namespace

bool mpeg_is_our_content_type(const char* mime_type) {
  static const char* const types[] = {"audio/mp3", "audio/mpeg", "audio/mpg", "audio/x-mp3", "audio/x-mpeg", "audio/x-mpg"};
  for (const char* type : types)
    if (std::strcmp(mime_type, type) == 0) return true;
  return false;
}

bool mpeg_is_our_path(const char* path, const char* extension) {
  static constexpr const char* extensions[] = {"mp3", "mp2", "mp1"};
  if (extension_is_one_of(extension, extensions)) return true;
  if (std::strncmp(path, "http://", 7) != 0) return false;
  // A stream address is ours unless its path names a file with an extension
  // (a "." after the first "/" that is not inside the query).
  const std::string rest = path + 7;
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) return true;
  const std::size_t dot = rest.find('.', slash);
  if (dot == std::string::npos) return true;
  const std::size_t query = rest.find('?');
  return query != std::string::npos && dot > query;
}

unsigned mpeg_tag_kinds_to_write(const char* tagtype, bool id3v1_holds_info) {
  unsigned present = 0;
  std::string text = tagtype;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('|', start);
    if (end == std::string::npos) end = text.size();
    const std::string name = text.substr(start, end - start);
    if (!name.empty()) {
      const char* n = name.c_str();
      if (qiv::compare_nocase(n, "apev1") == 0 || qiv::compare_nocase(n, "apev2") == 0) present |= tag_services::kind_apev2;
      else if (qiv::compare_nocase(n, "id3v1") == 0) present |= tag_services::kind_id3v1;
      else if (qiv::compare_nocase(n, "id3v2") == 0 || qiv::compare_nocase(n, "id3v2.2") == 0 ||
               qiv::compare_nocase(n, "id3v2.3") == 0 || qiv::compare_nocase(n, "id3v2.4") == 0)
        present |= tag_services::kind_id3v2;
    }
    start = end + 1;
  }
  const bool keep = (present & (tag_services::kind_id3v2 | tag_services::kind_apev2)) ||
                    ((present & tag_services::kind_id3v1) && id3v1_holds_info);
  if (keep) return present;
  using namespace advanced_settings;
  unsigned scheme = tag_services::kind_id3v2 | tag_services::kind_id3v1;
  if (tag_scheme_id3v2_id3v1.get_state()) scheme = tag_services::kind_id3v2 | tag_services::kind_id3v1;
  else if (tag_scheme_id3v2.get_state()) scheme = tag_services::kind_id3v2;
  else if (tag_scheme_ape_id3v1.get_state()) scheme = tag_services::kind_apev2 | tag_services::kind_id3v1;
  else if (tag_scheme_ape.get_state()) scheme = tag_services::kind_apev2;
  return present | scheme;
}
