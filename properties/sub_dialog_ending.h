// How a sub-dialog of the properties dialog (field editor, table edit,
// automatic filling, split values) ends: its window takes no more input
// while the completion takes the result, then goes. It goes also when the
// completion fails (memory running out as the result is taken for every
// track): a window left disabled would take no input ever again. The
// failure then passes on to the window's exception boundary.
#pragma once

#include <windows.h>

#include <cstdint>

#include "metadata/metadata_io.h"

void end_sub_dialog(HWND window, service_ptr<metadata_completion> completion, std::uint32_t result);
