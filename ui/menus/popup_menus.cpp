#include "ui/menus/popup_menus.h"

#include <cstring>

#include "foundation/ampersand_escape.h"
#include "foundation/window_text.h"

UINT context_menu_node_flags_to_mf(std::uint32_t flags) {
  UINT mf = 0;
  // A radio item gets its bullet from CheckMenuRadioItem, never a check mark.
  if ((flags & context_menu_node::flag_checked) && !(flags & context_menu_node::flag_radio)) mf |= MF_CHECKED;
  if (flags & context_menu_node::flag_disabled) mf |= MF_DISABLED;
  if (flags & context_menu_node::flag_grayed) mf |= MF_GRAYED;
  return mf;
}

void context_menu_build_popup(HMENU menu, context_menu_node* node, std::int32_t base, std::int32_t limit) {
  if (!node || node->kind() != context_menu_node::kind_popup) return;
  for (std::uint32_t i = 0; i < node->child_count(); ++i) {
    context_menu_node* child = node->child(i);
    if (!child) continue;
    const char* text = child->text();
    std::string escaped;
    if (std::strchr(text, '&')) {
      escaped = escape_ampersands(text);
      text = escaped.c_str();
    }
    const UINT flags = context_menu_node_flags_to_mf(child->flags());
    switch (child->kind()) {
    case context_menu_node::kind_popup: {
      const HMENU popup = CreatePopupMenu();
      append_menu_utf8(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(popup), text);
      context_menu_build_popup(popup, child, base, limit);
      break;
    }
    case context_menu_node::kind_separator:
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      break;
    case context_menu_node::kind_command: {
      const std::int32_t id = child->command_id();
      if (id < 0 || (limit >= 0 && id >= limit)) break;
      const UINT item = static_cast<UINT>(base + id);
      append_menu_utf8(menu, flags, item, text);
      if (child->flags() & context_menu_node::flag_radio) CheckMenuRadioItem(menu, item, item, item, MF_BYCOMMAND);
      break;
    }
    default:
      break;
    }
  }
}

bool context_menu_run_command(context_menu_node_finder& manager, std::int32_t id) {
  context_menu_node* node = manager.find_by_id(id);
  if (!node) return false;
  node->run();
  return true;
}
