// The groups of the item context menu: a tree of named or unnamed groups,
// identified by GUID, that the context commands hang under. Any module adds a
// group by registering a static definition.
#pragma once

#include "core/service_object.h"
#include "foundation/string_object.h"

class context_menu_group_def : public service_object {
public:
  static constexpr GUID class_guid = {0x9DCFC219, 0x0779, 0x4669, {0x98, 0xC1, 0x83, 0x6D, 0xF6, 0x07, 0xC5, 0xD4}};
  using service_parent = service_object;

  virtual GUID get_guid() = 0;
  // The all-zero GUID for the top group.
  virtual GUID get_parent_guid() = 0;
  // Lower first.
  virtual double get_priority() = 0;
};

// The extension answered by groups that have a name of their own; the name
// is shown as it is, it is not a localisation id.
class context_menu_named_group : public context_menu_group_def {
public:
  static constexpr GUID class_guid = {0x97636AD5, 0x5B2D, 0x4AD6, {0x9F, 0x79, 0xC9, 0x64, 0x63, 0x88, 0xC8, 0x29}};
  using service_parent = context_menu_group_def;
  static constexpr bool service_is_extension = true;

  virtual void get_name(qiv::string_object& output) = 0;
};

// The groups of this program.
namespace context_menu_groups {
inline constexpr GUID root = {0xE6E7DC71, 0x114B, 0x4848, {0x92, 0x8C, 0x2A, 0xDC, 0x3F, 0x86, 0xBE, 0xB4}};
inline constexpr GUID tagging = {0xC24B5125, 0xAD58, 0x4DFD, {0x99, 0x76, 0xFF, 0xBE, 0xBA, 0xAD, 0xC9, 0x79}};
inline constexpr GUID replaygain = {0x9640F207, 0x9C98, 0x47B5, {0x85, 0x07, 0x6C, 0x9C, 0x14, 0x3E, 0x64, 0x15}};
// Unnamed: its commands come last, set off by separators.
inline constexpr GUID trailing = {0x0B38CB9F, 0xA92D, 0x4FA4, {0xB4, 0x58, 0x70, 0xD2, 0xFD, 0x39, 0x25, 0xBA}};
}  // namespace context_menu_groups

// The definition of a group, or null when no group has the GUID. On the main
// thread (or before there is one) through an index built once; where the
// GUID is defined twice the definition registered last wins there, while
// other threads scan the registry and find the first.
service_ptr<context_menu_group_def> find_context_menu_group(const GUID& guid);
