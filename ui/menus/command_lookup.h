// Running commands by GUID: the main-menu commands (core/main_menu_group.h)
// and the item context-menu commands (ui/menus/context_menu_item.h). The
// dispatcher service registered here is the one core's
// run_group_command_by_guid reaches.
#pragma once

#include <cstdint>

#include "metadata/track_handle.h"
#include "ui/menus/context_menu_item.h"

// The context command with that GUID and its index in its service; false
// when none has it.
bool find_context_command_by_guid(const GUID& command, service_ptr<context_menu_item>& owner, std::uint32_t& index);

// Runs the context command with that GUID on the tracks, with the
// subcommand; false when no context command has the GUID.
bool run_context_command_by_guid(const GUID& command, const GUID& subcommand, const track_handle_list& tracks,
                                 const GUID& caller);
