#include "inputs/wma/wma_runtime.h"

#include <cwchar>

#include "io/io_exceptions.h"

namespace wma {

namespace {

const runtime_entry_points* test_replacement = nullptr;

[[noreturn]] void throw_runtime_missing() {
  throw vantrel_io::exception_io(qiv::copy_message, "WMA support requires Windows Media runtime libraries installed");
}

[[noreturn]] void throw_entry_missing() {
  throw vantrel_io::exception_io(qiv::copy_message,
                                 "WMA support requires a newer version of Windows Media runtime libraries installed");
}

}  // namespace

void replace_runtime_for_tests(const runtime_entry_points* entry_points) noexcept { test_replacement = entry_points; }

void runtime::load() {
  unload();
  replacement_ = test_replacement;
  if (replacement_) return;
  // Only the system folder's copy: a module of that name beside a played
  // file or in the current folder must never be loaded.
  wchar_t path[MAX_PATH + 16];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) throw_runtime_missing();
  std::size_t end = length;
  if (path[end - 1] != L'\\') path[end++] = L'\\';
  wcscpy(path + end, L"wmvcore.dll");
  module_ = LoadLibraryW(path);
  if (!module_) throw_runtime_missing();
}

void runtime::unload() noexcept {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  replacement_ = nullptr;
}

FARPROC runtime::find(const char* name) const {
  FARPROC entry = module_ ? GetProcAddress(module_, name) : nullptr;
  if (!entry) throw_entry_missing();
  return entry;
}

create_sync_reader_function runtime::sync_reader_entry() const {
  if (replacement_) {
    if (!replacement_->create_sync_reader) throw_entry_missing();
    return replacement_->create_sync_reader;
  }
  return reinterpret_cast<create_sync_reader_function>(reinterpret_cast<void*>(find("WMCreateSyncReader")));
}

create_editor_function runtime::editor_entry() const {
  if (replacement_) {
    if (!replacement_->create_editor) throw_entry_missing();
    return replacement_->create_editor;
  }
  return reinterpret_cast<create_editor_function>(reinterpret_cast<void*>(find("WMCreateEditor")));
}

}  // namespace wma
