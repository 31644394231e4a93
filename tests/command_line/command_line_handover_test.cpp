// One instance per profile: a second start hands its command line to the
// running instance and ends; the running instance carries it out. Seen from
// outside the processes, through their exit codes and debugger output.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/program_run.h"

namespace {

using test_support::program_options;
using test_support::program_result;
using test_support::run_program;
using test_support::scratch_folder;

constexpr char play_command[] = "command: {D3F83B15-D4AF-4586-8BD0-4EA415E31FE1}\n";
constexpr char handed_over[] = "Exiting (Another instance is already running)\n";

std::wstring built_program() {
  const char* path = std::getenv("ZORV_EXE");
  return path ? test_support::windows_path_from_build(path) : std::wstring();
}

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

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A portable copy of the program, so each test has a profile of its own.
class program_copy {
public:
  program_copy() {
    exe_ = folder_ / L"zorv.exe";
    CopyFileW(built_program().c_str(), exe_.c_str(), FALSE);
    test_support::write_file(exe_ + L".localconfig.opt", "");
  }
  const std::wstring& exe() const { return exe_; }

  // The profile path as the program spells it: "file://", the long form of
  // its own folder, "zorv-configuration".
  std::wstring profile_path() const {
    wchar_t full[MAX_PATH * 4];
    GetLongPathNameW(exe_.c_str(), full, MAX_PATH * 4);
    std::wstring path = full;
    return L"file://" + path.substr(0, path.rfind(L'\\') + 1) + L"zorv-configuration";
  }

private:
  scratch_folder folder_;
  std::wstring exe_;
};

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

program_options options_for(const std::wstring& exe, const std::wstring& arguments,
                            const std::wstring& directory = std::wstring()) {
  program_options options;
  options.program = exe;
  options.arguments = arguments;
  options.current_directory = directory;
  return options;
}

class CommandLineHandover : public ::testing::Test {
protected:
  void SetUp() override {
    if (built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
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
      HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutex_name_for(copy.profile_path()).c_str());
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
  EXPECT_TRUE(contains(first.debug_output, play_command)) << first.debug_output;
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
// mutex exists) must not swallow the command line of a second start.
TEST_F(CommandLineHandover, StartThatFindsNoAnsweringInstanceFailsVisiblyAfterWaiting) {
  program_copy copy;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name_for(copy.profile_path()).c_str());
  ASSERT_NE(mutex, nullptr);
  program_options options = options_for(copy.exe(), L"x.mp3");
  options.timeout_ms = 90000;  // the program waits about 30 s for the instance to answer
  const program_result result = run_program(options);
  CloseHandle(mutex);

  EXPECT_FALSE(result.timed_out);
  EXPECT_NE(result.exit_code, 0u);
  EXPECT_FALSE(contains(result.debug_output, handed_over)) << result.debug_output;
  EXPECT_TRUE(contains(result.debug_output,
                       "Initialization failure : Another instance is already running, but it did not respond.\n"))
      << result.debug_output;
  EXPECT_EQ(result.message_boxes.size(), 1u);
}

}  // namespace
