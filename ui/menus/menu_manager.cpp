#include "ui/menus/menu_manager.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/main_menu_group.h"
#include "core/menu_group_def.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/ampersand_escape.h"
#include "foundation/comparators.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "foundation/window_text.h"
#include "ui/menus/keyboard_shortcuts.h"

namespace {

struct sort_key {
  std::uint32_t priority;
  GUID guid;
  bool operator<(const sort_key& other) const noexcept {
    if (priority != other.priority) return priority < other.priority;
    return qiv::guid_compare(guid, other.guid) < 0;
  }
};

struct tree_node {
  sort_key key{};
  // A node of the menu tree (a section, or a popup when `popup`).
  bool popup = false;
  std::string name;
  std::vector<std::unique_ptr<tree_node>> children;
  // Or a command group, with the local id of each of its commands.
  service_ptr<main_menu_group> group;
  std::vector<std::uint32_t> ids;
};

// A separator for a pending one, unless the menu is empty or already ends
// with one: no menu starts or ends with a separator or shows two in a row.
void emit_pending_menu_separator(HMENU menu, bool& pending) {
  if (pending) {
    const int count = GetMenuItemCount(menu);
    if (count > 0 && (get_menu_item_type(menu, static_cast<UINT>(count - 1)) & MFT_SEPARATOR) == 0)
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  pending = false;
}

class menu_manager_impl : public menu_manager {
public:
  void build(const GUID& root) override {
    require_main_thread();
    registry_snapshot snapshot;
    std::set<GUID, qiv::guid_less> path;
    std::uint32_t next_id = 0;
    std::map<std::uint32_t, command_entry> commands;
    auto tree = build_group(snapshot, root, path, next_id, commands);
    tree_ = std::move(tree);
    commands_ = std::move(commands);
  }

  fill_result append_items(HMENU menu, std::uint32_t first_id, std::uint32_t id_count, std::uint32_t flags) override {
    require_main_thread();
    if (!tree_) qiv::crash();
    if ((flags & (flag_normal | flag_extended)) == 0) flags |= GetKeyState(VK_SHIFT) < 0 ? flag_extended : flag_normal;
    request request{first_id, id_count, flags};
    return static_cast<fill_result>(fill(menu, *tree_, request));
  }

  bool run(std::uint32_t local_id, service_handle context) override {
    require_main_thread();
    auto found = commands_.find(local_id);
    if (found == commands_.end()) return false;
    // The entry is copied: the command may rebuild this very manager.
    command_entry entry = found->second;
    entry.group->execute(entry.index, context);
    return true;
  }

private:
  struct command_entry {
    service_ptr<main_menu_group> group;
    std::uint32_t index;
  };

  struct request {
    std::uint32_t first_id;
    std::uint32_t id_count;
    std::uint32_t flags;
  };

  struct registry_snapshot {
    std::vector<service_ptr<menu_group_def>> by_guid = service_list_vector<menu_group_def>();
    std::vector<service_ptr<menu_group_def>> by_parent = by_guid;
    std::vector<service_ptr<main_menu_group>> groups_by_parent = service_list_vector<main_menu_group>();

    registry_snapshot() {
      std::stable_sort(by_guid.begin(), by_guid.end(),
                       [](auto& a, auto& b) { return qiv::guid_compare(a->get_guid(), b->get_guid()) < 0; });
      std::stable_sort(by_parent.begin(), by_parent.end(),
                       [](auto& a, auto& b) { return qiv::guid_compare(a->get_parent(), b->get_parent()) < 0; });
      std::stable_sort(groups_by_parent.begin(), groups_by_parent.end(),
                       [](auto& a, auto& b) { return qiv::guid_compare(a->get_parent(), b->get_parent()) < 0; });
    }

    template <class T>
    static std::vector<service_ptr<T>> service_list_vector() {
      std::vector<service_ptr<T>> out;
      for (auto& service : service_list_t<T>()) out.push_back(service);
      return out;
    }
  };

  std::unique_ptr<tree_node> build_group(registry_snapshot& snapshot, const GUID& guid,
                                         std::set<GUID, qiv::guid_less>& path, std::uint32_t& next_id,
                                         std::map<std::uint32_t, command_entry>& commands) {
    auto found = std::lower_bound(snapshot.by_guid.begin(), snapshot.by_guid.end(), guid,
                                  [](auto& def, const GUID& key) { return qiv::guid_compare(def->get_guid(), key) < 0; });
    if (found == snapshot.by_guid.end() || (*found)->get_guid() != guid)
      throw qiv::exception_with_message("Menu group not found");
    auto node = std::make_unique<tree_node>();
    node->key = {(*found)->get_sort_priority(), guid};
    if (auto popup = service_query<menu_popup_group>(found->get())) {
      node->popup = true;
      qiv::string_small name;
      popup->get_name(name);
      node->name = name.get_ptr();
    }
    // A node that names itself among its ancestors would recurse forever.
    path.insert(guid);
    auto children = std::equal_range(snapshot.by_parent.begin(), snapshot.by_parent.end(), guid, parent_order{});
    for (auto child = children.first; child != children.second; ++child) {
      const GUID child_guid = (*child)->get_guid();
      if (path.count(child_guid)) continue;
      auto built = build_group(snapshot, child_guid, path, next_id, commands);
      if (!built->children.empty()) node->children.push_back(std::move(built));
    }
    path.erase(guid);
    auto groups = std::equal_range(snapshot.groups_by_parent.begin(), snapshot.groups_by_parent.end(), guid,
                                   parent_order{});
    for (auto group = groups.first; group != groups.second; ++group) {
      auto command_group = std::make_unique<tree_node>();
      const std::uint32_t count = (*group)->get_command_count();
      command_group->key = {(*group)->get_sort_priority(), count > 0 ? (*group)->get_command_guid(0) : GUID{}};
      command_group->group = *group;
      for (std::uint32_t i = 0; i < count; ++i) {
        command_group->ids.push_back(next_id);
        commands[next_id++] = {*group, i};
      }
      node->children.push_back(std::move(command_group));
    }
    std::stable_sort(node->children.begin(), node->children.end(),
                     [](auto& a, auto& b) { return a->key < b->key; });
    return node;
  }

  struct parent_order {
    template <class T>
    bool operator()(const service_ptr<T>& item, const GUID& key) const noexcept {
      return qiv::guid_compare(item->get_parent(), key) < 0;
    }
    template <class T>
    bool operator()(const GUID& key, const service_ptr<T>& item) const noexcept {
      return qiv::guid_compare(key, item->get_parent()) < 0;
    }
  };

  // Fills the menu with the children of the container; answers the best
  // fill_result among them.
  std::uint32_t fill(HMENU menu, tree_node& container, const request& request) {
    std::uint32_t result = filled_nothing;
    bool pending = true;
    for (auto& child : container.children) {
      std::uint32_t child_result = filled_nothing;
      if (child->group) {
        child_result = fill_commands(menu, *child, request, pending);
      } else if (!child->popup) {
        child_result = fill(menu, *child, request);
        pending = true;
      } else {
        child_result = fill_popup(menu, *child, request, pending);
      }
      result = std::max(result, child_result);
    }
    return result;
  }

  std::uint32_t fill_popup(HMENU menu, tree_node& popup, const request& request, bool& pending) {
    HMENU submenu = CreatePopupMenu();
    std::uint32_t result = filled_nothing;
    try {
      result = fill(submenu, popup, request);
    } catch (...) {
      DestroyMenu(submenu);
      throw;
    }
    if (result == filled_nothing) {
      DestroyMenu(submenu);
      return result;
    }
    emit_pending_menu_separator(menu, pending);
    const std::string name = escape_ampersands(popup.name.c_str());
    if (result == filled_enabled) {
      append_menu_utf8(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), name.c_str());
    } else {
      // Nothing in it can be chosen: say so without opening an empty
      // submenu.
      append_menu_utf8(menu, MF_GRAYED | MF_DISABLED, 0, (name + "\t...").c_str());
      DestroyMenu(submenu);
    }
    return result;
  }

  std::uint32_t fill_commands(HMENU menu, tree_node& node, const request& request, bool& pending) {
    std::uint32_t result = filled_nothing;
    main_menu_group& group = *node.group;
    for (std::size_t i = 0; i < node.ids.size(); ++i) {
      const auto index = static_cast<std::uint32_t>(i);
      qiv::string_small text;
      std::uint32_t flags = 0;
      if (!group.get_display(index, text, flags)) continue;
      if ((flags & main_menu_group::flag_extended) && !(request.flags & flag_extended)) continue;
      UINT menu_flags = 0;
      if (flags & main_menu_group::flag_disabled) menu_flags |= MF_GRAYED | MF_DISABLED;
      const bool radio = (flags & main_menu_group::flag_radio) != 0;
      if (!radio && (flags & main_menu_group::flag_checked)) menu_flags |= MF_CHECKED;
      std::string shown = escape_ampersands(text.get_ptr());
      append_shortcut_text(group.get_command_guid(index), request.flags, shown);
      emit_pending_menu_separator(menu, pending);
      const std::uint32_t local_id = node.ids[i];
      if (local_id >= request.id_count) throw qiv::exception_overflow();
      const UINT id = request.first_id + local_id;
      append_menu_utf8(menu, menu_flags, id, shown.c_str());
      if (radio) CheckMenuRadioItem(menu, id, id, id, MF_BYCOMMAND);
      result = std::max<std::uint32_t>(result, (flags & main_menu_group::flag_disabled) ? filled_disabled_only
                                                                                        : filled_enabled);
    }
    return result;
  }

  static void append_shortcut_text(const GUID& command, std::uint32_t flags, std::string& text) {
    if ((flags & (flag_shortcuts | flag_shortcuts_restricted)) == 0) return;
    qiv::string_small shortcut;
    if (service_lookup_unique_t<keyboard_shortcuts>()->get_shortcut_text(
            command, GUID{}, shortcut, shortcut_record::main_menu, (flags & flag_shortcuts_restricted) != 0)) {
      text += '\t';
      text += escape_ampersands(shortcut.get_ptr());
    }
  }

  std::unique_ptr<tree_node> tree_;
  std::map<std::uint32_t, command_entry> commands_;
};

service_factory_t<menu_manager_impl> menu_manager_registration;

}  // namespace
