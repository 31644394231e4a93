// The output path's costs: how long from the first block to the first sound
// in the capture file, and how much processor time feeding and converting
// 60 s of 48 kHz stereo float take, beside the scalar conversion as a peer.
// Run under the build's Wine session with the capture sink of the tests:
//   AUDIO_CAPTURE=/tmp/bench-capture.wav tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_playback.exe
#include "bench/bench_clock.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/hidden_main_window.h"
#include "core/service_factory.h"
#include "foundation/main_thread.h"
#include "playback/audio_block.h"
#include "playback/output/output_dsound.h"
#include "playback/sample_conversion.h"

namespace {

using bench::now_seconds;

std::vector<float> noise(std::size_t samples) {
  std::mt19937 random(1);
  std::uniform_real_distribution<float> level(-0.5f, 0.5f);
  std::vector<float> out(samples);
  for (float& s : out) s = level(random);
  return out;
}

double cpu_seconds(HANDLE process_or_thread, bool is_thread) {
  FILETIME created, ended, kernel, user;
  if (is_thread)
    GetThreadTimes(process_or_thread, &created, &ended, &kernel, &user);
  else
    GetProcessTimes(process_or_thread, &created, &ended, &kernel, &user);
  auto seconds = [](FILETIME t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7; };
  return seconds(kernel) + seconds(user);
}

// Where the sink writes, as a Windows path (drive Z: is the Linux root).
std::wstring capture_path() {
  const char* unix_path = std::getenv("AUDIO_CAPTURE");
  std::wstring path = L"Z:";
  for (const char* c = unix_path ? unix_path : "/tmp/zorv-capture.wav"; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path;
}

bool capture_has_sound(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<float> data(1 << 16);
  DWORD got = 0;
  bool sound = false;
  SetFilePointer(file, 44, nullptr, FILE_BEGIN);
  while (!sound && ReadFile(file, data.data(), static_cast<DWORD>(data.size() * 4), &got, nullptr) && got > 0)
    for (DWORD i = 0; i < got / 4 && !sound; ++i) sound = data[i] != 0.0f;
  CloseHandle(file);
  return sound;
}

service_ptr<output_device> open_output() {
  return service_ptr<output_device>(new service_counted<output_dsound>(GUID{}, 3.0, nullptr, false));
}

// The engine's rhythm: one 0.1 s block at a time, update until taken.
void feed(output_device& output, const std::vector<float>& samples, std::size_t frames,
          const std::function<bool()>& stop = {}) {
  for (std::size_t first = 0; first < frames; first += 4800) {
    audio_block block;
    block.set_data(samples.data() + 2 * (first % 48000), 4800, 2, 48000, 0x3);
    output.write(block);
    for (bool done = false; output.update(done), !done;) {
      if (stop && stop()) return;
      Sleep(5);
    }
  }
}

} // namespace

int main() {
  qiv::set_main_thread_id(GetCurrentThreadId());
  hidden_main_window::create();
  const std::vector<float> samples = noise(48000 * 2);

  // Play to first sound: blocks go in as fast as the output takes them.
  {
    const std::wstring path = capture_path();
    DeleteFileW(path.c_str());
    service_ptr<output_device> output = open_output();
    double found_at = 0;
    const double started = now_seconds();
    feed(*output, samples, 48000 * 10, [&] {
      if (capture_has_sound(path)) found_at = now_seconds();
      return found_at != 0;
    });
    std::printf("play_to_first_sound_ms %.1f (budget 150)\n", found_at ? (found_at - started) * 1000 : -1.0);
    output->flush();
  }
  Sleep(300);

  // Feeding and converting 60 s through the output, in processor time.
  {
    service_ptr<output_device> output = open_output();
    HANDLE process = GetCurrentProcess(), thread = GetCurrentThread();
    const double process_before = cpu_seconds(process, false), thread_before = cpu_seconds(thread, true);
    const double wall_before = now_seconds();
    feed(*output, samples, 48000 * 60);
    const double process_cpu = cpu_seconds(process, false) - process_before;
    const double writer_cpu = cpu_seconds(thread, true) - thread_before;
    std::printf("feed_60s_wall_s %.2f\n", now_seconds() - wall_before);
    std::printf("feed_60s_writer_cpu_percent_of_one_core %.3f (budget 1)\n", writer_cpu / 60 * 100);
    std::printf("feed_60s_process_cpu_percent_of_one_core %.3f (includes the system mixer)\n", process_cpu / 60 * 100);
  }

  // The conversion a 16-bit device needs, vector kernels against scalar.
  {
    const std::vector<float> minute = noise(48000 * 2 * 60);
    std::vector<std::int16_t> out(minute.size());
    double seconds[2];
    const sample_kernels::table* tables[2] = {&sample_kernels::for_path(sample_kernels::path::scalar),
                                              &sample_kernels::active()};
    for (int k = 0; k < 2; ++k) {
      const double start = now_seconds();
      tables[k]->float_to_s16(minute.data(), out.data(), static_cast<std::uint32_t>(minute.size()), 1.0f);
      seconds[k] = now_seconds() - start;
    }
    std::printf("convert_60s_to_s16_ms scalar %.2f active %.2f ratio %.1f\n", seconds[0] * 1000, seconds[1] * 1000,
                seconds[0] / seconds[1]);
  }
  return 0;
}
