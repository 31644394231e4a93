#include "ui/menus/context_menu_tree.h"

#include <map>
#include <string>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/byte_compare.h"
#include "foundation/comparators.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "ui/menus/context_menu_group_def.h"

namespace {

struct path_less {
  bool operator()(const std::string& a, const std::string& b) const {
    return qiv::stricmp_ascii(a.c_str(), b.c_str()) < 0;
  }
};

class group_paths {
public:
  const GUID* find(const char* path) {
    build_once();
    const auto found = paths_.find(path);
    return found == paths_.end() ? nullptr : &found->second;
  }
  void build_once() {
    // The walk creates definitions through the main thread's index.
    if (qiv::main_thread_id() != 0 && !running_on_main_thread()) qiv::crash();
    if (built_) return;
    std::map<GUID, std::vector<GUID>, qiv::guid_less> children;
    for (auto& group : service_list_t<context_menu_group_def>())
      children[group->get_parent_guid()].push_back(group->get_guid());
    std::string path;
    walk(context_menu_groups::root, path, true, children, 0);
    built_ = true;
  }

private:
  // Two definitions of one GUID under different parents can make a loop;
  // no real menu nests this deep.
  static constexpr int depth_limit = 64;

  void walk(const GUID& group, std::string& path, bool named,
            const std::map<GUID, std::vector<GUID>, qiv::guid_less>& children, int depth) {
    if (named) paths_[path] = group;
    if (depth >= depth_limit) return;
    const auto list = children.find(group);
    if (list == children.end()) return;
    for (const GUID& child : list->second) {
      service_ptr<context_menu_group_def> definition = find_context_menu_group(child);
      if (!definition) continue;
      const std::size_t length = path.size();
      const service_ptr<context_menu_named_group> with_name = service_query<context_menu_named_group>(definition.get());
      if (with_name) {
        qiv::string_small name;
        with_name->get_name(name);
        if (!path.empty()) path += '/';
        path += name.get_ptr();
      }
      walk(child, path, static_cast<bool>(with_name), children, depth + 1);
      path.resize(length);
    }
  }

  std::map<std::string, GUID, path_less> paths_;
  bool built_ = false;
};
group_paths the_paths;

class context_menu_tree_impl : public context_menu_tree {
public:
  GUID find_group_by_path(const char* path) override {
    const GUID* found = the_paths.find(path);
    return found != nullptr ? *found : GUID{};
  }

  void get_group_path(const GUID& group, qiv::string_object& output) override {
    the_paths.build_once();
    std::string result;
    GUID current = group;
    // Climbs through the top group, whose parent no definition has; a
    // group that names itself as an ancestor would climb forever.
    for (int depth = 0; depth < 64; ++depth) {
      service_ptr<context_menu_group_def> definition = find_context_menu_group(current);
      if (!definition) break;
      if (const auto named = service_query<context_menu_named_group>(definition.get())) {
        qiv::string_small name;
        named->get_name(name);
        result = result.empty() ? std::string(name.get_ptr()) : std::string(name.get_ptr()) + "/" + result;
      }
      current = definition->get_parent_guid();
    }
    output.set_string(result.c_str());
  }
};

service_factory_single_t<context_menu_tree_impl> context_menu_tree_registration;

}  // namespace
