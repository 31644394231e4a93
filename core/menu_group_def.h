// The nodes of the main menu tree. The menu is assembled when it opens from
// these definitions and the command groups that hang under them, so any
// module can add a node or a command by registering a static service.
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "foundation/string_object.h"

// A node of the menu tree: an untitled section drawn inline between
// separators, or (when it also answers menu_popup_group) a titled popup.
class menu_group_def : public service_object {
public:
  static constexpr GUID class_guid = {0x21656AB9, 0x0255, 0x4F8C, {0x8F, 0xB9, 0x1A, 0x77, 0x48, 0xBC, 0xE9, 0x3A}};
  using service_parent = service_object;

  virtual GUID get_guid() const = 0;
  // The null GUID for a popup of the menu bar.
  virtual GUID get_parent() const = 0;
  // Smaller first among the siblings, compared as unsigned numbers: a node
  // registered with -1 sorts after every non-negative priority, so "Exit"
  // stays last in File whatever other modules add.
  virtual std::uint32_t get_sort_priority() const = 0;
};

// The extension answered by the nodes that open as a popup with a title.
class menu_popup_group : public menu_group_def {
public:
  static constexpr GUID class_guid = {0x2E673A2E, 0xA4EE, 0x419C, {0x94, 0xC8, 0x9C, 0x83, 0x86, 0x60, 0x41, 0x4C}};
  using service_parent = menu_group_def;

  // The title in the current language; the empty text when the language
  // lacks it.
  virtual void get_name(qiv::string_object& output) const = 0;
};

// A section: its own GUID, its parent and its order, nothing more.
class menu_group_section : public menu_group_def {
public:
  constexpr menu_group_section(const GUID& guid, const GUID& parent, std::int32_t sort_priority) noexcept
      : guid_(guid), parent_(parent), sort_priority_(sort_priority) {}

  GUID get_guid() const override;
  GUID get_parent() const override;
  std::uint32_t get_sort_priority() const override;

private:
  GUID guid_;
  GUID parent_;
  std::int32_t sort_priority_;
};

// A popup: like a section, plus the localisation id of its title.
class menu_group_popup : public menu_popup_group {
public:
  constexpr menu_group_popup(const GUID& guid, const GUID& parent, std::int32_t sort_priority,
                             const char* name_id) noexcept
      : guid_(guid), parent_(parent), sort_priority_(sort_priority), name_id_(name_id) {}

  GUID get_guid() const override;
  GUID get_parent() const override;
  std::uint32_t get_sort_priority() const override;
  void get_name(qiv::string_object& output) const override;

private:
  GUID guid_;
  GUID parent_;
  std::int32_t sort_priority_;
  const char* name_id_;
};

// The nodes that command groups of other modules hang under.
namespace main_menu_node {
inline constexpr GUID file = {0x8F487F1F, 0x419F, 0x47A7, {0x8E, 0xCF, 0xEC, 0x44, 0xAF, 0x44, 0x49, 0xA3}};
inline constexpr GUID view = {0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}};
inline constexpr GUID playback = {0x53FA5B8A, 0xFCBC, 0x4296, {0xB9, 0x68, 0x45, 0xBA, 0xE6, 0x88, 0x88, 0x45}};
inline constexpr GUID help = {0x25DC3DB7, 0x996A, 0x4F48, {0xAF, 0x53, 0x71, 0x20, 0x32, 0xEF, 0xA0, 0x4F}};
inline constexpr GUID theme = {0x7C74608A, 0x616A, 0x40B7, {0x88, 0xA1, 0x25, 0xDC, 0x95, 0x4C, 0x43, 0xFD}};
// Sections of the File popup.
inline constexpr GUID library_folders_section = {0x15D22753, 0x9D30, 0x4929, {0xAA, 0x14, 0x51, 0x24, 0x01, 0x6F, 0x7E, 0x68}};
inline constexpr GUID preferences_section = {0x2DA055D4, 0x0257, 0x40B2, {0x82, 0x81, 0x79, 0x67, 0x86, 0x6B, 0x48, 0x5C}};
}  // namespace main_menu_node
