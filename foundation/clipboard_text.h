// Plain text on the clipboard, as Unicode text (CF_UNICODETEXT). Used on the
// main thread.
#pragma once

#include <windows.h>

#include "foundation/string_object.h"

// False when another program holds the clipboard open. Throws std::bad_alloc
// when the clipboard's memory cannot be allocated, and exception_bug_check
// when Windows refuses the data.
bool set_clipboard_text_utf8(const char* text);

// False when the clipboard cannot be opened, holds no Unicode text, or its
// memory cannot be read.
bool get_clipboard_text_utf8(qiv::string_object& output);

// The Unicode text of a global memory block (clipboard data), up to its
// terminator or the end of the block. False when the block cannot be locked,
// as when its memory was discarded.
bool get_global_text_utf8(HGLOBAL memory, qiv::string_object& output);
