// Another program holding a file open without sharing for a while, as a
// backup, sync or indexing tool would: runs the zorv_file_holder helper
// (its path in ZORV_FILE_HOLDER_EXE) and returns once the helper holds the file.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace test_support {

class file_holder {
public:
  file_holder(const std::wstring& path, unsigned milliseconds) {
    const std::wstring event_name =
        L"zorv-file-holder-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    ready_ = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    const char* exe = std::getenv("ZORV_FILE_HOLDER_EXE");
    if (exe == nullptr) throw std::runtime_error("ZORV_FILE_HOLDER_EXE is not set");
    wchar_t exe_wide[MAX_PATH * 4];
    MultiByteToWideChar(CP_UTF8, 0, exe, -1, exe_wide, MAX_PATH * 4);
    std::wstring command = L"\"" + std::wstring(exe_wide) + L"\" \"" + path + L"\" " + std::to_wstring(milliseconds) +
                           L" " + event_name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
      throw std::runtime_error("cannot start the file holder");
    CloseHandle(process_.hThread);
    const HANDLE waits[] = {ready_, process_.hProcess};
    if (WaitForMultipleObjects(2, waits, FALSE, 60000) != WAIT_OBJECT_0)
      throw std::runtime_error("the file holder did not take the file");
  }
  ~file_holder() {
    WaitForSingleObject(process_.hProcess, 60000);
    CloseHandle(process_.hProcess);
    CloseHandle(ready_);
  }
  file_holder(const file_holder&) = delete;
  file_holder& operator=(const file_holder&) = delete;

private:
  HANDLE ready_ = nullptr;
  PROCESS_INFORMATION process_{};
};

}  // namespace test_support
