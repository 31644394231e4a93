// Readable texts for Win32 error codes, and the exceptions that carry a
// Win32 code or an HRESULT.
#pragma once

#include <cstdint>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/string_small.h"

namespace qiv {

// Sets `out` to the text of the code and answers true; answers false and
// leaves `out` alone when there is none. Line breaks of the system text
// become spaces, so the text fits in one line of a message.
bool format_win32_error(std::uint32_t code, string_object& out);

// The text for users: "Undefined error" for 0, "Unknown error code (n)" for
// a code without text. The thread's last-error value is left as it was, so a
// caller may build the text between its failed call and GetLastError.
string_small win32_error_text_keep_last_error(std::uint32_t code);

// The text (or "Unknown error code") followed by " (0x" + eight upper-case
// hexadecimal digits + ")".
string_buffer win32_error_text(std::uint32_t code);

// Appends " (0x" + eight upper-case hexadecimal digits + ")".
void format_error_code_suffix(std::uint32_t code, string_object& out);

} // namespace qiv

// A failed Win32 call; the message is the readable text of its code.
class exception_win32 : public qiv::exception_with_message {
public:
  explicit exception_win32(std::uint32_t code);
  // For the few callers whose message is set by their own rules.
  exception_win32(std::uint32_t code, const char* message);
  std::uint32_t code() const noexcept { return code_; }

private:
  std::uint32_t code_;
};

// A failed COM call (an HRESULT or a Win32 code); the message ends with the
// code in hexadecimal, as users quote it.
class exception_com : public qiv::exception_with_message {
public:
  explicit exception_com(std::uint32_t code);
  // For codes whose callers word the failure themselves.
  exception_com(std::uint32_t code, const char* static_text) noexcept
      : exception_with_message(static_text), code_(code) {}
  std::uint32_t code() const noexcept { return code_; }

private:
  std::uint32_t code_;
};

// COM could not be initialised on the calling thread: "CoInitialize() failed".
[[noreturn]] void throw_coinitialize_failed();
