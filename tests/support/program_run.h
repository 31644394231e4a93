// Runs a Windows program as a test would watch it: collects its debugger
// output and exit code, records and answers its message boxes, and lets the
// test act on its windows while it runs. Never hangs: a program that does not
// end in time is killed and reported.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace test_support {

struct message_box_seen {
  std::wstring caption;
  std::wstring text;
};

struct program_result {
  DWORD exit_code = 0;
  bool timed_out = false;
  std::string debug_output;                // everything written with OutputDebugString
  std::vector<message_box_seen> message_boxes;
};

struct program_options {
  std::wstring program;                    // Windows path of the executable
  std::wstring arguments;                  // appended after the quoted program path
  std::wstring current_directory;          // empty: the test's own
  bool as_debugger = true;                 // attach as debugger to read debugger output
  DWORD timeout_ms = 30000;
  // The button pressed in every message box of the program (IDOK, IDCANCEL...).
  int message_box_answer = IDOK;
  // Called for each new visible top-level window of the program that is not a
  // message box; answer true when the test is done with that window.
  std::function<void(HWND window)> on_window;
};

program_result run_program(const program_options& options);

// Converts a Linux path (as CMake gives it) to the Windows path of Wine's Z: drive.
std::wstring windows_path_from_build(const char* path);

// A fresh empty folder under the temporary folder, removed with its content
// when the object ends.
class scratch_folder {
public:
  scratch_folder();
  ~scratch_folder();
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
  std::wstring path_;
};

void remove_tree(const std::wstring& path);
bool file_exists(const std::wstring& path);
bool directory_exists(const std::wstring& path);
void write_file(const std::wstring& path, const std::string& content);

// Gives a folder the read-only attribute, or takes it away. Wine keeps no such
// attribute for folders but reports a folder without write permission on the
// host as read-only, so under Wine the host's chmod does it.
bool set_folder_read_only(const std::wstring& path, bool read_only);

} // namespace test_support
