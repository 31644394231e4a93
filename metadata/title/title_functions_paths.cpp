// The pieces of a track's path: folders, file name and extension.
#include <cstdint>

#include "foundation/path_names.h"
#include "foundation/string_buffer.h"
#include "metadata/title/title_functions.h"

namespace {

// Offset of the last separator within the first `length` bytes, or -1.
std::ptrdiff_t last_separator(const char* path, std::size_t length) {
  for (std::size_t i = length; i > 0; --i)
    if (qiv::is_path_separator(path[i - 1])) return static_cast<std::ptrdiff_t>(i - 1);
  return -1;
}

}  // namespace

bool title_directory(title_call& call) {
  std::size_t count = call.arg_count();
  if (count != 1 && count != 2) return false;
  std::int32_t levels = 1;
  if (count == 2) levels = static_cast<std::int32_t>(call.eval_arg_int(1));
  if (levels < 1) return false;
  qiv::string_buffer path;
  bool truth = call.eval_arg(0, path);
  std::size_t end = path.get_length();
  for (std::int32_t i = 0; i < levels; ++i) {
    std::ptrdiff_t cut = last_separator(path.get_ptr(), end);
    if (cut < 0) return false;
    end = static_cast<std::size_t>(cut);
  }
  std::ptrdiff_t before = last_separator(path.get_ptr(), end);
  std::size_t begin = static_cast<std::size_t>(before + 1);
  call.output().add_string(path.get_ptr() + begin, end - begin);
  return truth;
}

bool title_directory_path(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer path;
  bool truth = call.eval_arg(0, path);
  std::ptrdiff_t cut = last_separator(path.get_ptr(), path.get_length());
  if (cut < 0) return false;
  call.output().add_string(path.get_ptr(), static_cast<std::size_t>(cut));
  return truth;
}

bool title_filename(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer path;
  bool truth = call.eval_arg(0, path);
  qiv::string_buffer name = qiv::string_filename(path.get_ptr());
  call.output().add_string(name.get_ptr(), name.get_length());
  return truth;
}

bool title_ext(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_buffer path;
  bool truth = call.eval_arg(0, path);
  char extension[qiv::extension_buffer_size];
  qiv::filename_extension_offset(path.get_ptr(), extension);
  call.output().add_string(extension);
  return truth && extension[0] != '\0';
}
