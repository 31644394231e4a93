// The main menu as one popup (the Menu button, the window's context
// request): File, View, Playback and Help, each from a menu manager of its
// own, with 2048 command ids per popup.
#pragma once

#include <windows.h>

#include "core/service_object.h"
#include "ui/menus/menu_manager.h"

class main_menu_popup {
public:
  static constexpr UINT ids_per_group = 0x800;
  static constexpr int group_count = 4;

  // Builds the four managers and the menu. Throws what the registry throws
  // when there is not exactly one menu manager; nothing is shown then.
  main_menu_popup(std::uint32_t append_flags = menu_manager::flag_shortcuts);
  ~main_menu_popup();
  main_menu_popup(const main_menu_popup&) = delete;
  main_menu_popup& operator=(const main_menu_popup&) = delete;

  HMENU menu() const noexcept { return menu_; }
  // Runs the command of a menu result (1 + 2048 * group + local id); 0 and
  // ids outside the four groups do nothing. False when nothing ran.
  bool run_result(UINT result);

private:
  HMENU menu_ = nullptr;
  service_ptr<menu_manager> managers_[group_count];
};

// Shows the main menu at the screen point, owned by the window, and runs
// the chosen command.
void service_popup_menu_run(HWND window, POINT point);
