// Reads what programs write with OutputDebugString without being their
// debugger: through the system-wide monitor buffer that OutputDebugString
// writes to when no debugger is attached. The tests of the 64-bit build use
// it, since Wine 8 restores wrong registers when GCC's exception unwinding
// runs in a 64-bit program that has a debugger attached, and the program
// would crash at its first caught C++ exception.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace test_support {

class debug_output_monitor {
public:
  // Started on first use; serves every program the test runs, side by side.
  static debug_output_monitor& instance();

  // What process `pid` wrote, taken out; everything written before the call
  // is in it.
  std::string take(DWORD pid);

private:
  debug_output_monitor();
  void receive();

  HANDLE buffer_ready_ = nullptr;
  HANDLE data_ready_ = nullptr;
  const char* buffer_ = nullptr;  // the writer's process id, then the text
  std::mutex mutex_;
  std::condition_variable received_;
  std::map<DWORD, std::string> texts_;
  std::uint64_t markers_sent_ = 0;
  std::uint64_t markers_seen_ = 0;
};

}  // namespace test_support
