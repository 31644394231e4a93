// Loading the language: the user's override file "zorv-language.xml" in the
// profile folder, else one of the twelve tables built into the executable,
// chosen by the user's UI language. The result fills the process's language
// table (core/localized_text.h) once, during start-up.
//
// A language file is XML: a "localization" root holding "entry" elements
// with the attributes "id" and "text", and optionally a "copyright" element
// whose text credits the translator.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/localized_text.h"
#include "foundation/string_buffer.h"

// The largest override file that is read.
inline constexpr std::uint64_t localization_override_max_size = 0x100000;

// The resource type of the built-in tables and the table every language
// falls back to.
inline constexpr char localization_resource_type[] = "TEXT";
inline constexpr std::uint16_t localization_english_resource = 293;

// One loading pass: what a language file gave so far.
struct localization_loader {
  bool root_seen = false;
  qiv::string_buffer credits;
  language_table table;
};

// Start-up step: fills the process's language table and credits. `language_id`
// is the value of "/lang", 0 when it was not given; only then is the
// override file read. Ids that the file leaves out among the I/O error texts
// get the operating system's message. A broken built-in table is reported
// in a message box and ends start-up (exception_shutdownrequest).
void localization_load(std::uint32_t language_id);

// Reads the profile's override file into the loader. False when it is
// missing, unreadable, larger than the limit, malformed or without a
// "localization" root; the loader is then emptied.
bool localization_load_override(localization_loader& loader);
// The same for a file at `path`.
bool localization_load_override_file(localization_loader& loader, const char* path);

// Reads the built-in table for the language (0: the user's UI language) from
// `module`, falling back to English when that table is missing. Throws
// vantrel_io::exception_io_data when the table is broken; a module without
// the English table is a fatal internal error.
void localization_load_builtin(localization_loader& loader, std::uint32_t language_id,
                               HMODULE module = nullptr);

// The resource id of the built-in table for a Windows language id.
std::uint16_t localization_builtin_resource(std::uint32_t language_id);

// Parses one language file into the loader.
void localization_parse(localization_loader& loader, const char* data, std::size_t size);

// Adds the operating system's message for each of the I/O error ids that the
// loader's table lacks.
void localization_add_system_texts(localization_loader& loader);
