// The operating system's own message for a Win32 code, as one line of UTF-8.
// The language loader uses it for the I/O error texts that a language file
// leaves out, so users still read a text in their system's language.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/string_object.h"

// Sets `output` and answers true; false, with `output` untouched, when the
// system has no message for the code.
bool format_system_message_utf8(qiv::string_object& output, std::uint32_t code);

// The message text as one line: tabs, line feeds, carriage returns and blanks
// become blanks and those at the end are dropped. Reads up to the first unit 0
// or `max_units`.
void system_message_to_line(const wchar_t* units, std::size_t max_units, qiv::string_object& output);
