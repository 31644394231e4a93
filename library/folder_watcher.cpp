#include "library/folder_watcher.h"

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "foundation/win32_error.h"
#include "library/dir_listing.h"
#include "metadata/tag_writes_in_progress.h"

namespace {

constexpr DWORD records_bytes = 65536;
// How often a change held back during tag writes looks whether they ended.
constexpr DWORD held_change_poll_ms = 100;

}  // namespace

void folder_watcher::stop_soon() noexcept { abort_.raise(); }

void folder_watcher::stop() noexcept {
  abort_.raise();
  if (thread_.get()) {
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  close();
}

void folder_watcher::close() noexcept {
  if (pending_) {
    // The first request was issued by the thread that started the watch:
    // only CancelIoEx reaches a request of another thread.
    CancelIoEx(directory_.get(), &overlapped_);
    DWORD ignored = 0;
    GetOverlappedResult(directory_.get(), &overlapped_, &ignored, TRUE);
    pending_ = false;
  }
  directory_.reset();
}

bool folder_watcher::start(const std::wstring& folder, std::function<void()> on_change) {
  stop();
  abort_.reset();
  on_change_ = std::move(on_change);
  // A callback still queued from the last watch is not one for this one.
  change_queued_ = std::make_shared<std::atomic<bool>>(false);
  // Watching a folder must never keep the user from renaming or deleting it,
  // or its parent.
  directory_.reset(CreateFileW(dir_open_path(folder).c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  if (directory_.get() == INVALID_HANDLE_VALUE) {
    directory_.reset();
    return false;
  }
  if (!done_.get()) {
    done_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!done_.get()) throw exception_win32(GetLastError());
  }
  try {
    request();
  } catch (const exception_win32&) {
    close();
    return false;
  }
  const HANDLE thread = CreateThread(nullptr, 0, thread_entry, this, 0, nullptr);
  if (!thread) {
    const DWORD error = GetLastError();
    close();
    throw exception_win32(error);
  }
  thread_.reset(thread);
  return true;
}

void folder_watcher::request() {
  if (records_.empty()) records_.resize(records_bytes / sizeof(DWORD));
  // A request cancelled or ended without a wait may have left it set.
  ResetEvent(done_.get());
  overlapped_ = {};
  overlapped_.hEvent = done_.get();
  if (!ReadDirectoryChangesW(directory_.get(), records_.data(), records_bytes, FALSE,
                             FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES,
                             nullptr, &overlapped_, nullptr))
    throw exception_win32(GetLastError());
  pending_ = true;
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
  // Every file a tag write of ours rewrites through a temporary copy makes
  // several changes, and each rebuild lists the whole folder on the main
  // thread: changes seen during tag writes make one rebuild after them, and
  // a rebuild still queued takes in the changes that follow it.
  bool held = false;
  for (;;) {
    const HANDLE objects[2] = {done_.get(), abort_.get_event()};
    const DWORD woken = WaitForMultipleObjects(2, objects, FALSE, held ? held_change_poll_ms : INFINITE);
    if (abort_.is_set()) return;  // stop ends the request
    if (woken == WAIT_OBJECT_0) {
      DWORD bytes = 0;
      pending_ = false;
      if (!GetOverlappedResult(directory_.get(), &overlapped_, &bytes, FALSE)) throw exception_win32(GetLastError());
      request();
      // The records are not read: any change, an overflow too, means a rebuild.
      held = true;
    } else if (woken != WAIT_TIMEOUT) {
      return;
    }
    if (held && !tag_write_scope::any_open()) {
      held = false;
      if (!change_queued_->exchange(true))
        main_thread_queue::post(new service_counted<main_thread_call>(
            [queued = change_queued_, on_change = on_change_] {
              queued->store(false);
              on_change();
            }));
    }
  }
}
