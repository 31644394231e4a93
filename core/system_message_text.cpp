#include "core/system_message_text.h"

#include <windows.h>

#include "foundation/win32_text.h"

namespace {

constexpr DWORD message_units = 512;

bool is_blank_unit(wchar_t unit) { return unit == L'\t' || unit == L'\n' || unit == L'\r' || unit == L' '; }

}  // namespace

void system_message_to_line(const wchar_t* units, std::size_t max_units, qiv::string_object& output) {
  wchar_t line[message_units];
  std::size_t length = 0;
  std::size_t kept = 0;  // up to the last unit that is not blank
  for (; length < max_units && length < message_units && units[length] != L'\0'; ++length) {
    const wchar_t unit = units[length];
    line[length] = is_blank_unit(unit) ? L' ' : unit;
    if (!is_blank_unit(unit)) kept = length + 1;
  }
  wide_to_utf8(line, kept, output);
}

bool format_system_message_utf8(qiv::string_object& output, std::uint32_t code) {
  wchar_t message[message_units] = {};
  // Inserts are left as they stand: no arguments are passed, and a message
  // with "%1" must not make the system read any.
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (FormatMessageW(flags, nullptr, code, 0, message, message_units, nullptr) == 0) return false;
  system_message_to_line(message, message_units, output);
  return true;
}
