#include "metadata/input_file_access.h"

#include "io/io_exceptions.h"
#include "io/path_schemes.h"

namespace vantrel_io {

void open_for_reading(file_ptr& out, const char* path, const abort_signal& abort) {
  open_retrying(out, path, open_mode::read, abort, input_open_timeout_seconds);
}

void open_for_writing(file_ptr& out, const char* path, const abort_signal& abort) {
  open_retrying(out, path, open_mode::write_existing, abort, input_open_timeout_seconds);
}

void seek_checked(file_object& file, std::uint64_t position, const abort_signal& abort) {
  try {
    file.seek(position, abort);
  } catch (const exception_io_seek_out_of_range&) {
    throw exception_io_data();
  }
}

}  // namespace vantrel_io
