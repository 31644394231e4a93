// Group paths of the item context menu: "Tagging" for the group of that name
// under the top group, "Tagging/Sub" for a named group under it. Unnamed
// groups add nothing to the paths below them.
#pragma once

#include "core/service_object.h"
#include "foundation/string_object.h"

class context_menu_tree : public service_object {
public:
  static constexpr GUID class_guid = {0x092BA0C5, 0x5572, 0x48CD, {0xA4, 0xCA, 0x7B, 0x73, 0xDE, 0x0B, 0x2A, 0xEC}};
  using service_parent = service_object;

  // The group with that path, compared without regard to ASCII case; the
  // all-zero GUID when none has it. The top group has the empty path.
  virtual GUID find_group_by_path(const char* path) = 0;
  // The names from the top group down, the top group's own included
  // ("Root/Tagging"); empty for a GUID that no group has.
  virtual void get_group_path(const GUID& group, qiv::string_object& output) = 0;
};
