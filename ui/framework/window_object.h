// Windows of the user interface as objects with a message map.
//
// One shared window procedure (the trampoline) finds the object of a window
// and offers it each message; what the object leaves unhandled goes to the
// previous procedure (a subclassed control's own, a superclass's base) or to
// DefWindowProcW. The trampoline is the exception boundary of every window.
#pragma once

#include <windows.h>

// What a handler can see of the message it runs for. Nested messages (a
// handler that sends another message to the window) get a record of their
// own; the outer one is restored when they return.
struct window_message {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool handled;
};

// A table of message handlers. `map_id` tells the maps of one object apart
// (an owner handling the messages of its contained controls, say).
class message_map {
public:
  // Answers whether the message was handled; `result` is then its answer.
  virtual bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                               DWORD map_id) = 0;

protected:
  ~message_map() = default;
};

class window_object;
namespace window_object_property {
window_object* adopt_window_being_created(HWND window) noexcept;
}

class window_object : public message_map {
public:
  window_object() noexcept = default;
  window_object(const window_object&) = delete;
  window_object& operator=(const window_object&) = delete;
  // An object that still holds its window lets go of it first, so that the
  // window falls back to its previous procedure instead of reaching freed
  // memory.
  virtual ~window_object();

  // Called after the window is gone (after WM_NCDESTROY and every message
  // still running for it has returned). An object may delete itself here.
  virtual void on_final_message(HWND) {}

  HWND handle() const noexcept { return window_; }

  // Inside a handler: false lets the current message go on to the previous
  // or default procedure once the handler returns.
  void set_handled(bool handled) noexcept;
  const window_message* current_message() const noexcept { return current_; }

  // The previous procedure (or the default one) for a message, for handlers
  // that need its answer before doing their own part.
  LRESULT call_previous(UINT message, WPARAM wparam, LPARAM lparam);

  // Takes over a window that exists (a standard control): its procedure
  // becomes the trampoline and the old one is kept as the previous
  // procedure. False when this object already has a window or the window
  // refuses.
  bool subclass(HWND window);

protected:
  // The object's part in the shared procedures; noexcept because they run
  // under user32.
  LRESULT route_window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  INT_PTR route_dialog_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  void attach(HWND window, WNDPROC previous) noexcept;

  friend LRESULT CALLBACK window_object_procedure(HWND, UINT, WPARAM, LPARAM);
  friend INT_PTR CALLBACK dialog_object_procedure(HWND, UINT, WPARAM, LPARAM);
  friend window_object* window_object_property::adopt_window_being_created(HWND) noexcept;

private:
  bool offer(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) noexcept;
  // After WM_NCDESTROY: puts the previous procedure back when ours is still
  // the window's, forgets the window, and runs on_final_message once the
  // outermost message has returned.
  void after_message(HWND window, UINT message) noexcept;
  void detach(HWND window) noexcept;

  HWND window_ = nullptr;
  WNDPROC previous_ = nullptr;
  window_message* current_ = nullptr;
  int depth_ = 0;
  bool final_message_due_ = false;
};

// The trampoline shared by every window object.
LRESULT CALLBACK window_object_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A standard control driven by its owner: its messages go to the owner's
// map under `map_id`.
class contained_control final : public window_object {
public:
  contained_control(message_map& owner, DWORD map_id) noexcept : owner_(owner), map_id_(map_id) {}
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD) override {
    return owner_.process_message(window, message, wparam, lparam, result, map_id_);
  }

private:
  message_map& owner_;
  DWORD map_id_;
};
