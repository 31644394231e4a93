#include "io/io_exceptions.h"

#include <cstring>

#include "core/localized_text.h"

namespace vantrel_io {

namespace {

struct english_entry {
  const char* id;
  const char* text;
};

// What users read when no language is loaded or the language lacks an id.
constexpr english_entry english_texts[] = {
    {"exception_io", "I/O error"},
    {"exception_io_data", "Unsupported format or corrupted file"},
    {"exception_io_unsupported_format", "Unsupported file format"},
    {"exception_io_not_found", "Object not found"},
    {"exception_io_denied", "Access denied"},
    {"exception_io_write_protected", "The media is write protected"},
    {"exception_io_sharing_violation", "File is already in use"},
    {"exception_io_device_full", "Device full"},
    {"exception_io_file_corrupted", "The file is corrupted"},
    {"exception_io_already_exists", "Object already exists"},
    {"exception_io_directory_not_empty", "Directory not empty"},
    {"exception_io_name_too_long", "File name is too long"},
    {"exception_io_no_handler_for_path", "Invalid path"},
    {"exception_io_no_length", "Unknown length"},
    {"exception_io_object_not_seekable", "Object is not seekable"},
    {"exception_io_seek_out_of_range", "Seek offset out of range"},
    {"exception_io_object_is_remote", "This operation is not supported on remote objects"},
    {"exception_io_with_code", "I/O error #{code}"},
    {"exception_io_after_tags_written", "The new tags were written, but a later step failed: {error}"},
};

io_message message_with_code(std::uint32_t code) {
  io_message message("exception_io_with_code");
  qiv::string_buffer decimal;
  decimal.add_uint(code);
  message.fill_placeholder("code", decimal.get_ptr());
  return message;
}

io_message message_after_tags_written(const char* cause) {
  io_message message("exception_io_after_tags_written");
  message.fill_placeholder("error", cause);
  return message;
}

}  // namespace

const char* english_io_text(const char* id) noexcept {
  for (const english_entry& entry : english_texts) {
    if (std::strcmp(entry.id, id) == 0) return entry.text;
  }
  return nullptr;
}

io_message::io_message(const char* id) : io_message(id, english_io_text(id)) {}

io_message::io_message(const char* id, const char* english) {
  localized_text::get_or(id, english, text_);
}

void io_message::fill_placeholder(const char* name, const char* value) {
  qiv::string_buffer token("{");
  token.add_string(name);
  token.add_string("}");
  const char* text = text_.get_ptr();
  const char* found = std::strstr(text, token.get_ptr());
  if (found == nullptr) return;
  qiv::string_buffer result(text, static_cast<std::size_t>(found - text));
  result.add_string(value);
  result.add_string(found + token.get_length());
  text_ = std::move(result);
}

exception_io make_exception_io() { return exception_io(qiv::copy_message, io_message("exception_io").c_str()); }

exception_io_after_tags_written::exception_io_after_tags_written(const char* cause)
    : exception_io_with_text(message_after_tags_written(cause)) {}

exception_io_win32_ex::exception_io_win32_ex(std::uint32_t code) : exception_io_win32(message_with_code(code)) {}

void throw_io() { throw make_exception_io(); }
void throw_io_not_found() { throw exception_io_not_found(); }
void throw_io_denied() { throw exception_io_denied(); }
void throw_io_seek_out_of_range() { throw exception_io_seek_out_of_range(); }
void throw_io_no_handler_for_path() { throw exception_io_no_handler_for_path(); }
void throw_exception_io_no_length() { throw exception_io_no_length(); }
void throw_exception_io_object_not_seekable() { throw exception_io_object_not_seekable(); }
void throw_io_data() { throw exception_io_data(); }

}  // namespace vantrel_io
