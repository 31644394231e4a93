// A test-only input for ".sig" paths that exist only in a table: each
// decodes 48 kHz stereo 16-bit values that name their own frame, so a capture
// shows exactly which source frames were played and in what order. Frame g
// of the signal (g counted from the entry's first_frame) carries
// g % 32000 + 1 on the left and g / 32000 + 1 on the right, never zero.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "foundation/case_folding.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"

namespace signal_test {

struct signal_spec {
  std::uint32_t first_frame = 0;
  std::uint32_t frames = 48000;
  bool can_seek = true;
  bool fail_open = false;  // opening throws exception_io_data
  float track_gain = replaygain_info::gain_absent;
  // Reading the info fails: 1 with damaged data, 2 with a denied access.
  int info_failure = 0;
  bool reports_length = true;
};

inline constexpr std::uint32_t rate = 48000;
inline constexpr std::uint32_t chunk_frames = 4800;

inline float left_value(std::uint32_t g) { return static_cast<float>(g % 32000 + 1) / 32768.0f; }
inline float right_value(std::uint32_t g) { return static_cast<float>(g / 32000 + 1) / 32768.0f; }
// The frame a captured pair names; -1 for silence or anything else.
inline std::int64_t frame_of(float left, float right) {
  const long l = std::lround(left * 32768.0f), r = std::lround(right * 32768.0f);
  if (l < 1 || r < 1 || l > 32000) return -1;
  return static_cast<std::int64_t>(r - 1) * 32000 + (l - 1);
}

class signal_table {
public:
  static signal_table& get() {
    static signal_table table;
    return table;
  }
  void set(const std::string& path, const signal_spec& spec) {
    std::lock_guard<std::mutex> lock(lock_);
    specs_[path] = spec;
  }
  bool find(const std::string& path, signal_spec& out) {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = specs_.find(path);
    if (it == specs_.end()) return false;
    out = it->second;
    return true;
  }
  std::atomic<int> opens{0};

private:
  std::mutex lock_;
  std::map<std::string, signal_spec> specs_;
};

class signal_decoder : public decoder_instance {
public:
  signal_spec spec;
  std::uint32_t position = 0;

  std::uint32_t get_subsong_count() override { return 1; }
  std::uint32_t get_subsong(std::uint32_t) override { return 0; }
  void get_info(std::uint32_t, track_info& out, const abort_signal&) override {
    if (spec.info_failure == 1) throw vantrel_io::exception_io_data();
    if (spec.info_failure == 2) throw vantrel_io::exception_io_denied();
    if (spec.reports_length) out.set_length(static_cast<double>(spec.frames) / rate);
    replaygain_info gain;
    gain.track_gain = spec.track_gain;
    out.set_replaygain(gain);
  }
  vantrel_io::file_stats get_file_stats(const abort_signal&) override { return {}; }
  void initialize(std::uint32_t, std::uint32_t, const abort_signal&) override { position = 0; }
  bool run(audio_block& out, const abort_signal&) override {
    if (position >= spec.frames) return false;
    const std::uint32_t count = std::min(chunk_frames, spec.frames - position);
    float samples[chunk_frames * 2];
    for (std::uint32_t i = 0; i < count; ++i) {
      samples[2 * i] = left_value(spec.first_frame + position + i);
      samples[2 * i + 1] = right_value(spec.first_frame + position + i);
    }
    out.set_data(samples, count, 2, rate, 0x3);
    position += count;
    return true;
  }
  void seek(double seconds, const abort_signal&) override {
    position = static_cast<std::uint32_t>(std::lround(seconds * rate));
  }
  bool can_seek() override { return spec.can_seek; }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info&, double&) override { return false; }
  void on_idle(const abort_signal&) override {}
};

class signal_input : public decoder_service {
public:
  bool is_our_content_type(const char*) override { return false; }
  bool is_our_path(const char*, const char* extension) override { return qiv::compare_nocase(extension, "sig") == 0; }
  void open_for_decoding(decoder_instance_ptr& out, vantrel_io::file_ptr, const char* path,
                         const abort_signal& abort) override {
    abort.check_and_throw();
    signal_spec spec;
    if (!signal_table::get().find(path, spec)) throw vantrel_io::exception_io_not_found();
    if (spec.fail_open) throw vantrel_io::exception_io_data();
    ++signal_table::get().opens;
    service_ptr<signal_decoder> decoder(new service_counted<signal_decoder>());
    decoder->spec = spec;
    out = decoder.get();
  }
  void open_for_info_read(info_reader_ptr&, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    throw vantrel_io::exception_io_unsupported_format();
  }
  void open_for_info_write(info_writer_ptr&, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    throw vantrel_io::exception_io_unsupported_format();
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }
};

}  // namespace signal_test
