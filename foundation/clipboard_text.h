// Plain text on the clipboard, as Unicode text (CF_UNICODETEXT). Used on the
// main thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "foundation/string_object.h"

// Puts a copy of the bytes on the clipboard that the caller opened (and
// emptied) in `format`. Throws std::bad_alloc when the clipboard memory
// cannot be had, and exception_win32 with the last error when Windows
// refuses the data (the memory is then freed).
void clipboard_set_data(UINT format, const void* bytes, std::size_t size);

// The text as CF_UNICODETEXT, terminator included, on the clipboard that the
// caller opened; throws as clipboard_set_data.
void clipboard_set_text(const char* text);

// The CF_UNICODETEXT of the clipboard that the caller opened; false when
// there is none or its memory cannot be read.
bool clipboard_get_text(qiv::string_object& output);

// Opens and empties the clipboard itself, then as clipboard_set_text.
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
