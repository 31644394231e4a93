// The I/O exception family. Callers catch by class, so the bases matter:
// catching exception_io_data also takes unsupported formats and the format
// errors of the tag and input code; catching exception_io_denied also takes
// write protection. exception_aborted stays outside the family (see
// core/io_exception_base.h).
//
// The message of each class is the localised text whose id is the class's
// short name, looked up when the exception is built; without a language (or
// when the language lacks the id) the English text comes out.
#pragma once

#include <cstdint>

#include "core/io_exception_base.h"
#include "foundation/string_buffer.h"

namespace vantrel_io {

// The text an I/O exception carries.
class io_message {
public:
  // The localised text of `id`, else the built-in English one, else empty.
  explicit io_message(const char* id);
  // For ids outside the file layer's own table: `english` when the current
  // language has no text for `id`.
  io_message(const char* id, const char* english);
  const char* c_str() const { return text_.get_ptr(); }
  // Replaces the first "{name}" in the text by `value`.
  void fill_placeholder(const char* name, const char* value);

private:
  qiv::string_buffer text_;
};

// The built-in English text of a file-layer id; null for an unknown id.
const char* english_io_text(const char* id) noexcept;

// A root exception_io with its localised "I/O error" text.
exception_io make_exception_io();

// Each class has a public constructor with its own text, and a protected one
// through which subclasses pass theirs.
#define VANTREL_IO_EXCEPTION_CLASS(name, base)                                  \
  class name : public base {                                                    \
  public:                                                                       \
    name() : name(io_message(#name)) {}                                         \
                                                                                \
  protected:                                                                    \
    explicit name(const io_message& message) : base(message) {}                 \
  };

// First-level classes derive from this: exception_io with the text that the
// level below passes on.
class exception_io_with_text : public exception_io {
protected:
  explicit exception_io_with_text(const io_message& message) : exception_io(qiv::copy_message, message.c_str()) {}
};

VANTREL_IO_EXCEPTION_CLASS(exception_io_data, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_unsupported_format, exception_io_data)
VANTREL_IO_EXCEPTION_CLASS(exception_io_not_found, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_denied, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_write_protected, exception_io_denied)
VANTREL_IO_EXCEPTION_CLASS(exception_io_sharing_violation, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_device_full, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_file_corrupted, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_already_exists, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_directory_not_empty, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_name_too_long, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_no_handler_for_path, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_no_length, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_object_not_seekable, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_seek_out_of_range, exception_io_with_text)
VANTREL_IO_EXCEPTION_CLASS(exception_io_object_is_remote, exception_io_with_text)

#undef VANTREL_IO_EXCEPTION_CLASS

// A failure after a file's new tags took effect: every reader already sees
// them, and what failed is a later step of the same write (tidying the room
// the old tags left, a flush). Callers take the write as done, refresh what
// they show from the file, and tell the user what failed after. It stays an
// exception_io so that a caller unaware of the difference still reports it.
class exception_io_after_tags_written : public exception_io_with_text {
public:
  // `cause` is the text of the failure that came after the switch.
  explicit exception_io_after_tags_written(const char* cause);
};

// A Win32 failure that no class above describes. Callers see it as
// exception_io; its text names the code ("I/O error #1117").
class exception_io_win32 : public exception_io_with_text {
protected:
  using exception_io_with_text::exception_io_with_text;
};

class exception_io_win32_ex : public exception_io_win32 {
public:
  explicit exception_io_win32_ex(std::uint32_t code);
};

[[noreturn]] void throw_io();
[[noreturn]] void throw_io_not_found();
[[noreturn]] void throw_io_denied();
[[noreturn]] void throw_io_seek_out_of_range();
[[noreturn]] void throw_io_no_handler_for_path();
[[noreturn]] void throw_exception_io_no_length();
[[noreturn]] void throw_exception_io_object_not_seekable();
[[noreturn]] void throw_io_data();

// Throws the class of the Win32 error code (io/win32_error_mapping.cpp).
[[noreturn]] void throw_exception_io_from_win32(std::uint32_t code);
// The same for GetLastError, read before anything can change it.
[[noreturn]] void throw_last_io_error();

}  // namespace vantrel_io
