// The user-interface module: one service among the others. Start-up picks the
// implementation with the known module GUID and asks it to create its window.
#pragma once

#include <windows.h>

#include "core/service_object.h"
#include "foundation/string_object.h"

// The main window offers every message to this hook first; nonzero: handled,
// with `result` as the answer.
using window_message_hook = bool (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

class user_interface : public service_object {
public:
  static constexpr GUID class_guid = {0x1ADD4DC4, 0xB278, 0x4A0C, {0xA1, 0x05, 0x26, 0x29, 0xF4, 0xB3, 0x12, 0xF4}};
  using service_parent = service_object;
  // The module of this program.
  static constexpr GUID zorv_module_guid = {0x8B1CECF9, 0x4BFE, 0x44FA, {0xB5, 0xB6, 0x8B, 0x2B, 0x6E, 0xF8, 0x50, 0xC3}};

  virtual void get_name(qiv::string_object& out) = 0;
  // Creates the main window on the first call; answers its handle (null on failure).
  virtual HWND init(window_message_hook hook) = 0;
  virtual void shutdown() = 0;
  virtual void activate() = 0;
  virtual void hide() = 0;
  virtual bool is_visible() = 0;
  virtual GUID get_guid() = 0;
  virtual void reveal_now_playing() = 0;
};

// Start-up: chooses the module, initialises it and answers its main window.
// Throws exception_messagebox "No user interface modules installed" or
// "Failed to initialize user interface, exiting.".
HWND user_interface_start();

// The chosen module, null before start-up chose one (and with "/quiet").
service_ptr<user_interface> current_user_interface();
void release_current_user_interface();
