// The context menu of the main window's list: Browse, the play actions,
// Show in Explorer and Go to folder of the window itself, then the context
// commands for the selected tracks (ui/menus/context_menu_manager.h).
#pragma once

#include <windows.h>

#include <string>

#include "library/nav_node.h"
#include "ui/main/play_actions.h"
#include "ui/menus/context_menu_item.h"
#include "ui/menus/context_menu_manager.h"

// What the menu asks of the window it belongs to.
class item_menu_host {
public:
  virtual void open_selection() = 0;
  virtual void play(play_mode mode) = 0;
  // Shows the folder with the names selected.
  virtual void go_to_folder(const std::wstring& folder, const wide_text_list& names) = 0;

protected:
  ~item_menu_host() = default;
};

class item_context_menu {
public:
  enum command_id : UINT {
    id_browse = 1,
    id_start_playback_here = 2,
    id_play_this = 3,
    id_play_random_order = 4,
    id_show_in_explorer = 5,
    id_go_to_folder = 6,
    first_context_command_id = 7,
  };

  // Builds the menu for a selection that is not empty.
  item_context_menu(nav_node& node, const wide_text_list& selection);
  ~item_context_menu();
  item_context_menu(const item_context_menu&) = delete;
  item_context_menu& operator=(const item_context_menu&) = delete;

  HMENU menu() const noexcept { return menu_; }
  // Carries out the id the menu answered; 0 (dismissed) does nothing.
  void run(UINT id, item_menu_host& host);

private:
  void append(UINT id, const char* text_id, bool make_default);
  void emit_pending_separator();

  HMENU menu_ = nullptr;
  wide_text_list selection_;
  service_ptr<context_menu_manager> manager_;
  std::wstring explorer_folder_;
  std::wstring common_folder_;
  wide_text_list common_names_;
  bool has_default_ = false;
  bool separator_pending_ = false;
};

// Main thread. Shows the menu at the screen point, owned by the window, and
// carries out the choice; beeps for an empty selection.
void item_context_menu_show(HWND owner, POINT point, nav_node& node, const wide_text_list& selection,
                            item_menu_host& host);
