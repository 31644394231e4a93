// Commands of the item context menu (the menu shown for selected tracks).
// Each service offers one or more commands, addressed by index, and names
// the group they belong to (ui/menus/context_menu_group_def.h). Commands are
// also run by GUID, from keyboard shortcuts.
#pragma once

#include <cstdint>

#include "core/service_object.h"
#include "foundation/string_object.h"
#include "metadata/track_handle.h"

// Callers tell a command which part of the window asks for it.
namespace context_menu_caller {
inline constexpr GUID main_list = {0xFDA07C56, 0x05D0, 0x4B84, {0x9F, 0xBD, 0xA8, 0xBE, 0x55, 0x6D, 0x47, 0x4D}};
inline constexpr GUID now_playing = {0x994C0D0E, 0x319E, 0x45F3, {0x92, 0xFC, 0x51, 0x86, 0x16, 0xE7, 0x3A, 0xDC}};
}  // namespace context_menu_caller

// Commands the shell names itself (keyboard shortcuts), registered by the
// modules above it.
namespace context_menu_commands {
// "Properties": the tag editor for the selected tracks (properties/).
inline constexpr GUID properties = {0x6F441057, 0x1D18, 0x4A58, {0x9A, 0xC4, 0x8F, 0x40, 0x9C, 0xDA, 0x7D, 0xFD}};
}  // namespace context_menu_commands

// One command, or a group of dynamic entries, in one menu. Plain object:
// the one who asked for it deletes it.
class context_menu_item_node {
public:
  enum node_kind : std::uint32_t { kind_group = 0, kind_command = 1, kind_separator = 2 };

  virtual ~context_menu_item_node() = default;
  // False leaves the node out of the menu.
  virtual bool get_display(qiv::string_object& text, std::uint32_t& flags, const track_handle_list& tracks,
                           const GUID& caller) = 0;
  virtual std::uint32_t get_kind() = 0;
  virtual void execute(const track_handle_list& tracks, const GUID& caller) = 0;
  virtual std::uint32_t get_child_count() = 0;
  // Owned by this node; null for a node without entries.
  virtual context_menu_item_node* get_child(std::uint32_t index) = 0;
  // With the command's GUID, the key under which a shortcut is looked up.
  virtual GUID get_subcommand_guid() = 0;
  virtual bool check_command() = 0;
};

class context_menu_item : public service_object {
public:
  static constexpr GUID class_guid = {0x1C0802F7, 0xCF24, 0x49EF, {0xB9, 0x14, 0x8B, 0x98, 0x66, 0xF1, 0x97, 0x79}};
  using service_parent = service_object;

  // Display flags of a command.
  static constexpr std::uint32_t flag_checked = 1;
  static constexpr std::uint32_t flag_disabled = 2;
  static constexpr std::uint32_t flag_grayed = 4;
  static constexpr std::uint32_t flag_radio = 8;
  // Where a command shows.
  enum visibility : std::uint32_t { hidden = 0, extended_only = 1, always = 2 };

  virtual std::uint32_t get_count() = 0;
  // A fresh node for one use of the command in one menu, or null when the
  // command shows nothing. Unless a service says otherwise, a plain command
  // node (below).
  virtual context_menu_item_node* create_node(std::uint32_t index, const track_handle_list& tracks,
                                              const GUID& caller);
  virtual GUID get_guid(std::uint32_t index) = 0;
  virtual void get_name(std::uint32_t index, qiv::string_object& output) = 0;
  virtual void get_description(std::uint32_t index, qiv::string_object& output);
  virtual std::uint32_t get_visibility(std::uint32_t index);
  // No command of this program has subcommands: only the all-zero
  // subcommand runs the command.
  virtual void execute_subcommand(std::uint32_t index, const GUID& subcommand, const track_handle_list& tracks,
                                  const GUID& caller);
  // Lower first; shared by all commands of the service.
  virtual double get_priority() = 0;
  // The group the commands belong to.
  virtual GUID get_parent() = 0;
  virtual void execute(std::uint32_t index, const track_handle_list& tracks, const GUID& caller) = 0;
  // False leaves the command out of the menu. Unless a service says
  // otherwise: its name, flags as given, shown.
  virtual bool get_display(std::uint32_t index, const track_handle_list& tracks, qiv::string_object& text,
                           std::uint32_t& flags, const GUID& caller);
  virtual bool check_command(std::uint32_t index);
  // Nothing to show for no tracks at all.
  bool get_display_for_tracks(std::uint32_t index, const track_handle_list& tracks, qiv::string_object& text,
                              std::uint32_t& flags, const GUID& caller);
};

// The node of one command of a service: forwards to the service.
class context_command_node final : public context_menu_item_node {
public:
  context_command_node(context_menu_item* owner, std::uint32_t index) noexcept : owner_(owner), index_(index) {}

  bool get_display(qiv::string_object& text, std::uint32_t& flags, const track_handle_list& tracks,
                   const GUID& caller) override;
  std::uint32_t get_kind() override { return kind_command; }
  void execute(const track_handle_list& tracks, const GUID& caller) override;
  std::uint32_t get_child_count() override { return 0; }
  context_menu_item_node* get_child(std::uint32_t) override { return nullptr; }
  GUID get_subcommand_guid() override { return GUID{}; }
  bool check_command() override;

private:
  service_ptr<context_menu_item> owner_;
  std::uint32_t index_;
};
