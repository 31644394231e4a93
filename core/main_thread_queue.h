// Work handed to the main thread. Other threads (playback, folder monitors,
// background operations) must not touch windows, the registry or the library;
// they post a counted callback instead, and the main thread runs it from the
// hidden main window's wake-up message.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <utility>

#include "core/service_object.h"
#include "foundation/list.h"
#include "foundation/win32_handles.h"

// A piece of work for the main thread. Implementations are counted objects
// (service_counted<...>): the queue keeps one reference per entry.
class main_thread_callback : public service_object {
public:
  static constexpr GUID class_guid = {0x87D2C583, 0x7AFB, 0x4E58, {0xB2, 0x1E, 0xFB, 0xD3, 0xE6, 0xE8, 0xF5, 0xE7}};
  using service_parent = service_object;

  // Called once, on the main thread.
  virtual void run() = 0;
};

// A callback that runs a function, for work that needs no class of its own:
//   main_thread_queue::post(new service_counted<main_thread_call>([] { ... }));
class main_thread_call : public main_thread_callback {
public:
  explicit main_thread_call(std::function<void()> function) : function_(std::move(function)) {}
  void run() override { function_(); }

private:
  std::function<void()> function_;
};

// Callbacks in posting order behind one lock. Callbacks always run outside
// the lock, so a callback may post again.
class callback_queue {
public:
  // Any thread. Takes a reference on the callback; a null one is refused.
  void append(main_thread_callback* callback);

  // Main thread. `all` false runs at most the entries present when the drain
  // began (what a callback posts meanwhile waits for the next wake-up, so a
  // callback that keeps re-posting cannot starve the message loop); true runs
  // until the queue is empty, as shutdown needs. A callback that throws ends
  // the drain; the entries after it stay queued.
  void drain(bool all);

  std::uint32_t get_count() const;

private:
  mutable critical_section lock_;
  qiv::plain_list<service_ptr<main_thread_callback>> entries_;
};

// The process's queue as a service, for code that reaches it through the
// registry; code of the application core calls post and drain directly.
class main_thread_queue : public service_object {
public:
  static constexpr GUID class_guid = {0x1131D64B, 0x04CB, 0x43EE, {0x95, 0xEB, 0x24, 0xD1, 0x8B, 0x75, 0x32, 0x48}};
  using service_parent = service_object;

  // Any thread: queues the callback and wakes the main thread.
  virtual void add(main_thread_callback* callback) = 0;

  // The same as add on the process's queue.
  static void post(main_thread_callback* callback);
  // Main thread; see callback_queue::drain.
  static void drain(bool all);
  // Entries waiting now.
  static std::uint32_t get_count();

  // The wake-up message posted to the hidden main window once per post. Its
  // two parameters tell it apart from a foreign WM_USER + 0xB1.
  static constexpr UINT wake_up_message = WM_USER + 0xB1;
  static constexpr WPARAM wake_up_wparam = 0xE976E5FE;
  static constexpr LPARAM wake_up_lparam = 0x3704AEC1;
};
