#include "foundation/win32_error.h"

#include <windows.h>

#include "foundation/decimal_text.h"
#include "foundation/last_error_restorer.h"
#include "foundation/utf8.h"

namespace qiv {

namespace {

// Texts the system table lacks on some Windows versions.
const char* fixed_error_text(std::uint32_t code) {
  switch (code) {
    case 129: return "Application cannot be run in Win32 mode.";
    case 182: return "Invalid ordinal.";
    case 188: return "Invalid code segment.";
    case 189: return "Invalid stack segment.";
    case 190: return "Invalid module type.";
    case 191: return "Invalid executable signature.";
    case 193: return "Not a valid Win32 application.";
    case 216: return "Machine type mismatch.";
    case 217:
    case 218: return "Unable to modify a signed binary.";
    default: return nullptr;
  }
}

constexpr DWORD message_units = 512;

} // namespace

bool format_win32_error(std::uint32_t code, string_object& out) {
  if (const char* text = fixed_error_text(code)) {
    out.set_string(text, until_nul);
    return true;
  }
  wchar_t message[message_units] = {};
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, message,
                     message_units, nullptr) == 0)
    return false;
  for (wchar_t& unit : message)
    if (unit == L'\r' || unit == L'\n') unit = L' ';
  // Every unit becomes at most three bytes (a pair of units four).
  char utf8[message_units * 3 + 1];
  const std::size_t length = convert_wide_to_utf8(utf8, sizeof utf8, message, message_units);
  out.set_string(utf8, length);
  return true;
}

string_small win32_error_text_keep_last_error(std::uint32_t code) {
  const last_error_restorer keep_last_error;
  string_small text;
  if (code == 0) {
    text.set_string("Undefined error", until_nul);
  } else if (!format_win32_error(code, text)) {
    text.set_string("Unknown error code (", until_nul);
    format_uint64(text, code);
    text.add_string(")", until_nul);
  }
  return text;
}

string_buffer win32_error_text(std::uint32_t code) {
  string_buffer text;
  if (!format_win32_error(code, text)) text.set_string("Unknown error code", until_nul);
  format_error_code_suffix(code, text);
  return text;
}

void format_error_code_suffix(std::uint32_t code, string_object& out) {
  static constexpr char hex_digits[] = "0123456789ABCDEF";
  char suffix[] = " (0x00000000)";
  for (int i = 0; i < 8; ++i) suffix[4 + i] = hex_digits[(code >> (28 - 4 * i)) & 0xF];
  out.add_string(suffix, until_nul);
}

} // namespace qiv

exception_win32::exception_win32(std::uint32_t code)
    : exception_with_message(qiv::copy_message, qiv::win32_error_text_keep_last_error(code).get_ptr()), code_(code) {}

exception_win32::exception_win32(std::uint32_t code, const char* message)
    : exception_with_message(qiv::copy_message, message), code_(code) {}

exception_com::exception_com(std::uint32_t code)
    : exception_with_message(qiv::copy_message, qiv::win32_error_text(code).get_ptr()), code_(code) {}

void throw_coinitialize_failed() { throw qiv::exception_with_message("CoInitialize() failed"); }
