#include "ui/menus/main_menu_popup.h"

#include "core/localized_text.h"
#include "core/menu_group_def.h"
#include "core/service_registry.h"
#include "foundation/window_text.h"

namespace {

struct top_level_group {
  GUID guid;
  const char* name_id;
};

// Fixed order: the popups of the menu bar are not sorted.
constexpr top_level_group top_level_groups[main_menu_popup::group_count] = {
    {main_menu_node::file, "menu_group_file"},
    {main_menu_node::view, "menu_group_view"},
    {main_menu_node::playback, "menu_group_playback"},
    {main_menu_node::help, "menu_group_help"},
};

}  // namespace

main_menu_popup::main_menu_popup(std::uint32_t append_flags) : menu_(CreatePopupMenu()) {
  try {
    for (int k = 0; k < group_count; ++k) {
      managers_[k] = service_lookup_unique_t<menu_manager>();
      managers_[k]->build(top_level_groups[k].guid);
      HMENU submenu = CreatePopupMenu();
      try {
        managers_[k]->append_items(submenu, 1 + ids_per_group * k, ids_per_group, append_flags);
      } catch (...) {
        DestroyMenu(submenu);
        throw;
      }
      append_menu_utf8(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu),
                       localized_text_get(top_level_groups[k].name_id));
    }
  } catch (...) {
    DestroyMenu(menu_);
    throw;
  }
}

main_menu_popup::~main_menu_popup() { DestroyMenu(menu_); }

bool main_menu_popup::run_result(UINT result) {
  if (result < 1 || result > ids_per_group * group_count) return false;
  const UINT group = (result - 1) / ids_per_group;
  return managers_[group]->run((result - 1) % ids_per_group, service_handle());
}

void service_popup_menu_run(HWND window, POINT point) {
  main_menu_popup popup;
  const UINT result = static_cast<UINT>(
      TrackPopupMenu(popup.menu(), TPM_RETURNCMD | TPM_NONOTIFY, point.x, point.y, 0, window, nullptr));
  popup.run_result(result);
}
