// The input for WavPack files: one service that claims ".wv" and opens a
// decoder, an info reader or an info writer over a wavpack_file, with the
// tracks of an embedded cue sheet as subsongs.
#include <cmath>
#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "core/tag_service.h"
#include "foundation/crash.h"
#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"
#include "metadata/cue/cue_embedded.h"
#include "metadata/decoder_service.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/inputs/input_service.h"
#include "playback/inputs/wavpack/wavpack_file.h"

namespace {

// Set in the initialize flags when damage must stop decoding.
constexpr std::uint32_t flag_integrity_check = 8;
// Set in the initialize flags when the whole file may play without a gap.
constexpr std::uint32_t flag_no_seeking = 1;

template <class Interface>
class wavpack_object : public Interface {
public:
  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
    own_file_ = !file;
    path_ = path;
    file_.open(std::move(file), path, reason == open_reason::info_write, abort);
    rebuild_cue_map(abort);
  }
  std::uint32_t get_subsong_count() override {
    // The map always holds the whole file as subsong 0.
    return cue_.size() > 1 ? cue_.size() - 1 : 1;
  }
  std::uint32_t get_subsong(std::uint32_t index) override { return cue_embedded::subsong_at(cue_, index); }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override {
    if (subsong != 0 && !cue_.find(subsong)) vantrel_io::throw_io_data();
    cue_embedded::track_info_from_cue(cue_, subsong, out);
  }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override {
    return file_.main_file()->get_stats(abort);
  }

protected:
  void rebuild_cue_map(const abort_signal& abort) {
    track_info_impl whole;
    file_.read_info(whole, abort);
    cue_embedded::read_track_info(cue_, whole);
  }

  wavpack_file file_;
  cue_track_map cue_;
  std::string path_;
  // Opened here from the path, so a rewritten file may replace it.
  bool own_file_ = false;
};

class wavpack_decoder : public wavpack_object<decoder_instance_ext> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) override {
    start_ = 0.0;
    length_ = -1.0;
    if (subsong != 0) {
      if (!cue_.find(subsong)) vantrel_io::throw_io_data();
      const cue_embedded::track_range range = cue_embedded::get_track_range(cue_, subsong);
      if (range.start > 0) flags &= ~flag_no_seeking;
      start_ = range.start;
      length_ = range.length;
    }
    file_.set_strict((flags & flag_integrity_check) != 0);
    correction_to_report_ = file_.uses_correction();
    file_.seek(0, abort);
    if (start_ > 0) file_.seek(start_, abort);
    position_ = 0.0;
  }
  bool run(audio_block& out, const abort_signal& abort) override { return run_limited(out, nullptr, abort); }
  bool run_raw(audio_block& out, qiv::string_object& raw, const abort_signal& abort) override {
    return run_limited(out, &raw, abort);
  }
  void seek(double seconds, const abort_signal& abort) override {
    if (length_ > 0 && seconds > length_) seconds = length_;
    file_.seek(start_ + seconds, abort);
    position_ = seconds;
  }
  bool can_seek() override { return true; }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info& out, double& timestamp) override {
    if (!correction_to_report_) return false;
    correction_to_report_ = false;
    track_info_impl whole;
    cue_embedded::track_info_from_cue(cue_, 0, whole);
    const auto profile = whole.tech_value_by_name("codec_profile");
    const std::string text = std::string(profile ? *profile : "") + wavpack_correction_suffix;
    out.set_tech("codec_profile", track_info::until_nul, text.data(), text.size());
    timestamp = 0.0;
    return true;
  }
  void on_idle(const abort_signal& abort) override {
    file_.main_file()->check_abort(abort);
    if (file_.correction_file()) file_.correction_file()->check_abort(abort);
  }
  void set_message_sink(decoder_message_sink* sink) override { file_.set_message_sink(sink); }

private:
  bool run_limited(audio_block& out, qiv::string_object* raw, const abort_signal& abort) {
    if (length_ > 0 && position_ >= length_) return false;
    if (!file_.decode(out, abort)) return false;
    if (length_ > 0) {
      const double left = std::floor(out.get_sample_rate() * (length_ - position_) + 0.5);
      if (left < out.get_sample_count()) {
        position_ = length_;
        if (left <= 0) return false;
        out.set_sample_count(static_cast<std::uint32_t>(left));
        out.set_data_size(static_cast<std::uint32_t>(left) * out.get_channels());
      } else {
        position_ += out.duration_seconds();
      }
    } else {
      position_ += out.duration_seconds();
    }
    if (raw) fill_raw(out, *raw);
    return true;
  }

  // The samples as the file stores them: integers of the stored width
  // (8-bit unsigned), or 32-bit floats.
  void fill_raw(const audio_block& block, qiv::string_object& raw) {
    if (file_.mode() & MODE_FLOAT) {
      raw.set_string(reinterpret_cast<const char*>(block.get_data()), std::size_t(block.get_data_size()) * 4);
      return;
    }
    const unsigned bits = 8 * static_cast<unsigned>(WavpackGetBytesPerSample(file_.context()));
    qiv::byte_array bytes;
    if (!block.to_int_pcm(bytes, bits, bits, false)) qiv::crash();
    if (bits == 8)
      for (std::uint32_t i = 0; i < bytes.get_count(); ++i) bytes[i] ^= 0x80;
    raw.set_string(reinterpret_cast<const char*>(bytes.data()), bytes.get_count());
  }

  double start_ = 0.0;
  double length_ = -1.0;
  double position_ = 0.0;
  bool correction_to_report_ = false;
};

class wavpack_info_reader : public wavpack_object<info_reader> {};

class wavpack_info_writer : public wavpack_object<info_writer> {
public:
  // Subsong 0 is the file's own tags, the others its cue tracks.
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal&) override {
    if (subsong == 0) cue_embedded::apply_file_info(cue_, info);
    else cue_embedded::apply_track_info(cue_, subsong, info);
  }
  void commit(const abort_signal& abort) override {
    track_info_impl tags;
    cue_embedded::write_track_info(cue_, tags);
    // The library reads through the file: it lets go for the rewrite and
    // opens the file again afterwards, the new one if it was replaced.
    vantrel_io::file_ptr file = file_.take_file();
    try {
      // The APEv2 tag holds the fields; an ID3v1 tag beside it stays, with
      // the edit made in it.
      unsigned kinds = tag_service::write_apev2;
      trailing_tags found = find_trailing_tags(*file, true, abort);
      if (!found.id3v1_blocks.empty()) kinds |= tag_service::write_id3v1;
      if (own_file_) {
        retag_through_temp_file rewrite(path_.c_str());
        write_trailing_tags(file, rewrite, tags, kinds, abort, &found);
        rewrite.commit(file, abort);
      } else {
        retag_in_place in_place;
        write_trailing_tags(file, in_place, tags, kinds, abort, &found);
      }
    } catch (const std::exception&) {
      reopen(std::move(file));
      throw;
    }
    file_.open(std::move(file), path_.c_str(), true, abort);
    rebuild_cue_map(abort);
  }

private:
  // After a failed write the object stays usable on the unchanged file.
  void reopen(vantrel_io::file_ptr file) noexcept {
    try {
      file_.open(std::move(file), path_.c_str(), true, never_raised_abort_signal());
    } catch (const std::exception&) {
    }
  }
};

constexpr const char* wavpack_extensions[] = {"WV"};

class wavpack_input : public input_service<wavpack_decoder, wavpack_info_reader, wavpack_info_writer> {
public:
  wavpack_input() : input_service(wavpack_extensions, {}) {}
};

service_factory_single_t<wavpack_input> wavpack_input_registration;

}  // namespace
