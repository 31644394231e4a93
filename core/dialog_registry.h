// Modeless dialogs registered with the message loop, which hands each of
// their messages to IsDialogMessageW so that Tab, Enter and Escape work in
// them as in modal dialogs.
#pragma once

#include <windows.h>

#include "core/service_object.h"
#include "foundation/array.h"

class dialog_registry : public service_object {
public:
  static constexpr GUID class_guid = {0xC71B99BD, 0x12C5, 0x48FE, {0xA9, 0xC0, 0x46, 0x9F, 0x6F, 0xEA, 0x88, 0xBF}};
  using service_parent = service_object;

  // Main thread only; a call from another thread is a fatal internal error.
  virtual void add(HWND dialog) = 0;
  // Removes every entry of the window.
  virtual void remove(HWND dialog) = 0;

  // The process's registry.
  static dialog_registry& get() noexcept;
};

// The registered windows in registration order.
class dialog_list {
public:
  void add(HWND dialog);
  void remove(HWND dialog) noexcept;
  // Offers the message to each dialog in order; answers whether one of them
  // took it (IsDialogMessageW then translated and dispatched it).
  bool offer(MSG& message);
  // Destroys every registered window that still exists, newest first.
  void destroy_all() noexcept;

private:
  qiv::array<HWND> dialogs_;
};

// The message step of the process's registry, for the message loop.
bool dialog_registry_offer(MSG& message);
// Shutdown: the modeless dialogs still open are closed, so a background
// operation behind one is aborted and waited for while the services it uses
// still exist.
void dialog_registry_destroy_all() noexcept;
