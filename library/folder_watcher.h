// Follows one folder for created, deleted, renamed and re-attributed entries
// on a thread of its own and runs a callback on the main thread after the
// changes it sees: one callback for changes that come while one is queued,
// and one after the tag writes during which changes came.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/win32_handles.h"

class folder_watcher {
public:
  folder_watcher() = default;
  ~folder_watcher() { stop(); }
  folder_watcher(const folder_watcher&) = delete;
  folder_watcher& operator=(const folder_watcher&) = delete;

  // The thread that owns the watcher (the main thread, or the worker that
  // lists a folder before it is shown). Returns once the first change
  // request is issued, or false when the folder cannot be watched (no medium,
  // no permission, changes refused); nothing is followed then. The request is
  // issued here rather than on the watch thread, so that a listing made next
  // need not wait for that thread to start.
  bool start(const std::wstring& folder, std::function<void()> on_change);
  // The owning thread: the watch thread is told to end; stop waits for it.
  void stop_soon() noexcept;
  void stop() noexcept;

private:
  static DWORD WINAPI thread_entry(void* self);
  void run();
  // Issues the next change request; throws exception_win32.
  void request();
  // Ends a request still pending and closes the folder.
  void close() noexcept;

  win32_handle thread_;
  std::function<void()> on_change_;
  // Whether a callback is queued and not yet begun; shared with it, since it
  // may run after the watcher is gone.
  std::shared_ptr<std::atomic<bool>> change_queued_;
  raisable_abort_signal abort_;
  win32_handle directory_;
  win32_handle done_;  // auto-reset, set when a request completes
  OVERLAPPED overlapped_ = {};
  bool pending_ = false;
  std::vector<DWORD> records_;
};
