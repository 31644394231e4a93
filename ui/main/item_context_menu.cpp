#include "ui/main/item_context_menu.h"

#include <algorithm>

#include "core/localized_text.h"
#include "foundation/win32_error.h"
#include "foundation/window_text.h"
#include "library/nav_controller.h"
#include "ui/menus/information_popup.h"
#include "ui/menus/popup_menus.h"
#include "ui/menus/show_in_explorer.h"

item_context_menu::item_context_menu(nav_node& node, const wide_text_list& selection)
    : menu_(CreatePopupMenu()), selection_(selection) {
  if (node.can_open(selection)) append(id_browse, "contextmenu_browse", true);
  if (node.can_play()) {
    if (selection.size() == 1 && !node.is_container(selection[0]))
      append(id_start_playback_here, "contextmenu_start_playback_here", !has_default_);
    append(id_play_this, "contextmenu_play_this", !has_default_);
    if (selection.size() > 1) append(id_play_random_order, "contextmenu_play_this_random_order", false);
  }
  const bool all_tracks = std::all_of(selection.begin(), selection.end(),
                                      [&](const std::wstring& name) { return node.is_track(name); });
  if (!all_tracks) {
    if (node.get_folder_path(explorer_folder_)) {
      separator_pending_ = true;
      append(id_show_in_explorer, "contextmenu_show_in_explorer", false);
    }
    return;
  }
  separator_pending_ = true;
  track_handle_list tracks;
  node.get_tracks(selection, tracks);
  if (node.kind() != nav_kind_file_system &&
      nav_controller::go_to_common_folder(tracks, common_folder_, common_names_)) {
    append(id_go_to_folder, "contextmenu_go_to_folder", false);
    separator_pending_ = true;
  }
  manager_ = context_menu_manager_create();
  manager_->init_with_caller(tracks, 0, context_menu_caller::main_list);
  context_menu_node* root = manager_->get_root();
  if (root != nullptr && root->child_count() > 0) {
    emit_pending_separator();
    context_menu_build_popup(menu_, root, first_context_command_id, -1);
  }
}

item_context_menu::~item_context_menu() { DestroyMenu(menu_); }

void item_context_menu::emit_pending_separator() {
  // Separators only between entries: never first, last or twice.
  if (separator_pending_ && GetMenuItemCount(menu_) > 0) AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
  separator_pending_ = false;
}

void item_context_menu::append(UINT id, const char* text_id, bool make_default) {
  emit_pending_separator();
  append_menu_utf8(menu_, MF_STRING, id, localized_text_get(text_id));
  if (make_default) {
    SetMenuDefaultItem(menu_, id, FALSE);
    has_default_ = true;
  }
}

void item_context_menu::run(UINT id, item_menu_host& host) {
  switch (id) {
  case 0:
    return;
  case id_browse:
    host.open_selection();
    return;
  case id_start_playback_here:
    host.play(play_mode::start_here);
    return;
  case id_play_this:
    host.play(play_mode::play_this);
    return;
  case id_play_random_order:
    host.play(play_mode::random_order);
    return;
  case id_show_in_explorer:
    try {
      shell_show_in_explorer(explorer_folder_, selection_);
    } catch (const exception_com& error) {
      show_labelled_information_popup(dialog_information_caption(), qiv::win32_error_text(error.code()).get_ptr());
    }
    return;
  case id_go_to_folder:
    host.go_to_folder(common_folder_, common_names_);
    return;
  default:
    if (manager_ && id >= first_context_command_id)
      context_menu_run_command(*manager_, static_cast<std::int32_t>(id - first_context_command_id));
    return;
  }
}

void item_context_menu_show(HWND owner, POINT point, nav_node& node, const wide_text_list& selection,
                            item_menu_host& host) {
  if (selection.empty()) {
    MessageBeep(0);
    return;
  }
  item_context_menu menu(node, selection);
  const UINT id = static_cast<UINT>(TrackPopupMenu(menu.menu(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                   point.x, point.y, 0, owner, nullptr));
  menu.run(id, host);
}
