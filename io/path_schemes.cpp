#include "io/path_schemes.h"

#include <cstring>

#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"

namespace vantrel_io {

namespace {

constexpr char file_scheme_prefix[] = "file://";
constexpr std::size_t file_scheme_length = sizeof file_scheme_prefix - 1;

// Walks the registered handlers in registry order until `visit` answers true.
template <class Visit>
bool first_handler(Visit visit) {
  service_enumerator walk(service_registry::find_class(scheme_handler::class_guid));
  service_handle handle;
  while (walk.next(handle)) {
    scheme_handler_ptr handler(static_cast<scheme_handler*>(handle.get()));
    if (visit(handler)) return true;
  }
  return false;
}

}  // namespace

bool find_scheme_handler(const char* path, scheme_handler_ptr& out) {
  return first_handler([&](const scheme_handler_ptr& handler) {
    if (!handler->claims_path(path)) return false;
    out = handler;
    return true;
  });
}

scheme_handler_ptr get_scheme_handler(const char* path) {
  scheme_handler_ptr handler;
  if (!find_scheme_handler(path, handler)) throw_io_no_handler_for_path();
  return handler;
}

void canonicalize_path(const char* path, qiv::string_object& out) {
  qiv::string_buffer result;
  const bool done = first_handler([&](const scheme_handler_ptr& handler) { return handler->canonicalize_path(path, result); });
  out.set_string(done ? result.get_ptr() : path);
}

void get_display_path(qiv::string_object& out, const char* path) {
  scheme_handler_ptr handler;
  qiv::string_buffer shown;
  if (find_scheme_handler(path, handler) && handler->display_path(path, shown)) {
    out.set_string(shown.get_ptr());
  } else {
    out.set_string(path);
  }
}

void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) {
  get_scheme_handler(path)->open(out, path, mode, abort);
}

void open_for_brief_access(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) {
  if (std::strncmp(path, file_scheme_prefix, file_scheme_length) == 0) native_open_local(out, path, mode, abort);
  else open(out, path, mode, abort);
}

void create_file(const char* path, file_ptr& out, const abort_signal& abort) {
  out.reset();
  open_retrying(out, path, open_mode::write_new, abort, 0);
}

void get_stats(const char* path, file_stats& out, bool& writable, const abort_signal& abort) {
  get_scheme_handler(path)->read_stats(path, out, writable, abort);
}

bool exists(const char* path, const abort_signal& abort) {
  file_stats stats;
  bool writable = false;
  try {
    get_stats(path, stats, writable, abort);
  } catch (const exception_io_not_found&) {
    return false;
  }
  return true;
}

void remove(const char* path, const abort_signal& abort) { get_scheme_handler(path)->remove(path, abort); }

void move(const char* from, const char* to, const abort_signal& abort) {
  scheme_handler_ptr chosen;
  first_handler([&](const scheme_handler_ptr& handler) {
    if (!handler->claims_path(from) || !handler->claims_path(to)) return false;
    chosen = handler;
    return true;
  });
  if (!chosen) throw_io_no_handler_for_path();
  chosen->move(from, to, abort);
}

void create_directory(const char* path, const abort_signal& abort) {
  get_scheme_handler(path)->create_directory(path, abort);
}

void list_directory(const char* path, directory_callback& callback, const abort_signal& abort) {
  get_scheme_handler(path)->list_directory(path, callback, abort);
}

bool is_remote(const char* path) {
  scheme_handler_ptr handler;
  if (!find_scheme_handler(path, handler)) return true;
  return handler->is_remote(path);
}

bool strip_file_scheme(const char*& path) {
  if (std::strncmp(path, file_scheme_prefix, file_scheme_length) != 0) return false;
  path += file_scheme_length;
  return true;
}

bool file_url_to_native(const char* path, qiv::string_object& out) {
  if (!strip_file_scheme(path)) return false;
  out.set_string(path);
  return true;
}

bool file_url_to_long_path(const char* path, qiv::string_object& out) {
  if (!strip_file_scheme(path)) return false;
  if (path[0] == '\\' && path[1] == '\\') {
    out.set_string(path);
  } else {
    out.set_string("\\\\?\\");
    out.add_string(path);
  }
  return true;
}

}  // namespace vantrel_io
