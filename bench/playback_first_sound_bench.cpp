// One side of the first-sound comparison that bench/peers/first_sound_peer.sh
// runs: the player's path from a play request to its first sample, or a
// plain DirectSound program doing the least that makes a sound (the floor).
// Each prints the wall-clock moment of its request; the capture reader on
// the other end of the sound system notes when the device opened and when
// the first sample arrived.
//   bench_playback_first_sound player FILE
//   bench_playback_first_sound floor
#include <windows.h>
#include <dsound.h>
#include <mmreg.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/hidden_main_window.h"
#include "core/main_thread_queue.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "io/path_schemes.h"
#include "metadata/track_handle_registry.h"
#include "playback/output/dsound_worker.h"
#include "playback/playback_front.h"
#include "playback/playback_listeners.h"
#include "playback/playback_order.h"

namespace {

// Microseconds since 1970, the clock the capture reader on the Linux side uses.
long long unix_microseconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10 - 11644473600LL * 1000000;
}

void print_request(long long at) {
  std::printf("request_unix_us %lld\n", at);
  std::fflush(stdout);
}

void pump_until(const std::function<bool()>& done) {
  while (!done()) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } else {
      main_thread_queue::drain(false);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
}

class stop_watch : public playback_listener {
public:
  bool stopped = false;
  void on_stop(std::uint32_t) override { stopped = true; }
};

int run_player(const char* file) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  hidden_main_window::create();
  app::state().ui_main_window =
      CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  service_registry::table().build(service_factory::global_list_head);
  playback_front_impl& front = playback_front_get();
  front.on_init();
  stop_watch watch;
  playback_listener_registry::add(&watch, ~0u, false);
  qiv::string_buffer path;
  vantrel_io::canonicalize_path(file, path);
  track_handle_list items;
  items.push_back(track_handle_registry::get_handle(track_location(path.get_ptr(), 0)));
  playback_order::get().set_source(playback_item_list_create(items));

  print_request(unix_microseconds());
  front.start(command_play, false);
  pump_until([&] { return watch.stopped; });
  pump_until([] { return !dsound_worker::is_running(); });
  playback_listener_registry::remove(&watch);
  front.on_quit();
  return 0;
}

// What a program that only wants to make a sound does: the default device,
// a buffer in the format the system mixes in, half a second of noise, play.
int run_floor() {
  HWND window = CreateWindowExW(0, L"STATIC", L"floor", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  CoInitialize(nullptr);
  print_request(unix_microseconds());
  IDirectSound* device = nullptr;
  if (FAILED(DirectSoundCreate(nullptr, &device, nullptr))) return 1;
  device->SetCooperativeLevel(window, DSSCL_PRIORITY);
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  format.nChannels = 2;
  format.nSamplesPerSec = 48000;
  format.wBitsPerSample = 32;
  format.nBlockAlign = 8;
  format.nAvgBytesPerSec = 48000 * 8;
  DSBUFFERDESC description = {};
  description.dwSize = sizeof(description);
  description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
  description.dwBufferBytes = format.nAvgBytesPerSec;
  description.lpwfxFormat = &format;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(device->CreateSoundBuffer(&description, &buffer, nullptr))) return 1;
  void* bytes = nullptr;
  DWORD size = 0;
  buffer->Lock(0, description.dwBufferBytes, &bytes, &size, nullptr, nullptr, 0);
  std::mt19937 random(1);
  std::uniform_real_distribution<float> level(-0.3f, 0.3f);
  auto* samples = static_cast<float*>(bytes);
  for (DWORD i = 0; i < size / 4; ++i) samples[i] = i < size / 8 ? level(random) : 0.0f;
  buffer->Unlock(bytes, size, nullptr, 0);
  buffer->Play(0, 0, 0);
  Sleep(1000);
  buffer->Release();
  device->Release();
  CoUninitialize();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "player") == 0) return run_player(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "floor") == 0) return run_floor();
  std::fprintf(stderr, "usage: bench_playback_first_sound player FILE | floor\n");
  return 2;
}
