// Running one command line: the program's own at start-up, or one that a
// second start handed over. Options go to the registered command-line
// handlers; files, folders and wildcards become items that the user
// interface opens.
#pragma once

#include <windows.h>

#include "foundation/string_array.h"

// The canonical paths one command line names, in their order.
using command_line_items = qiv::string_array;

// Opens the items in the main window (the navigation views implement it).
void nav_open_locations(HWND main_window, const command_line_items& items);

namespace command_line {

// Offers every option to the handlers (an option nobody takes shows "unknown
// commandline parameter: " + option) and resolves every other token against
// `directory`, handing the paths to the current handler or appending them
// to `items`. Answers whether the user interface should come to the front:
// when items were found, or when a second start handed over nothing but the
// program name (`is_own` false).
bool run(const char* text, bool is_own, const char* directory, command_line_items& items);

// run(), then brings the user interface to the front and opens the items in
// its main window. Does nothing while the service registry is not ready.
void process(const char* text, bool is_own, const char* directory);

}  // namespace command_line
