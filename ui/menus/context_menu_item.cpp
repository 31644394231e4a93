#include "ui/menus/context_menu_item.h"

context_menu_item_node* context_menu_item::create_node(std::uint32_t index, const track_handle_list&, const GUID&) {
  return new context_command_node(this, index);
}

void context_menu_item::get_description(std::uint32_t, qiv::string_object& output) { output.set_string(""); }

std::uint32_t context_menu_item::get_visibility(std::uint32_t) { return always; }

void context_menu_item::execute_subcommand(std::uint32_t index, const GUID& subcommand,
                                           const track_handle_list& tracks, const GUID& caller) {
  if (subcommand == GUID{}) execute(index, tracks, caller);
}

bool context_menu_item::get_display(std::uint32_t index, const track_handle_list&, qiv::string_object& text,
                                    std::uint32_t&, const GUID&) {
  get_name(index, text);
  return true;
}

bool context_menu_item::check_command(std::uint32_t) { return true; }

bool context_menu_item::get_display_for_tracks(std::uint32_t index, const track_handle_list& tracks,
                                               qiv::string_object& text, std::uint32_t& flags, const GUID& caller) {
  if (tracks.empty()) return false;
  return get_display(index, tracks, text, flags, caller);
}

bool context_command_node::get_display(qiv::string_object& text, std::uint32_t& flags,
                                       const track_handle_list& tracks, const GUID& caller) {
  return owner_->get_display_for_tracks(index_, tracks, text, flags, caller);
}

void context_command_node::execute(const track_handle_list& tracks, const GUID& caller) {
  owner_->execute(index_, tracks, caller);
}

bool context_command_node::check_command() { return owner_->check_command(index_); }
