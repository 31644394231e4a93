#include "ui/menus/context_menu_manager.h"

#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/comparators.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "playback/playback_front.h"
#include "ui/menus/command_lookup.h"
#include "ui/menus/context_menu_group_def.h"
#include "ui/menus/context_menu_item.h"
#include "ui/menus/keyboard_shortcuts.h"

namespace {

// The nodes the manager hands out; each popup owns its children.
class manager_node : public context_menu_node {
public:
  virtual ~manager_node() = default;
  std::uint32_t child_count() override { return 0; }
  context_menu_node* child(std::uint32_t) override { return nullptr; }
  std::uint32_t flags() override { return 0; }
  std::int32_t command_id() override { return -1; }
  void run() override {}
};

class separator_node final : public manager_node {
public:
  std::uint32_t kind() override { return kind_separator; }
  const char* text() override { return ""; }
};

class popup_node final : public manager_node {
public:
  popup_node(std::string text, std::uint32_t flags) : text_(std::move(text)), flags_(flags) {}
  std::uint32_t kind() override { return kind_popup; }
  const char* text() override { return text_.c_str(); }
  std::uint32_t child_count() override { return static_cast<std::uint32_t>(children.size()); }
  context_menu_node* child(std::uint32_t index) override {
    return index < children.size() ? children[index].get() : nullptr;
  }
  std::uint32_t flags() override { return flags_; }

  std::vector<std::unique_ptr<manager_node>> children;

private:
  std::string text_;
  std::uint32_t flags_;
};

class command_node final : public manager_node {
public:
  command_node(std::string text, std::uint32_t flags, std::int32_t id, context_menu_item_node* node,
               const track_handle_list& tracks, const GUID& caller)
      : text_(std::move(text)), flags_(flags), id_(id), node_(node), tracks_(tracks), caller_(caller) {}
  std::uint32_t kind() override { return kind_command; }
  const char* text() override { return text_.c_str(); }
  std::uint32_t flags() override { return flags_; }
  std::int32_t command_id() override { return id_; }
  void run() override { node_->execute(tracks_, caller_); }

private:
  std::string text_;
  std::uint32_t flags_;
  std::int32_t id_;
  context_menu_item_node* node_;
  const track_handle_list& tracks_;
  const GUID& caller_;
};

using node_list = std::vector<std::unique_ptr<manager_node>>;

// Appends a separator for a pending one, unless the list is empty or already
// ends with one, so that no menu starts or ends with a separator or shows two
// in a row.
void emit_pending_separator_node(node_list& list, bool& pending) {
  if (pending && !list.empty() && list.back()->kind() != context_menu_node::kind_separator)
    list.push_back(std::make_unique<separator_node>());
  pending = false;
}

struct group_entry {
  enum entry_kind { named_group, command, separator } kind;
  GUID guid;
};

class context_menu_manager_impl : public context_menu_manager {
public:
  context_menu_node* get_root() override { return root_.get(); }

  context_menu_node* get_command_node(std::int32_t id) override {
    if (id < 0 || static_cast<std::size_t>(id) >= commands_.size()) return nullptr;
    return commands_[static_cast<std::size_t>(id)];
  }

  void set_shortcut_kinds(const std::uint32_t* kinds, std::size_t count) override {
    shortcut_kinds_.assign(kinds, kinds + count);
    shortcut_kinds_set_ = true;
  }

  void init_with_caller(const track_handle_list& tracks, std::uint32_t flags, const GUID& caller) override {
    if (root_) return;
    flags_ = flags;
    caller_ = caller;
    tracks_ = tracks;
    build();
  }

  bool init_now_playing(std::uint32_t flags) override {
    if (root_) return false;
    track_handle_ptr playing;
    if (!playback_front_get().get_now_playing(playing) || !playing) return false;
    tracks_.push_back(playing);
    flags_ = flags;
    caller_ = context_menu_caller::now_playing;
    build();
    return true;
  }

private:
  // What the registry holds for this build's mode, filed by parent.
  struct snapshot {
    std::map<GUID, std::vector<service_ptr<context_menu_item>>, qiv::guid_less> items;
    std::map<GUID, std::vector<service_ptr<context_menu_group_def>>, qiv::guid_less> groups;
  };

  void build() {
    if (!is_main_thread()) qiv::crash();
    if (!shortcut_kinds_set_) {
      shortcut_kinds_ = {1};
      shortcut_kinds_set_ = true;
    }
    if (flags_ & flag_extended) extended_ = true;
    else if (flags_ & flag_normal) extended_ = false;
    else extended_ = GetKeyState(VK_SHIFT) < 0;

    snapshot_ = std::make_unique<snapshot>();
    for (auto& item : service_list_t<context_menu_item>())
      if (has_visible_command(*item)) snapshot_->items[item->get_parent()].push_back(item);
    for (auto& group : service_list_t<context_menu_group_def>())
      snapshot_->groups[group->get_parent_guid()].push_back(group);
    if (find_context_menu_group(context_menu_groups::root)) prune(context_menu_groups::root);

    node_list top;
    bool pending = false;
    build_entry({group_entry::named_group, context_menu_groups::root}, top, pending);
    snapshot_.reset();
    // A root without visible entries is dropped by the build like any empty
    // popup; the menu then simply has no entries of ours.
    if (top.size() == 1 && top.front()->kind() == context_menu_node::kind_popup) root_ = std::move(top.front());
    else root_ = std::make_unique<popup_node>("", 0);
  }

  bool shown(context_menu_item& item, std::uint32_t index) {
    const std::uint32_t visibility = item.get_visibility(index);
    return visibility == context_menu_item::always || (visibility == context_menu_item::extended_only && extended_);
  }

  bool has_visible_command(context_menu_item& item) {
    for (std::uint32_t i = 0; i < item.get_count(); ++i)
      if (shown(item, i)) return true;
    return false;
  }

  // Leaves out the child groups that end up without commands; false when the
  // group itself is then empty. A group that names itself among its
  // ancestors is cut off rather than followed round forever.
  bool prune(const GUID& group) {
    if (!pruning_.insert(group).second) return false;
    auto found = snapshot_->groups.find(group);
    bool has_groups = false;
    if (found != snapshot_->groups.end()) {
      auto& children = found->second;
      std::vector<service_ptr<context_menu_group_def>> kept;
      for (auto& child : children)
        if (prune(child->get_guid())) kept.push_back(child);
      children = std::move(kept);
      has_groups = !children.empty();
    }
    pruning_.erase(group);
    auto items = snapshot_->items.find(group);
    return has_groups || (items != snapshot_->items.end() && !items->second.empty());
  }

  struct entry_key {
    double priority;
    GUID guid;
    bool operator<(const entry_key& other) const noexcept {
      if (priority != other.priority) return priority < other.priority;
      return std::memcmp(&guid, &other.guid, sizeof(GUID)) < 0;
    }
  };

  void list_entries(const GUID& group, std::vector<group_entry>& out) {
    if (!listing_.insert(group).second) return;
    struct member {
      service_ptr<context_menu_item> item;
      service_ptr<context_menu_group_def> group;
    };
    std::map<entry_key, member> ordered;
    if (auto items = snapshot_->items.find(group); items != snapshot_->items.end())
      for (auto& item : items->second) {
        const GUID first = item->get_count() > 0 ? item->get_guid(0) : GUID{};
        ordered.emplace(entry_key{item->get_priority(), first}, member{item, {}});
      }
    if (auto groups = snapshot_->groups.find(group); groups != snapshot_->groups.end())
      for (auto& child : groups->second) ordered.emplace(entry_key{child->get_priority(), child->get_guid()}, member{{}, child});

    bool pending = true;
    auto emit = [&] {
      if (pending && !out.empty() && out.back().kind != group_entry::separator)
        out.push_back({group_entry::separator, GUID{}});
      pending = false;
    };
    for (auto& [key, entry] : ordered) {
      if (entry.group) {
        if (service_query<context_menu_named_group>(entry.group.get())) {
          emit();
          out.push_back({group_entry::named_group, entry.group->get_guid()});
        } else {
          list_entries(entry.group->get_guid(), out);
          pending = true;
        }
        continue;
      }
      for (std::uint32_t i = 0; i < entry.item->get_count(); ++i) {
        if (!shown(*entry.item, i)) continue;
        emit();
        out.push_back({group_entry::command, entry.item->get_guid(i)});
      }
    }
    listing_.erase(group);
  }

  void build_entry(const group_entry& entry, node_list& list, bool& pending) {
    switch (entry.kind) {
    case group_entry::named_group: {
      qiv::string_small name("[no name]");
      if (auto group = service_query<context_menu_named_group>(find_context_menu_group(entry.guid).get()))
        group->get_name(name);
      auto popup = std::make_unique<popup_node>(name.get_ptr(), 0);
      std::vector<group_entry> entries;
      list_entries(entry.guid, entries);
      bool child_pending = false;
      for (const group_entry& child : entries) build_entry(child, popup->children, child_pending);
      if (!popup->children.empty()) {
        emit_pending_separator_node(list, pending);
        list.push_back(std::move(popup));
      }
      break;
    }
    case group_entry::command: {
      service_ptr<context_menu_item> item;
      std::uint32_t index = 0;
      if (!find_context_command_by_guid(entry.guid, item, index)) break;
      if (item->get_visibility(index) == context_menu_item::hidden) break;
      std::unique_ptr<context_menu_item_node> node(item->create_node(index, tracks_, caller_));
      if (!node) break;
      context_menu_item_node* kept = node.get();
      item_nodes_.push_back(std::move(node));
      add_context_node(kept, entry.guid, list, pending);
      break;
    }
    case group_entry::separator:
      pending = true;
      break;
    }
  }

  void add_context_node(context_menu_item_node* node, const GUID& command, node_list& list, bool& pending) {
    qiv::string_small text;
    std::uint32_t flags = 0;
    if (!node->get_display(text, flags, tracks_, caller_)) return;
    switch (node->get_kind()) {
    case context_menu_item_node::kind_group:
      if (text.get_length() > 0) {
        auto popup = std::make_unique<popup_node>(text.get_ptr(), flags);
        bool child_pending = false;
        for (std::uint32_t i = 0; i < node->get_child_count(); ++i)
          if (context_menu_item_node* child = node->get_child(i))
            add_context_node(child, command, popup->children, child_pending);
        if (!popup->children.empty()) {
          emit_pending_separator_node(list, pending);
          list.push_back(std::move(popup));
        }
      } else {
        const std::size_t before = list.size();
        bool inline_pending = true;
        for (std::uint32_t i = 0; i < node->get_child_count(); ++i)
          if (context_menu_item_node* child = node->get_child(i)) add_context_node(child, command, list, inline_pending);
        if (list.size() != before) pending = true;
      }
      break;
    case context_menu_item_node::kind_command: {
      std::string shown_text = text.get_ptr();
      append_shortcut_text(command, node->get_subcommand_guid(), shown_text);
      const auto id = static_cast<std::int32_t>(commands_.size());
      auto item = std::make_unique<command_node>(std::move(shown_text), flags, id, node, tracks_, caller_);
      commands_.push_back(item.get());
      emit_pending_separator_node(list, pending);
      list.push_back(std::move(item));
      break;
    }
    case context_menu_item_node::kind_separator:
      pending = true;
      break;
    default:
      break;
    }
  }

  void append_shortcut_text(const GUID& command, const GUID& subcommand, std::string& text) {
    if ((flags_ & (flag_shortcuts | flag_shortcuts_restricted)) == 0) return;
    auto shortcuts = service_lookup_unique_t<keyboard_shortcuts>();
    const bool restricted_only = (flags_ & flag_shortcuts_restricted) != 0;
    qiv::string_small shortcut;
    for (std::uint32_t kind : shortcut_kinds_) {
      if ((!restricted_only && shortcuts->get_shortcut_text(command, subcommand, shortcut, kind, false)) ||
          shortcuts->get_shortcut_text(command, subcommand, shortcut, kind, true)) {
        text += '\t';
        text += shortcut.get_ptr();
        return;
      }
    }
  }

  track_handle_list tracks_;
  std::uint32_t flags_ = 0;
  GUID caller_ = {};
  bool extended_ = false;
  std::vector<std::uint32_t> shortcut_kinds_;
  bool shortcut_kinds_set_ = false;
  std::vector<std::unique_ptr<context_menu_item_node>> item_nodes_;
  std::vector<command_node*> commands_;
  std::unique_ptr<manager_node> root_;
  std::unique_ptr<snapshot> snapshot_;
  std::set<GUID, qiv::guid_less> pruning_;
  std::set<GUID, qiv::guid_less> listing_;
};

service_factory_t<context_menu_manager_impl> context_menu_manager_registration;

}  // namespace

service_ptr<context_menu_manager> context_menu_manager_create() {
  return service_lookup_unique_t<context_menu_manager>();
}
