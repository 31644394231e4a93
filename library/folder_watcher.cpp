#include "library/folder_watcher.h"

#include <memory>
#include <vector>

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "foundation/win32_error.h"

folder_watcher::folder_watcher() { armed_.create(); }

void folder_watcher::stop() {
  abort_.raise();
  if (thread_.get()) {
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
}

bool folder_watcher::start(const std::wstring& folder, std::function<void()> on_change) {
  stop();
  abort_.reset();
  folder_ = folder;
  on_change_ = std::move(on_change);
  ResetEvent(armed_.get());
  const HANDLE thread = CreateThread(nullptr, 0, thread_entry, this, 0, nullptr);
  if (!thread) throw exception_win32(GetLastError());
  thread_.reset(thread);
  // A thread that fails before arming ends instead: waiting on both keeps a
  // drive without a medium from hanging the main thread.
  const HANDLE objects[2] = {armed_.get(), thread_.get()};
  if (WaitForMultipleObjects(2, objects, FALSE, INFINITE) == WAIT_OBJECT_0) return true;
  thread_.reset();
  return false;
}

DWORD WINAPI folder_watcher::thread_entry(void* self) {
  try {
    static_cast<folder_watcher*>(self)->run();
  } catch (...) {
    // Failures only end the following of changes.
  }
  return 0;
}

void folder_watcher::run() {
  // A drive's top level is watched at its root. Watching a folder must never
  // keep the user from renaming or deleting it, or its parent.
  const std::wstring path = folder_.size() == 2 && folder_[1] == L':' ? folder_ + L"\\" : folder_;
  win32_handle directory(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  if (directory.get() == INVALID_HANDLE_VALUE) {
    directory.reset();
    throw exception_win32(GetLastError());
  }
  win32_handle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!done.get()) throw exception_win32(GetLastError());
  std::vector<DWORD> buffer(65536 / sizeof(DWORD));
  for (;;) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done.get();
    if (!ReadDirectoryChangesW(directory.get(), buffer.data(), 65536, FALSE,
                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                   FILE_NOTIFY_CHANGE_ATTRIBUTES,
                               nullptr, &overlapped, nullptr))
      throw exception_win32(GetLastError());
    SetEvent(armed_.get());
    const HANDLE objects[2] = {done.get(), abort_.get_event()};
    const DWORD woken = WaitForMultipleObjects(2, objects, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0 || abort_.is_set()) {
      CancelIo(directory.get());
      DWORD ignored = 0;
      GetOverlappedResult(directory.get(), &overlapped, &ignored, TRUE);
      return;
    }
    DWORD bytes = 0;
    if (!GetOverlappedResult(directory.get(), &overlapped, &bytes, FALSE)) throw exception_win32(GetLastError());
    // The records are not read: any change, an overflow too, means a rebuild.
    main_thread_queue::post(new service_counted<main_thread_call>(on_change_));
  }
}
