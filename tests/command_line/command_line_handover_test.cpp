// One instance per profile: a second start hands its command line to the
// running instance and ends; the running instance carries it out. Seen from
// outside the processes, through their exit codes and debugger output.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/program_copy.h"

namespace {

using test_support::contains;
using test_support::options_for;
using test_support::program_copy;
using test_support::program_options;
using test_support::program_result;
using test_support::run_program;
using test_support::scratch_folder;

constexpr char handed_over[] = "Exiting (Another instance is already running)\n";
constexpr char did_not_respond[] =
    "Initialization failure : Another instance is already running, but it did not respond.\n";

std::string utf8(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), bytes, nullptr, nullptr);
  return result;
}

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The profile path as the program spells it: "file://", the long form of its
// own folder, "zorv-configuration".
std::wstring profile_path(const program_copy& copy) {
  wchar_t full[MAX_PATH * 4];
  GetLongPathNameW(copy.exe().c_str(), full, MAX_PATH * 4);
  const std::wstring path = full;
  return L"file://" + path.substr(0, path.rfind(L'\\') + 1) + L"zorv-configuration";
}

// An instance that hangs: every thread of the process that owns `window`
// stays suspended while the object lives.
class suspended_process {
public:
  explicit suspended_process(HWND window) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != process_id) continue;
      if (const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
        SuspendThread(thread);
        threads_.push_back(thread);
      }
    }
    CloseHandle(snapshot);
  }
  ~suspended_process() {
    for (HANDLE thread : threads_) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
  }
  bool any() const { return !threads_.empty(); }

private:
  std::vector<HANDLE> threads_;
};

struct run_seen {
  program_result result;
  ULONGLONG milliseconds = 0;
  bool suspended = false;
};

// Runs a start while the instance owning `window` hangs, then lets it go on.
run_seen run_while_suspended(HWND window, const program_options& options) {
  run_seen seen;
  {
    const suspended_process frozen(window);
    seen.suspended = frozen.any();
    const ULONGLONG start = GetTickCount64();
    seen.result = run_program(options);
    seen.milliseconds = GetTickCount64() - start;
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  return seen;
}

// Worked out here from the rule, apart from the program's code: CRC-32 of the
// lower-cased UTF-8 profile path.
std::wstring mutex_name_for(const std::wstring& profile_path) {
  std::wstring folded = profile_path;
  CharLowerBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : utf8(folded)) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  crc ^= 0xFFFFFFFFu;
  wchar_t name[32];
  wsprintfW(name, L"ZORV_%08X", crc);
  return name;
}

class CommandLineHandover : public ::testing::Test {
protected:
  void SetUp() override {
    if (test_support::built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  }
};

TEST_F(CommandLineHandover, SecondStartHandsItsCommandLineToTheRunningInstanceAndExitsZero) {
  program_copy copy;
  scratch_folder senders_folder;
  test_support::write_file(senders_folder / L"x.mp3", "");

  bool mutex_found = false;
  program_result second;
  std::thread sender;
  program_options first_options = options_for(copy.exe(), L"");
  first_options.on_window = [&](HWND main_window) {
    // A thread of its own: the first instance's debug events must keep
    // flowing while the second one runs.
    if (sender.joinable()) return;
    sender = std::thread([&, main_window] {
      HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutex_name_for(profile_path(copy)).c_str());
      mutex_found = mutex != nullptr;
      if (mutex != nullptr) CloseHandle(mutex);
      second = run_program(options_for(copy.exe(), L"/PLAY x.mp3", senders_folder.path()));
      PostMessageW(main_window, WM_CLOSE, 0, 0);
    });
  };
  const program_result first = run_program(first_options);
  if (sender.joinable()) sender.join();

  EXPECT_TRUE(mutex_found);
  EXPECT_FALSE(second.timed_out);
  EXPECT_EQ(second.exit_code, 0u);
  EXPECT_TRUE(contains(second.debug_output, handed_over)) << second.debug_output;
  EXPECT_TRUE(second.message_boxes.empty());

  EXPECT_FALSE(first.timed_out);
  EXPECT_EQ(first.exit_code, 0u);
  // Resolved against the sender's directory, not the receiver's.
  const std::string opened = "open: file://" + utf8(senders_folder / L"x.mp3") + "\n";
  EXPECT_TRUE(contains(lower(first.debug_output), lower(opened))) << first.debug_output;
}

TEST_F(CommandLineHandover, ExitHandedToTheRunningInstanceEndsIt) {
  program_copy copy;
  program_result second;
  std::thread sender;
  program_options first_options = options_for(copy.exe(), L"");
  first_options.on_window = [&](HWND) {
    if (sender.joinable()) return;
    sender = std::thread([&] { second = run_program(options_for(copy.exe(), L"/exit")); });
  };
  const program_result first = run_program(first_options);  // ends without being closed
  if (sender.joinable()) sender.join();
  EXPECT_EQ(second.exit_code, 0u);
  EXPECT_FALSE(first.timed_out);
  EXPECT_EQ(first.exit_code, 0u);
}

// An instance that holds the profile but never answers (here: only its
// mutex exists, as for an instance hung on its way out after its window went)
// must not swallow the command line of a second start, nor keep it waiting
// for the 30 s a busy instance gets.
TEST_F(CommandLineHandover, StartThatFindsNoAnsweringInstanceFailsVisiblyAfterWaiting) {
  program_copy copy;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name_for(profile_path(copy)).c_str());
  ASSERT_NE(mutex, nullptr);
  program_options options = options_for(copy.exe(), L"x.mp3");
  options.timeout_ms = 90000;
  const ULONGLONG start = GetTickCount64();
  const program_result result = run_program(options);
  const ULONGLONG milliseconds = GetTickCount64() - start;
  CloseHandle(mutex);

  EXPECT_FALSE(result.timed_out);
  EXPECT_LT(milliseconds, 20000u) << "a profile held with no window waits like a busy instance";
  EXPECT_NE(result.exit_code, 0u);
  EXPECT_FALSE(contains(result.debug_output, handed_over)) << result.debug_output;
  EXPECT_TRUE(contains(result.debug_output, did_not_respond)) << result.debug_output;
  EXPECT_EQ(result.message_boxes.size(), 1u);
}

// However the running instance of the profile hangs, a second start ends
// within its own bound and says that the command line was not taken.
TEST_F(CommandLineHandover, ASuspendedInstanceCannotHangASecondStart) {
  program_copy copy;
  run_seen second;
  std::thread sender;
  program_options first_options = options_for(copy.exe());
  first_options.timeout_ms = 150000;
  first_options.on_window = [&](HWND main_window) {
    if (sender.joinable()) return;
    sender = std::thread([&, main_window] {
      program_options options = options_for(copy.exe(), L"x.mp3");
      options.timeout_ms = 90000;
      second = run_while_suspended(main_window, options);
    });
  };
  const program_result first = run_program(first_options);
  if (sender.joinable()) sender.join();

  EXPECT_TRUE(second.suspended);
  EXPECT_FALSE(second.result.timed_out);
  EXPECT_LT(second.milliseconds, 45000u);
  EXPECT_NE(second.result.exit_code, 0u);
  EXPECT_TRUE(contains(second.result.debug_output, did_not_respond)) << second.result.debug_output;
  EXPECT_FALSE(first.timed_out);
}

// A hung instance of another profile (a portable copy elsewhere) answers
// nothing, and the instance of this profile behind it still takes the start.
TEST_F(CommandLineHandover, AHungInstanceOfAnotherProfileDoesNotBlockThisOne) {
  program_copy ours, other;
  run_seen second;
  program_result hung;
  std::thread starter, sender;
  program_options first_options = options_for(ours.exe());
  first_options.on_window = [&](HWND) {
    if (starter.joinable()) return;
    // Started after ours, so its window comes first when windows are listed.
    starter = std::thread([&] {
      program_options other_options = options_for(other.exe());
      other_options.timeout_ms = 90000;
      other_options.on_window = [&](HWND other_window) {
        if (sender.joinable()) return;
        sender = std::thread(
            [&, other_window] { second = run_while_suspended(other_window, options_for(ours.exe(), L"/exit")); });
      };
      hung = run_program(other_options);
    });
  };
  const program_result first = run_program(first_options);  // ends on the handed-over "/exit"
  if (starter.joinable()) starter.join();
  if (sender.joinable()) sender.join();

  EXPECT_TRUE(second.suspended);
  EXPECT_FALSE(second.result.timed_out);
  EXPECT_EQ(second.result.exit_code, 0u);
  EXPECT_TRUE(contains(second.result.debug_output, handed_over)) << second.result.debug_output;
  EXPECT_LT(second.milliseconds, 10000u);
  EXPECT_FALSE(first.timed_out);
  EXPECT_EQ(first.exit_code, 0u);
  EXPECT_FALSE(hung.timed_out);
}

}  // namespace
