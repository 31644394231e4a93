// Start-up of the real player to its visible, filled main window with a
// library of 100,000 tracks (budget: 1 s under Wine), against the same start
// with an empty library; the memory each process holds once its window is
// filled; and the quit that follows, from the close request to the end of the
// process (a library that did not change is not written again, so both quits
// should cost alike).
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_ui_startup.exe [ZORV_EXE]
// The player is copied into a temporary folder with its profile and library
// beside it; ZORV_EXE defaults to the zorv.exe of the build folder.
#include "bench/bench_clock.h"
#include "bench/library_file.h"

#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

namespace {

constexpr std::uint32_t track_count = bench::library_track_count;
using bench::put_u32;

// "config.dat" with one record: the music folders are not monitored, so
// that the library shows what its file holds without checking the folders
// (whose files this benchmark does not make).
std::string make_config_without_monitoring() {
  const std::string monitor_item("\xBF\x0D\xAA\xA0\xD0\xC6\xB7\x4D\xBC\x23\xE2\xAF\x96\xBD\xBE\xC4", 16);
  std::string payload = monitor_item;
  put_u32(payload, 1);
  payload += '\0';
  std::string salted;
  for (std::uint32_t word : {0x5A6F7276u, 0x43666731u, 0x9E3779B9u, 0x7F4A7C15u}) put_u32(salted, word);
  salted += payload;
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[16] = {};
  DWORD size = 16;
  CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
  CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
  CryptHashData(hash, reinterpret_cast<const BYTE*>(salted.data()), static_cast<DWORD>(salted.size()), 0);
  CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  std::string file("\xD1\x3D\x22\xB2\xC4\x15\xF5\x46\x80\x31\x96\xE6\x92\xBC\x1E\x20", 16);
  file.append(reinterpret_cast<const char*>(digest), 16);
  put_u32(file, static_cast<std::uint32_t>(payload.size()));
  return file + payload;
}

void write_file(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

struct window_search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK find_main_window(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<window_search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (process != s->process || !IsWindowVisible(window) || lstrcmpW(title, L"Zorv Audio Player") != 0) return TRUE;
  s->found = window;
  return FALSE;
}

struct start_result {
  double seconds = -1;  // to the visible window with something to play
  double committed_mb = 0;
  double working_set_mb = 0;
  double quit_seconds = -1;  // from WM_CLOSE to the end of the process
};

// Starts the copy, waits until its window shows a list with something to
// play (the Play button comes alive), measures, and closes it.
start_result measure_start(const std::string& exe, bool expect_tracks) {
  const std::string folder = exe.substr(0, exe.rfind('\\'));
  start_result result;
  std::string command = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double start = bench::now_seconds();
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process))
    return result;
  HWND window = nullptr;
  for (int i = 0; i < 12000; ++i) {
    window_search search = {process.dwProcessId, nullptr};
    EnumWindows(find_main_window, reinterpret_cast<LPARAM>(&search));
    window = search.found;
    const HWND play = window != nullptr ? GetDlgItem(window, 1000) : nullptr;
    if (play != nullptr && (!expect_tracks || IsWindowEnabled(play))) {
      result.seconds = bench::now_seconds() - start;
      break;
    }
    Sleep(2);
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof(memory))) {
    // Wine reports no private usage; the committed memory stands for it.
    result.committed_mb = memory.PagefileUsage / 1048576.0;
    result.working_set_mb = memory.WorkingSetSize / 1048576.0;
  }
  const double closing = bench::now_seconds();
  if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  else if (window != nullptr) result.quit_seconds = bench::now_seconds() - closing;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

// A copy of the player with its profile beside it, and with `with_library`
// a library of the copy's own folder holding every track.
std::string make_copy(const std::string& player, const std::string& folder, bool with_library) {
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string exe = folder + "\\zorv.exe";
  CopyFileA(player.c_str(), exe.c_str(), FALSE);
  write_file(exe + ".localconfig.opt", "");
  write_file(exe + ".locallibrary.opt", "");
  CreateDirectoryA((folder + "\\zorv-configuration").c_str(), nullptr);
  // A portable library is the program's folder, which the library names ".".
  if (with_library) write_file(folder + "\\zorv-configuration\\database.dat", bench::make_library_file("."));
  write_file(folder + "\\zorv-configuration\\config.dat", make_config_without_monitoring());
  return exe;
}

void remove_copy(const std::string& folder) {
  for (const char* name : {"zorv-configuration\\database.dat", "zorv-configuration\\config.dat",
                           "zorv-configuration\\running", "zorv.exe", "zorv.exe.localconfig.opt",
                           "zorv.exe.locallibrary.opt"})
    DeleteFileA((folder + "\\" + name).c_str());
  RemoveDirectoryA((folder + "\\zorv-configuration").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string player;
  if (argc > 1) {
    player = argv[1];
  } else {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    player = path;
    player = player.substr(0, player.rfind('\\'));
    player = player.substr(0, player.rfind('\\')) + "\\zorv.exe";
  }
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string empty_folder = std::string(temp) + "zorv-startup-bench-empty";
  const std::string full_folder = std::string(temp) + "zorv-startup-bench-full";
  // Each start from the same files: an exit saves the profile.
  // The first start of a process under Wine costs more; one start of each
  // before measuring.
  measure_start(make_copy(player, empty_folder, false), false);
  measure_start(make_copy(player, full_folder, true), true);
  const start_result empty = measure_start(make_copy(player, empty_folder, false), false);
  const start_result full = measure_start(make_copy(player, full_folder, true), true);
  remove_copy(empty_folder);
  remove_copy(full_folder);
  if (empty.seconds < 0 || full.seconds < 0) {
    std::printf("start-up: the window did not appear (or the library was not shown) in time\n");
    return 1;
  }
  std::printf("start-up to the filled window, empty library: %.0f ms\n", empty.seconds * 1000);
  std::printf("start-up to the filled window, %u tracks: %.0f ms (budget 1000 ms), %.2f x the empty start\n",
              track_count, full.seconds * 1000, full.seconds / empty.seconds);
  std::printf("memory with the window filled, empty library: %.1f MB committed, %.1f MB working set\n",
              empty.committed_mb, empty.working_set_mb);
  std::printf("memory with the window filled, %u tracks: %.1f MB committed, %.1f MB working set\n", track_count,
              full.committed_mb, full.working_set_mb);
  std::printf("quit, empty library: %.0f ms; %u tracks unchanged: %.0f ms, %.2f x the empty quit\n",
              empty.quit_seconds * 1000, track_count, full.quit_seconds * 1000, full.quit_seconds / empty.quit_seconds);
  return 0;
}
