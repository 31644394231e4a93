#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstring>
#include <float.h>
#include <vector>

#include "core/advanced_settings_registrations.h"
#include "core/config_item_registrations.h"
#include "core/hidden_main_window.h"
#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/windows_version.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/output/dsound_stream.h"
#include "playback/output/dsound_worker.h"
#include "playback/output/output_exceptions.h"
#include "playback/output/output_module.h"
#include "playback/output/pcm_converter.h"
#include "support/capture_wav.h"

namespace {

struct signal {
  std::vector<float> samples;  // interleaved stereo
  std::uint32_t rate;
  std::size_t frames() const { return samples.size() / 2; }
};

// 16-bit values as floats: what a 48 kHz device must pass on untouched. The
// first frame is never silent, so the capture can be aligned on it.
signal sixteen_bit_noise(std::size_t frames, std::uint32_t seed) {
  signal s{std::vector<float>(frames * 2), 48000};
  for (std::size_t i = 0; i < s.samples.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const auto value = static_cast<std::int16_t>(seed >> 16);
    s.samples[i] = (i < 2 && value == 0 ? 1 : value) / 32768.0f;
  }
  return s;
}

signal cosine(std::size_t frames, std::uint32_t rate, double hertz) {
  signal s{std::vector<float>(frames * 2), rate};
  for (std::size_t f = 0; f < frames; ++f)
    s.samples[2 * f] = s.samples[2 * f + 1] = static_cast<float>(0.5 * std::cos(2 * std::numbers::pi * hertz * f / rate));
  return s;
}

bool wait_for(bool (*condition)(), double seconds) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(5))
    if (condition()) return true;
  return condition();
}

class AudioOutput : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    qiv::set_main_thread_id(GetCurrentThreadId());
    hidden_main_window::create();
    service_registry::table().build(service_factory::global_list_head);
    capture_wav::remove();
  }

  service_ptr<output_device> open_output(const GUID& device = {}) {
    config::output_device.set(device);
    output_request request;
    output_select(request);
    EXPECT_TRUE(request.opened);
    return request.device;
  }

  // Hands the signals over in 0.1 s blocks as the engine does, then lets
  // everything play out.
  static void play(output_device& output, const std::vector<signal>& signals) {
    for (const signal& s : signals) {
      const std::size_t step = s.rate / 10;
      for (std::size_t first = 0; first < s.frames(); first += step) {
        audio_block block;
        const auto frames = static_cast<std::uint32_t>(std::min(step, s.frames() - first));
        block.set_data(s.samples.data() + 2 * first, frames, 2, s.rate, 0x3);
        output.write(block);
        for (bool done = false; output.update(done), !done;) Sleep(5);
      }
    }
    output.force_start();
    for (DWORD start = GetTickCount(); output.get_latency() > 0 && GetTickCount() - start < 10000;) Sleep(5);
    ASSERT_EQ(output.get_latency(), 0.0);
    // The system's mixer holds the last few milliseconds after the play
    // cursor has passed them; closing the device at once would drop them.
    Sleep(200);
  }

  // Releasing the device lets its stream go; the feeding thread then ends.
  static void close(service_ptr<output_device>& output) {
    output.reset();
    ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5)) << "feeding thread still running";
  }
};

// What was heard of audio that kept arriving: the output must never have run
// dry, and the silence a busy machine put in is taken out.
std::vector<float> heard_unbroken() {
  EXPECT_EQ(capture_wav::player_ran_dry(), "");
  return capture_wav::read_heard();
}

// Where `part` lies bit for bit in the capture, or npos.
std::size_t find_exact(const std::vector<float>& capture, const signal& part) {
  for (std::size_t at = 0; at + part.samples.size() <= capture.size(); at += 2)
    if (std::memcmp(&capture[at], part.samples.data(), part.samples.size() * 4) == 0) return at / 2;
  return std::string::npos;
}

dsound_stream_spec float_stereo_48k() {
  dsound_stream_spec spec;
  spec.sample_rate = 48000;
  spec.channels = 2;
  spec.bits = 32;
  spec.channel_mask = 0x3;
  spec.is_float = true;
  spec.buffer_seconds = 3.0;
  return spec;
}

// Writes the whole signal as the ring makes room.
void write_all(output_dsound_stream& stream, const signal& s) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.samples.data());
  for (std::size_t at = 0, total = s.samples.size() * 4; at < total; Sleep(2)) {
    const std::size_t n = std::min<std::size_t>(stream.get_writable_bytes() / 8 * 8, total - at);
    if (n && stream.write(bytes + at, static_cast<std::uint32_t>(n))) at += n;
  }
}

bool wait_until(output_dsound_stream& stream, bool (*condition)(output_dsound_stream&), double seconds) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(5))
    if (condition(stream)) return true;
  return false;
}

// Until the capture file shows what `seen` looks for.
template <class Condition>
bool wait_for_capture(Condition seen) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20))
    if (seen(capture_wav::read_samples())) return true;
  return false;
}

// The threads of this process that started in `module`.
std::vector<HANDLE> threads_of_module(const wchar_t* module_name) {
  using query_thread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<query_thread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  const HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  bool found = false;
  for (BOOL more = Module32FirstW(modules, &module); more && !found;)
    if (!(found = _wcsicmp(module.szModule, module_name) == 0)) more = Module32NextW(modules, &module);
  CloseHandle(modules);
  std::vector<HANDLE> threads;
  if (!found || !query) return threads;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    BYTE* start = nullptr;
    constexpr int start_address_class = 9;
    if (thread && query(thread, start_address_class, &start, sizeof(start), nullptr) == 0 &&
        start >= module.modBaseAddr && start < module.modBaseAddr + module.modBaseSize)
      threads.push_back(thread);
    else if (thread)
      CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return threads;
}

// Starts what the stream holds, lets it play out and the system's mixer take
// the last of it, then lets the stream go.
void play_out_and_close(output_dsound_stream* stream) {
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.get_buffered_bytes() == 0; }, 5));
  Sleep(200);
  stream->request_close();
  ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5));
}

// Audio that stops arriving plays out; the stream then waits, prebuffering,
// until asked to start again, and the later audio follows untouched.
TEST_F(AudioOutput, StreamPlaysOutAndWaitsForMore) {
  const signal first = sixteen_bit_noise(24000, 11), second = sixteen_bit_noise(9600, 12);
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  write_all(*stream, first);
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.get_buffered_bytes() == 0; }, 5));
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return !s.is_playing(); }, 5)) << "not reset";
  write_all(*stream, second);
  Sleep(300);
  EXPECT_FALSE(stream->is_playing()) << "0.2 s is below the start threshold";
  // By now it has all left the ring for the device buffer: the start request
  // must still start it.
  play_out_and_close(stream);
  const std::vector<float> capture = capture_wav::read_heard();
  const std::size_t first_at = find_exact(capture, first), second_at = find_exact(capture, second);
  ASSERT_NE(first_at, std::string::npos);
  ASSERT_NE(second_at, std::string::npos);
  EXPECT_GT(second_at, first_at + first.frames());
}

// The playback front end's shutdown lets the device go at once, whatever
// still plays; a stream made afterwards (a front end brought up again) is
// fed by a thread of its own and plays whole.
TEST_F(AudioOutput, ShutdownLetsTheDeviceGoAndALaterStreamStillPlays) {
  const signal cut = sixteen_bit_noise(96000, 31), later = sixteen_bit_noise(24000, 32);
  output_dsound_stream* playing = output_dsound_stream::create(float_stereo_48k());
  write_all(*playing, cut);
  playing->force_start();
  dsound_worker::shutdown();
  EXPECT_FALSE(dsound_worker::is_running());
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  ASSERT_TRUE(dsound_worker::is_running()) << "no thread feeds the new stream";
  write_all(*stream, later);
  play_out_and_close(stream);
  EXPECT_NE(find_exact(heard_unbroken(), later), std::string::npos);
}

// The play cursor runs ahead of what the system has sent on: a stream let go
// the moment its data passed the cursor still delivers every sample, whether
// its owner closes it or fades it out (with nothing left to fade).
TEST_F(AudioOutput, StreamClosedAtItsEndStillDeliversTheLastSample) {
  const signal closed = sixteen_bit_noise(24000, 21), faded = sixteen_bit_noise(24000, 22);
  for (const signal* s : {&closed, &faded}) {
    output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
    write_all(*stream, *s);
    stream->force_start();
    ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.get_buffered_bytes() == 0; }, 5));
    if (s == &closed) stream->request_close();
    else stream->fade_out_and_close(0.5);
    ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5));
  }
  // Their last 0.1 s, whole and at full level (a loaded machine may stall
  // the system's mixer earlier on, which is not what this is about).
  auto last_tenth = [](const signal& s) {
    return signal{std::vector<float>(s.samples.end() - 4800 * 2, s.samples.end()), 48000};
  };
  const std::vector<float> capture = heard_unbroken();
  EXPECT_NE(find_exact(capture, last_tenth(closed)), std::string::npos) << "the closed stream's tail is missing";
  EXPECT_NE(find_exact(capture, last_tenth(faded)), std::string::npos) << "the faded stream's tail is missing or faded";
}

// The feeding thread held up (a loaded machine) just as the last audio
// passes the cursor: the cursor runs on into what the buffer held from one
// buffer length before. Only silence may follow the last sample.
TEST_F(AudioOutput, LateFeedingAfterTheEndPlaysNoOldAudio) {
  // Longer than the buffer, so all of it has held audio before the end.
  const signal noise = sixteen_bit_noise(4 * 48000, 31);
  const std::int32_t tenth = dsound_stream_sizes::of(float_stereo_48k()).bytes_per_second / 10;
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  write_all(*stream, noise);
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) {
    return s.get_buffered_bytes() < static_cast<std::int32_t>(dsound_stream_sizes::of(float_stereo_48k()).bytes_per_second / 10);
  }, 10));
  {
    // Longer than the silence laid after the data, shorter than the buffer.
    critical_section_lock hold(dsound_worker::lock());
    ASSERT_LT(stream->get_buffered_bytes(), tenth);
    Sleep(500);
  }
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.get_buffered_bytes() == 0; }, 10));
  Sleep(200);
  stream->request_close();
  ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5));
  const std::vector<float> capture = heard_unbroken();
  const signal last_tenth{std::vector<float>(noise.samples.end() - 4800 * 2, noise.samples.end()), 48000};
  const std::size_t end = find_exact(capture, last_tenth);
  ASSERT_NE(end, std::string::npos) << "the end of the audio is missing";
  EXPECT_LE(capture_wav::last_sound(capture), end + 4800 - 1)
      << (capture_wav::last_sound(capture) + 1 - end - 4800) << " frames of sound after the end";
}

// Audio that stops arriving while the stream plays and comes again once the
// device has played past all of it: the silence between is the output's own,
// and no check may take it for the machine's.
TEST_F(AudioOutput, RunningDryIsNeverTakenForTheMachinesSilence) {
  const signal first = sixteen_bit_noise(24000, 41), second = sixteen_bit_noise(9600, 42);
  // A long buffer, so that however late the capture shows the silence the
  // cursor has not come round to the old audio again.
  dsound_stream_spec spec = float_stereo_48k();
  spec.buffer_seconds = 10.0;
  output_dsound_stream* stream = output_dsound_stream::create(spec);
  write_all(*stream, first);
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.is_playing(); }, 5));
  {
    // The feeding thread held up until the device has played whole periods
    // past the end of the audio; the second part waits in the ring.
    critical_section_lock hold(dsound_worker::lock());
    ASSERT_TRUE(stream->write(second.samples.data(), static_cast<std::uint32_t>(second.samples.size() * 4)));
    const signal last_tenth{std::vector<float>(first.samples.end() - 4800 * 2, first.samples.end()), 48000};
    ASSERT_TRUE(wait_for_capture([&](const std::vector<float>& capture) {
      const std::size_t end = find_exact(capture, last_tenth);
      return end != std::string::npos && capture.size() / 2 >= end + 4800 + 4 * capture_wav::device_period_frames;
    })) << "the device did not play on past the audio";
  }
  play_out_and_close(stream);
  EXPECT_EQ(capture_wav::player_ran_dry(), "stream 1 after 24000 frames; ");
  const std::vector<float> heard = capture_wav::read_heard();
  const std::size_t first_at = find_exact(heard, first), second_at = find_exact(heard, second);
  ASSERT_NE(first_at, std::string::npos);
  ASSERT_NE(second_at, std::string::npos);
  EXPECT_GE(second_at, first_at + first.frames() + capture_wav::device_period_frames)
      << "the output's silence was taken out";
}

// The system's mixer held up (a busy machine) while the stream has its audio
// queued: the device hands over silent periods and the audio goes on after
// them exactly. That silence is the machine's and is taken out.
TEST_F(AudioOutput, MachinesSilenceWithAudioQueuedIsTakenOut) {
  const signal noise = sixteen_bit_noise(2 * 48000, 43);
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  write_all(*stream, noise);
  stream->force_start();
  ASSERT_TRUE(wait_for_capture([](const std::vector<float>& capture) {
    return capture_wav::first_sound(capture) + 4800 < capture.size() / 2;
  })) << "nothing heard";
  const std::vector<HANDLE> mixer = threads_of_module(L"dsound.dll");
  ASSERT_FALSE(mixer.empty()) << "no mixer thread found";
  for (HANDLE thread : mixer) SuspendThread(thread);
  // Nothing that could wait on the mixer runs meanwhile.
  Sleep(500);
  for (HANDLE thread : mixer) {
    ResumeThread(thread);
    CloseHandle(thread);
  }
  play_out_and_close(stream);
  const std::vector<float> capture = capture_wav::read_samples();
  ASSERT_EQ(find_exact(capture, noise), std::string::npos) << "the machine's silence did not come";
  EXPECT_NE(find_exact(heard_unbroken(), noise), std::string::npos);
}

// Before the stream starts, what is written goes straight to the device
// buffer: the lead fills in one go, without waiting for the feeding thread,
// and playing starts the moment the start threshold is reached.
TEST_F(AudioOutput, PrebufferFillsAtOnceAndStartsAtTheThreshold) {
  const signal noise = sixteen_bit_noise(48000, 23);
  const dsound_stream_sizes sizes = dsound_stream_sizes::of(float_stereo_48k());
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(noise.samples.data());
  const std::uint32_t piece = 4800 * 8;
  ASSERT_TRUE(stream->write(bytes, piece));
  // Once the device is open the ring empties into its buffer.
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) {
    return s.get_writable_bytes() == static_cast<std::uint32_t>(dsound_stream_sizes::of(float_stereo_48k()).ring);
  }, 5));
  std::uint32_t written = piece;
  while (written < static_cast<std::uint32_t>(sizes.start_threshold)) {
    ASSERT_TRUE(stream->write(bytes + written, piece)) << "refused at " << written << " bytes";
    written += piece;
  }
  EXPECT_TRUE(stream->is_playing()) << "not started at the threshold";
  play_out_and_close(stream);
  EXPECT_NE(find_exact(heard_unbroken(), noise), std::string::npos);
}

// Audio that runs out in the middle of a volume ramp: the ramp ends at its
// target, and the next audio plays at the new gain, not one caught half-way.
TEST_F(AudioOutput, RampCutShortByPlayOutEndsAtItsTarget) {
  const signal short_level{std::vector<float>(2400 * 2, 0.5f), 48000}, level{std::vector<float>(9600 * 2, 0.5f), 48000};
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  stream->ramp_volume_from(0.0, 1.0, 10.0);
  write_all(*stream, short_level);
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.get_buffered_bytes() == 0; }, 5));
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return !s.is_playing(); }, 5)) << "not reset";
  write_all(*stream, level);
  play_out_and_close(stream);
  const std::vector<float> capture = capture_wav::read_heard();
  const std::size_t end = capture_wav::last_sound(capture);
  ASSERT_GT(end, 4800u);
  EXPECT_EQ(capture[2 * (end - 2400)], 0.5f) << "the later audio at full gain";
}

// Paused, nothing more is played; resumed, playing goes on. A fade of 0 s
// pauses at the next pass.
TEST_F(AudioOutput, PauseHoldsPlaybackUntilResumed) {
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  write_all(*stream, sixteen_bit_noise(48000, 5));
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.is_playing(); }, 5));
  stream->pause_with_fade(0.0, 1.0, true);
  Sleep(100);
  const std::int32_t held = stream->get_buffered_bytes();
  Sleep(200);
  EXPECT_EQ(stream->get_buffered_bytes(), held) << "played on while paused";
  EXPECT_GT(held, 0);
  stream->pause_with_fade(0.0, 1.0, false);
  Sleep(200);
  EXPECT_LT(stream->get_buffered_bytes(), held) << "did not resume";
  stream->request_close();
  ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5));
}

// A fade longer than what is buffered is cut to it: the stream ends with its
// audio, fading all the way, instead of lingering for the full time.
TEST_F(AudioOutput, FadeOutIsCutToWhatIsBuffered) {
  signal level{std::vector<float>(48000 * 2, 0.5f), 48000};
  output_dsound_stream* stream = output_dsound_stream::create(float_stereo_48k());
  write_all(*stream, level);
  stream->force_start();
  ASSERT_TRUE(wait_until(*stream, [](output_dsound_stream& s) { return s.is_playing(); }, 5));
  const DWORD fade_start = GetTickCount();
  stream->fade_out_and_close(30.0);
  ASSERT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 10));
  EXPECT_LT(GetTickCount() - fade_start, 5000u);
  const std::vector<float> capture = capture_wav::read_samples();
  const std::size_t start = capture_wav::first_sound(capture), end = capture_wav::last_sound(capture);
  ASSERT_GT(end, start + 4800);
  EXPECT_EQ(capture[2 * start], 0.5f) << "full level before the fade";
  EXPECT_LT(std::fabs(capture[2 * (end - 480)]), 0.1f) << "almost silent 10 ms before the end";
}

TEST_F(AudioOutput, BitExactAt48k) {
  const signal noise = sixteen_bit_noise(48000, 7);
  service_ptr<output_device> output = open_output();
  play(*output, {noise});
  close(output);
  const std::vector<float> capture = heard_unbroken();
  const std::size_t start = capture_wav::first_sound(capture);
  ASSERT_GE(capture.size(), (start + noise.frames()) * 2) << "capture too short";
  EXPECT_EQ(std::memcmp(&capture[start * 2], noise.samples.data(), noise.samples.size() * 4), 0);
  EXPECT_EQ(capture_wav::last_sound(capture) + 1 - start, noise.frames()) << "nothing after the signal";
}

TEST_F(AudioOutput, ResampledFrom44k) {
  const signal tone = cosine(22050, 44100, 440);
  service_ptr<output_device> output = open_output();
  play(*output, {tone});
  close(output);
  const std::vector<float> capture = heard_unbroken();
  const std::size_t start = capture_wav::first_sound(capture), end = capture_wav::last_sound(capture);
  EXPECT_NEAR(static_cast<double>(end + 1 - start), 24000.0, 64.0) << "same length at the new rate";
  // The capture against the source read at 48 kHz (linear interpolation),
  // over the best small offset the resampler's delay allows.
  double best = 0;
  for (double lag = -64; lag <= 64; lag += 0.25) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t n = 500; n < 23000; ++n) {
      const double t = n * 44100.0 / 48000.0 + lag;
      const auto i = static_cast<std::size_t>(t);
      if (t < 0 || i + 1 >= tone.frames()) continue;
      const double y = tone.samples[2 * i] + (t - i) * (tone.samples[2 * i + 2] - tone.samples[2 * i]);
      const double x = capture[2 * (start + n)];
      xy += x * y, xx += x * x, yy += y * y;
    }
    best = std::max(best, xy / std::sqrt(xx * yy));
  }
  EXPECT_GT(best, 0.999);
}

TEST_F(AudioOutput, FormatChangePlaysOutTheFirstStream) {
  const signal first = cosine(13230, 44100, 440), second = sixteen_bit_noise(14400, 3);
  service_ptr<output_device> output = open_output();
  play(*output, {first, second});
  close(output);
  const std::vector<float> capture = heard_unbroken();
  // The second stream arrives whole and untouched: nothing of the first is
  // mixed into it.
  const std::size_t second_at = find_exact(capture, second);
  ASSERT_NE(second_at, std::string::npos) << "48 kHz part not found bit-exact";
  EXPECT_LT(capture_wav::first_sound(capture) + 14000, second_at) << "the 44.1 kHz part came first";
}

TEST_F(AudioOutput, UnknownDeviceIsReportedAndTheThreadComesAndGoes) {
  const GUID nowhere = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (int round = 0; round < 2; ++round) {
    service_ptr<output_device> output = open_output(nowhere);
    audio_block block;
    block.set_data(nullptr, 4800, 2, 48000, 0x3);
    output->write(block);
    bool done = false;
    output->update(done);
    EXPECT_TRUE(dsound_worker::is_running()) << "round " << round;
    try {
      for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5)) output->update(done);
      ADD_FAILURE() << "no device error";
    } catch (const exception_output_device_not_found& e) {
      EXPECT_STREQ(e.what(), "Audio device not found");
    }
    close(output);
  }
  config::output_module.set(GUID{1, 2, 3, {4}});
  output_request request;
  EXPECT_THROW(output_select(request), exception_output_module_not_found);
  config::output_module.set(config::directsound_output_guid);
}

// The device fails only after its owner let go with a fade: a ramp that can
// never run must not keep the stream, nor the feeding thread, alive.
TEST_F(AudioOutput, UnknownDeviceFailingAfterTheOwnerLetGoEndsTheThread) {
  advanced_settings::fade_out_ms.set_state("500", 3);
  const GUID nowhere = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  service_ptr<output_device> output = open_output(nowhere);
  {
    // The feeding thread's first pass, the one that fails, waits for this lock.
    critical_section_lock hold(dsound_worker::lock());
    audio_block block;
    block.set_data(nullptr, 4800, 2, 48000, 0x3);
    output->write(block);
    bool done = false;
    output->update(done);
    ASSERT_TRUE(done) << "the block waits in the ring, so the close fades";
    output.reset();
  }
  EXPECT_TRUE(wait_for([] { return !dsound_worker::is_running(); }, 5)) << "feeding thread still running";
  advanced_settings::fade_out_ms.reset();
}

TEST_F(AudioOutput, FrontEndRefusesMismatchedMasksAndCountsHeldAudio) {
  service_ptr<output_device> output = open_output();
  const struct {
    std::uint32_t rate, channels, mask;
    const char* why;
  } refused[] = {
      {44100, 2, 0x7, "2 channels with a 3-speaker mask"},
      {2822400, 2, 0x3, "a rate no stream takes would wait for room forever"},
      {0, 2, 0x3, "no rate"},
  };
  audio_block block;
  for (const auto& r : refused) {
    block.set_data(nullptr, 4410, r.channels, r.rate, r.mask);
    try {
      output->write(block);
      ADD_FAILURE() << "accepted: " << r.why;
    } catch (const vantrel_io::exception_io_data& e) {
      EXPECT_STREQ(e.what(), "Invalid audio stream specifications") << r.why;
    }
  }
  block.set_data(nullptr, 4410, 2, 44100, 0x3);
  output->write(block);
  EXPECT_DOUBLE_EQ(output->get_latency(), 0.1) << "held samples only, no stream yet";
  EXPECT_THROW(output->write(block), qiv::exception_dynamic_assert) << "the held block is not passed on yet";
  close(output);
}

TEST_F(AudioOutput, ConverterExactValuesAndRefusals) {
  const auto converter = service_lookup_unique_t<pcm_converter>();
  const struct {
    float sample;
    unsigned container, valid;
    std::uint32_t expected;
  } cases[] = {
      {1.0f, 16, 16, 0x7FFF}, {-1.0f, 16, 16, 0x8000},  {0.5f, 16, 16, 0x4000}, {1.0f, 8, 8, 255},
      {-1.0f, 8, 8, 0},       {0.0f, 8, 8, 128},        {-1.0f, 32, 24, 0x80000000},
      {1.0f, 32, 32, 0x7FFFFFFF}, {1.0f, 24, 24, 0x7FFFFF}, {-1.0f, 16, 12, 0x8000},
  };
  for (const auto& c : cases) {
    const float samples[5] = {c.sample, c.sample, c.sample, c.sample, c.sample};
    qiv::byte_array out;
    converter->convert({samples, 5, 1, 48000, 0x4}, out, c.valid, c.container, false, 1.0f);
    ASSERT_EQ(out.get_count(), 5 * c.container / 8);
    std::uint32_t last = 0;
    std::memcpy(&last, out.data() + 4 * c.container / 8, c.container / 8);
    EXPECT_EQ(last, c.expected) << c.sample << " in " << c.valid << "/" << c.container;
  }
  const float sample = 0.25f;
  const unsigned control_word = _controlfp(0, 0);
  const struct {
    unsigned container, valid, channels;
  } refused[] = {{24, 25, 1}, {12, 12, 1}, {16, 1, 1}, {16, 16, 0}};
  for (const auto& r : refused) {
    qiv::byte_array out;
    out.set_size(3);
    EXPECT_THROW(converter->convert({&sample, 1, r.channels, 48000, 0x4}, out, r.valid, r.container, false, 1.0f),
                 vantrel_io::exception_io_data);
    EXPECT_EQ(out.get_count(), 3u) << "output untouched";
  }
  EXPECT_EQ(_controlfp(0, 0), control_word);
}

// The program's own volume on the endpoint: what it sets it reads back, and
// no listener hears about its own change.
TEST_F(AudioOutput, VolumeControlFollowsTheProgramAndNotItself) {
  struct recording_listener : app_volume_listener {
    std::vector<float> heard;
    void on_volume_change(float decibels) override { heard.push_back(decibels); }
  } listener;
  CoInitialize(nullptr);
  output_volume::add_listener(&listener);
  output_volume::select_configured();
  ASSERT_TRUE(output_volume::current()) << "no program volume on the default device";
  output_volume::apply_volume(-6.0f);
  EXPECT_NEAR(output_volume::current()->get_volume(), -6.0f, 0.01f);
  output_volume::apply_volume(-200.0f);
  EXPECT_FLOAT_EQ(output_volume::current()->get_volume(), -100.0f) << "silence floors at -100 dB";
  Sleep(100);
  main_thread_queue::drain(true);
  EXPECT_TRUE(listener.heard.empty());

  const GUID nowhere = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  config::output_device.set(nowhere);
  output_volume::select_configured();
  EXPECT_FALSE(output_volume::current()) << "a device that is gone has no program volume";
  config::output_device.set(GUID{});
  output_volume::remove_listener(&listener);
  output_volume::release();
  CoUninitialize();
}

// Before Windows 6.0 the device opens through DirectSoundCreate and takes
// 16-bit integers made by the converter; 16-bit material must still arrive
// untouched. A copy of this program runs as Windows XP (the system's
// per-program version setting) and plays the signal there.
TEST_F(AudioOutput, LegacyWindowsSixteenBitPathIsBitExact) {
  wchar_t own_path[MAX_PATH];
  GetModuleFileNameW(nullptr, own_path, MAX_PATH);
  std::wstring legacy_path = own_path;
  legacy_path.replace(legacy_path.rfind(L'\\') + 1, std::wstring::npos, L"audio_output_legacy.exe");
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\audio_output_legacy.exe", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"winxp"), 12);
  RegCloseKey(key);
  std::wstring command = L"\"" + legacy_path + L"\" --gtest_filter=*.LegacyChild*";
  SetEnvironmentVariableW(L"ZORV_LEGACY_CHILD", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(legacy_path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &process));
  WaitForSingleObject(process.hProcess, 60000);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exit_code, 0u) << "the legacy run failed (its output is above)";
}

TEST_F(AudioOutput, LegacyChild) {
  if (!GetEnvironmentVariableW(L"ZORV_LEGACY_CHILD", nullptr, 0)) GTEST_SKIP() << "runs only as the legacy copy";
  ASSERT_FALSE(is_windows_vista_or_later()) << "the copy did not run as Windows XP";
  const signal noise = sixteen_bit_noise(48000, 9);
  service_ptr<output_device> output = open_output();
  play(*output, {noise});
  close(output);
  const std::vector<float> capture = heard_unbroken();
  EXPECT_NE(find_exact(capture, noise), std::string::npos) << "16-bit signal not found bit-exact";
}

}  // namespace
