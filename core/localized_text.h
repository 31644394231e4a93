// The texts the user sees, looked up by id in the current language's table.
//
// The table is filled once during start-up (io/localization.h) and only read
// afterwards, from any thread and without a lock. A missing id reads as the
// empty text, so a language that lacks a text never breaks the window that
// shows it.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/avl_tree.h"
#include "foundation/string_object.h"
#include "foundation/string_small.h"
#include "foundation/wide_buffer.h"

// Ids to texts, ordered byte by byte (case-sensitive). Movable, so that a
// loader can build one aside and hand it over whole.
class language_table {
public:
  language_table();
  language_table(language_table&& other) noexcept;
  language_table& operator=(language_table&& other) noexcept;
  ~language_table();

  // Adds the id or replaces its text.
  void set(const char* id, const char* text);
  // The text of the id, or null when the id is missing.
  const char* find(const char* id) const;
  std::uint32_t count() const;
  void clear();

private:
  using text_map = qiv::avl_map<qiv::string_small, qiv::string_small, qiv::text_order>;
  std::unique_ptr<text_map> texts_;
};

// The process's table; empty until the language is loaded.
const language_table& current_language_table();
// Replaces the process's table. Start-up only, before any other thread runs.
void install_language_table(language_table&& table);

// The translator's credit line for the about box; empty when none.
const char* localization_credits();
void set_localization_credits(const char* text);

// The text of an id in the process's table, or null when it is missing.
const char* localized_text_find(const char* id);
// The text of an id; the shared empty text when it is missing. The pointer
// stays valid as long as the table, that is for the rest of the process.
const char* localized_text_get(const char* id);

// Placeholder values for localized_text_format, keyed by name.
using localized_values = qiv::avl_map<qiv::string_small, qiv::string_small, qiv::text_order>;

// Sets `output` to the text of `id` with every "{name}" replaced by its value
// and answers true. Answers false and leaves `output` alone when the id is
// missing, a "{" is never closed or a name has no value, so that callers can
// preset a fallback text.
bool localized_text_format(const char* id, const localized_values& values, qiv::string_object& output);

namespace localized_text {

const char* get(const char* id);
// Sets `output` to the text of `id` and answers true; the empty text and
// false when there is none (missing id, empty text, or a null id), so that
// callers with a text of their own can fall back to it.
bool get(const char* id, qiv::string_object& output);
// The text of `id`, or `fallback` (the English text) when the table has none;
// a null fallback leaves `output` empty.
void get_or(const char* id, const char* fallback, qiv::string_object& output);
// The text as UTF-16 for Win32 calls; empty when missing.
qiv::wide_buffer to_wide(const char* id);

// Edit the process's table directly: for tests and for code that runs before
// a language is loaded.
void set(const char* id, const char* text);
void clear();

}  // namespace localized_text
