// Whole fields (names and every track's values) on the clipboard, in the
// program's private format, so that they can be pasted into another
// properties dialog of this or another instance of the player.
//
// The block: u32 field count, then per field u32 track count N, u32 name
// length and the UTF-8 name, then N track entries of u32 value count and per
// value u32 length and the UTF-8 bytes; little-endian, no padding.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "properties/edited_field.h"

// Registered on first use; exception_win32 when Windows refuses.
UINT field_clipboard_format();

std::string serialize_fields(const edited_field_list& fields);
// False, and `out` empty, when the block ends inside a record. Bytes after
// the last record are ignored (clipboard blocks come rounded up). Fields
// whose names no tag could hold are left out: any program can put a block
// on the clipboard.
bool parse_fields(const void* block, std::size_t size, edited_field_list& out);

// On the clipboard the caller opened (and emptied).
void write_field_clipboard(const edited_field_list& fields);
bool read_field_clipboard(edited_field_list& out);
