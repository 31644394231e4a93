#include "io/temp_schemes.h"

#include <cstring>

#include "core/service_factory.h"
#include "foundation/byte_compare.h"
#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/native_file.h"
#include "io/path_schemes.h"
#include "io/scheme_handler.h"

namespace vantrel_io {

namespace {

// What the two schemes share: their paths name nothing that lasts.
class temp_scheme_base : public scheme_handler {
public:
  explicit temp_scheme_base(const char* scheme, const char* display) : scheme_(scheme), display_(display) {}

  // Only the bare scheme, byte for byte: "TEMPFILE://" is somebody else's
  // path (although open would accept it).
  bool claims_path(const char* path) override { return std::strcmp(path, scheme_) == 0; }

  bool canonicalize_path(const char* path, qiv::string_object& out) override {
    if (!claims_path(path)) return false;
    out.set_string(path);
    return true;
  }

  bool display_path(const char* path, qiv::string_object& out) override {
    if (!claims_path(path)) return false;
    out.set_string(display_);
    return true;
  }

  void remove(const char*, const abort_signal&) override { throw_io_not_found(); }
  void move(const char*, const char*, const abort_signal&) override { throw_io_not_found(); }
  bool is_remote(const char*) override { return false; }
  void read_stats(const char*, file_stats&, bool&, const abort_signal&) override { throw_io_not_found(); }
  bool make_relative_path(const char*, const char*, qiv::string_object&) override { return false; }
  bool resolve_relative_path(const char*, const char*, qiv::string_object&) override { return false; }
  void create_directory(const char*, const abort_signal&) override { throw_io_not_found(); }
  void list_directory(const char*, directory_callback&, const abort_signal&) override { throw_io_not_found(); }
  bool wants_open_for_type() override { return false; }

private:
  const char* scheme_;
  const char* display_;
};

class temp_file_scheme : public temp_scheme_base {
public:
  temp_file_scheme() : temp_scheme_base(temp_file_path, "<temporary file>") {}

  void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) override {
    abort.check_and_throw();
    if (mode != open_mode::write_new) throw_io_denied();
    if (!qiv::stricmp_ascii_equal(path, temp_file_path)) throw_io();

    qiv::string_buffer folder, name;
    if (!get_temp_path_utf8(folder)) throw_last_io_error();
    // Unique number 0: the system picks a free name and creates the file.
    if (!get_temp_file_name_utf8(folder.get_ptr(), "omg", 0, name)) throw_last_io_error();
    open_created_temp_name(out, name.get_ptr());
  }
};

class temp_memory_scheme : public temp_scheme_base {
public:
  temp_memory_scheme() : temp_scheme_base(temp_memory_path, "<temporary memory space>") {}

  void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) override {
    if (mode != open_mode::write_new) throw_io();
    abort.check_and_throw();
    if (std::strcmp(path, temp_memory_path) != 0) throw_io();
    out = make_memory_file();
  }
};

service_factory_single_t<temp_file_scheme> temp_file_registration;
service_factory_single_t<temp_memory_scheme> temp_memory_registration;

}  // namespace

void open_created_temp_name(file_ptr& out, const char* name) {
  const HANDLE handle = create_file_utf8(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                         FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_OVERLAPPED);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // The name was created empty; without our handle nothing would ever
    // delete it.
    DeleteFileW(text_or_resource_id(name).get());
    throw_exception_io_from_win32(error);
  }
  // Scratch files are written and read back in large pieces by their users;
  // they get no read buffer.
  out = make_native_file(handle, true);
}

void open_temp_file(file_ptr& out, const abort_signal& abort) { open(out, temp_file_path, open_mode::write_new, abort); }

void open_temp_memory(file_ptr& out, const abort_signal& abort) {
  open(out, temp_memory_path, open_mode::write_new, abort);
}

void open_temp_memory_no_abort(file_ptr& out) { open_temp_memory(out, never_raised_abort_signal()); }

}  // namespace vantrel_io
