// A copy of a built program in a scratch folder of its own, so that each
// black-box test has its own profile beside it and never touches another's.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "support/program_run.h"

namespace test_support {

// The Windows path of the executable CMake names in `variable`; empty when unset.
inline std::wstring built_program(const char* variable = "ZORV_EXE") {
  const char* path = std::getenv(variable);
  return path ? windows_path_from_build(path) : std::wstring();
}

class program_copy {
public:
  // `portable`: the marker beside it keeps the profile in its own folder.
  explicit program_copy(bool portable = true, const std::wstring& program = built_program()) {
    exe_ = folder_ / L"zorv.exe";
    CopyFileW(program.c_str(), exe_.c_str(), FALSE);
    if (portable) write_file(exe_ + L".localconfig.opt", "");
  }
  const std::wstring& exe() const { return exe_; }
  std::wstring beside(const std::wstring& name) const { return folder_ / name; }
  std::wstring profile() const { return folder_ / L"zorv-configuration"; }
  std::wstring config() const { return profile() + L"\\config.dat"; }
  void create_profile() const { CreateDirectoryW(profile().c_str(), nullptr); }

private:
  scratch_folder folder_;
  std::wstring exe_;
};

inline program_options options_for(const std::wstring& exe, const std::wstring& arguments = L"",
                                   const std::wstring& directory = L"") {
  program_options options;
  options.program = exe;
  options.arguments = arguments;
  options.current_directory = directory;
  return options;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace test_support
