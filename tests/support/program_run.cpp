#include "support/program_run.h"

#include "support/debug_output_monitor.h"

#include <set>

namespace test_support {
namespace {

std::string read_debug_string(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const SIZE_T length = info.nDebugStringLength;
  if (length == 0) return {};
  if (info.fUnicode) {
    std::wstring wide(length, L'\0');
    SIZE_T read = 0;
    ReadProcessMemory(process, info.lpDebugStringData, wide.data(), length * sizeof(wchar_t), &read);
    wide.resize(read / sizeof(wchar_t));
    while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes, nullptr, nullptr);
    return text;
  }
  std::string text(length, '\0');
  SIZE_T read = 0;
  ReadProcessMemory(process, info.lpDebugStringData, text.data(), length, &read);
  text.resize(read);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::wstring window_text(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

std::wstring class_name(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

struct window_search {
  DWORD process_id;
  std::vector<HWND> windows;
};

BOOL CALLBACK collect_window(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<window_search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && IsWindowVisible(window)) search->windows.push_back(window);
  return TRUE;
}

// Looks at the program's visible windows: message boxes are recorded and
// answered with the button the options name; other windows are handed to the test once.
void inspect_windows(DWORD process_id, const program_options& options, program_result& result,
                     std::set<HWND>& handled) {
  window_search search{process_id, {}};
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.windows) {
    if (handled.count(window)) continue;
    // A message box is a dialog with its text in the static control 0xFFFF;
    // the player's main window is a dialog too, but without it.
    HWND text = class_name(window) == L"#32770" ? GetDlgItem(window, 0xFFFF) : nullptr;
    if (text != nullptr) {
      result.message_boxes.push_back({window_text(window), window_text(text)});
      handled.insert(window);
      PostMessageW(window, WM_COMMAND, options.message_box_answer, 0);
    } else if (options.on_window) {
      handled.insert(window);
      options.on_window(window);
    }
  }
}

}  // namespace

program_result run_program(const program_options& options) {
  program_result result;
  std::wstring command = L"\"" + options.program + L"\"";
  if (!options.arguments.empty()) command += L" " + options.arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
#ifdef _WIN64
  // See debug_output_monitor.h: the 64-bit build reads the output without a debugger.
  const bool as_debugger = false;
  if (options.as_debugger) debug_output_monitor::instance();
#else
  const bool as_debugger = options.as_debugger;
#endif
  const DWORD flags = as_debugger ? DEBUG_ONLY_THIS_PROCESS : 0;
  if (!CreateProcessW(options.program.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      options.current_directory.empty() ? nullptr : options.current_directory.c_str(), &startup,
                      &process)) {
    result.exit_code = 0xDEADBEEF;
    result.debug_output = "CreateProcess failed with " + std::to_string(GetLastError());
    return result;
  }
  const ULONGLONG deadline = GetTickCount64() + options.timeout_ms;
  std::set<HWND> handled;
  bool ended = false;
  while (!ended) {
    if (GetTickCount64() > deadline) {
      result.timed_out = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      if (as_debugger) DebugActiveProcessStop(process.dwProcessId);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    if (as_debugger) {
      DEBUG_EVENT event;
      if (WaitForDebugEvent(&event, 50)) {
        DWORD continue_status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
          break;
        case OUTPUT_DEBUG_STRING_EVENT:
          result.debug_output += read_debug_string(process.hProcess, event.u.DebugString);
          break;
        case EXCEPTION_DEBUG_EVENT:
          if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            continue_status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        case EXIT_PROCESS_DEBUG_EVENT:
          result.exit_code = event.u.ExitProcess.dwExitCode;
          ended = true;
          break;
        default:
          break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continue_status);
        if (ended) break;
        continue;  // drain events quickly before looking at windows
      }
    } else if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &result.exit_code);
      ended = true;
      break;
    }
    inspect_windows(process.dwProcessId, options, result, handled);
  }
  if (as_debugger) WaitForSingleObject(process.hProcess, 5000);
  if (options.as_debugger && !as_debugger) result.debug_output = debug_output_monitor::instance().take(process.dwProcessId);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::wstring windows_path_from_build(const char* path) {
  std::wstring result;
  const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  result.resize(units > 0 ? units - 1 : 0);
  MultiByteToWideChar(CP_UTF8, 0, path, -1, result.data(), units);
  for (wchar_t& c : result)
    if (c == L'/') c = L'\\';
  if (!result.empty() && result[0] == L'\\') result = L"Z:" + result;
  return result;
}

scratch_folder::scratch_folder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::wstring(temp) + L"zorv-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
  }
}

scratch_folder::~scratch_folder() { remove_tree(path_); }

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(child);
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  set_folder_read_only(path, false);
  RemoveDirectoryW(path.c_str());
}

bool file_exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void write_file(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

namespace {

bool run_host_chmod(const std::wstring& path, const char* mode) {
  using unix_name_function = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<unix_name_function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (unix_name == nullptr) return false;  // not under Wine
  char* host_path = unix_name(path.c_str());
  if (host_path == nullptr) return false;
  std::string command = std::string("/bin/chmod ") + mode + " \"" + host_path + "\"";
  HeapFree(GetProcessHeap(), 0, host_path);
  std::wstring wide_command(command.begin(), command.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\chmod", wide_command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

bool set_folder_read_only(const std::wstring& path, bool read_only) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  SetFileAttributesW(path.c_str(), read_only ? (attributes | FILE_ATTRIBUTE_READONLY)
                                             : (attributes & ~FILE_ATTRIBUTE_READONLY));
  // The host's chmod ends before Wine sees its effect only after the process
  // is gone, so wait for the attribute rather than trusting the first read.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const bool now = (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
    if (now == read_only) return true;
    if (attempt == 0 && !run_host_chmod(path, read_only ? "a-w" : "u+w")) return false;
    Sleep(20);
  }
  return false;
}

} // namespace test_support
