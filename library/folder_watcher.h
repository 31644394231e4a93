// Follows one folder for created, deleted, renamed and re-attributed entries
// on a thread of its own and runs a callback on the main thread after every
// change it sees.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/abort_signal.h"
#include "foundation/win32_handles.h"

class folder_watcher {
public:
  folder_watcher();
  ~folder_watcher() { stop(); }
  folder_watcher(const folder_watcher&) = delete;
  folder_watcher& operator=(const folder_watcher&) = delete;

  // The thread that owns the watcher (the main thread, or the worker that
  // lists a folder before it is shown). Returns once the first change
  // request is issued, or false
  // when the folder cannot be watched (no medium, no permission, changes
  // refused); the thread has then ended and nothing is followed.
  bool start(const std::wstring& folder, std::function<void()> on_change);
  // The owning thread; waits for the watch thread to end.
  void stop();

private:
  static DWORD WINAPI thread_entry(void* self);
  void run();

  win32_handle thread_;
  std::function<void()> on_change_;
  std::wstring folder_;
  raisable_abort_signal abort_;
  win32_event armed_;
};
