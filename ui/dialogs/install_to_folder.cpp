#include "ui/dialogs/install_to_folder.h"

#include <cstring>

#include "foundation/code_page_text.h"
#include "foundation/win32_error.h"

const char install_autorun_text[] = "[autorun]\r\nopen=zorv.exe\r\nicon=zorv.exe\r\nlabel=Zorv Audio Player\r\n";

namespace {

[[noreturn]] void throw_last_error() {
  const DWORD error = GetLastError();
  throw exception_win32(error != 0 ? error : ERROR_GEN_FAILURE);
}

// Lets a copy of a large program be cancelled between its chunks.
DWORD CALLBACK copy_progress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                             HANDLE, void* context) {
  return static_cast<const abort_signal*>(context)->is_set() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

void create_hidden_file(const std::wstring& path, DWORD access, const void* bytes, DWORD size) {
  const HANDLE file = CreateFileW(path.c_str(), access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw_last_error();
  DWORD written = 0;
  const bool ok = size == 0 || (WriteFile(file, bytes, size, &written, nullptr) && written == size);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) {
    SetLastError(error != 0 ? error : ERROR_WRITE_FAULT);
    throw_last_error();
  }
}

}  // namespace

void install_to_folder(const std::string& destination, const abort_signal& abort) {
  std::wstring folder = qiv::utf8_to_utf16(destination.data(), destination.size());
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';

  std::wstring program(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    if (length == 0) throw_last_error();
    if (length < program.size()) {
      program.resize(length);
      break;
    }
    program.resize(program.size() * 2);
  }
  if (!CopyFileExW(program.c_str(), (folder + L"Zorv.exe").c_str(), &copy_progress,
                   const_cast<abort_signal*>(&abort), nullptr, 0)) {
    abort.check_and_throw();
    throw_last_error();
  }
  create_hidden_file(folder + L"Zorv.exe.localconfig.opt", 0, nullptr, 0);
  create_hidden_file(folder + L"Zorv.exe.locallibrary.opt", 0, nullptr, 0);
  create_hidden_file(folder + L"autorun.inf", GENERIC_WRITE, install_autorun_text,
                     static_cast<DWORD>(std::strlen(install_autorun_text)));
  const std::wstring configuration = folder + L"zorv-configuration";
  if (GetFileAttributesW(configuration.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(configuration.c_str(), nullptr)) throw_last_error();
    const DWORD attributes = GetFileAttributesW(configuration.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
      SetFileAttributesW(configuration.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
  }
  abort.check_and_throw();
}
