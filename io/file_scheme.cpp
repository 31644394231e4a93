#include "io/file_scheme.h"

#include <cstring>

#include "core/service_factory.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "io/native_file.h"
#include "io/native_operations.h"

namespace vantrel_io {

namespace {

constexpr char scheme[] = "file://";
constexpr std::size_t scheme_length = sizeof scheme - 1;

bool has_file_scheme(const char* path) { return std::strncmp(path, scheme, scheme_length) == 0; }

// The folder part of a path: up to and including its last separator.
std::size_t folder_part_length(const char* path) {
  std::size_t length = 0;
  for (std::size_t i = 0; path[i] != '\0'; ++i) {
    if (std::strchr("\\/|:", path[i]) != nullptr) length = i + 1;
  }
  return length;
}

class file_scheme : public scheme_handler {
public:
  bool canonicalize_path(const char* path, qiv::string_object& out) override {
    return native_canonicalize_path(path, out, false);
  }

  // Other schemes' paths hold '/' ("tempmem://") or '|' (paths inside
  // archives); a path with neither is a plain Windows path.
  bool claims_path(const char* path) override {
    return has_file_scheme(path) || std::strpbrk(path, "/|") == nullptr;
  }

  bool display_path(const char* path, qiv::string_object& out) override {
    if (!has_file_scheme(path)) return false;
    out.set_string(path + scheme_length);
    return true;
  }

  void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) override {
    abort.check_and_throw();
    native_open(out, path, mode, abort);
  }

  void remove(const char* path, const abort_signal& abort) override {
    abort.check_and_throw();
    native_remove(path);
  }

  void move(const char* from, const char* to, const abort_signal& abort) override {
    abort.check_and_throw();
    native_move(from, to);
  }

  bool is_remote(const char*) override { return false; }

  void read_stats(const char* path, file_stats& out, bool& writable, const abort_signal& abort) override {
    abort.check_and_throw();
    native_get_stats(path, out, writable);
  }

  bool make_relative_path(const char* path, const char* base, qiv::string_object& out) override {
    if (!has_file_scheme(path) || !has_file_scheme(base)) return false;
    const std::size_t folder = folder_part_length(base);
    if (std::strlen(path) < folder || !qiv::equals_nocase_n(path, qiv::string_buffer(base, folder).get_ptr(), folder))
      return false;
    out.set_string(scheme);
    out.add_string(path + folder);
    return true;
  }

  bool resolve_relative_path(const char* relative, const char* base, qiv::string_object& out) override {
    if (!has_file_scheme(relative)) return false;
    qiv::string_buffer result(base, folder_part_length(base));
    result.add_string(relative + scheme_length);
    out.set_string(result.get_ptr());
    return true;
  }

  void create_directory(const char* path, const abort_signal& abort) override {
    abort.check_and_throw();
    native_create_directory(path);
  }

  void list_directory(const char* path, directory_callback& callback, const abort_signal& abort) override {
    native_list_directory(path, callback, abort);
  }

  bool wants_open_for_type() override { return false; }
};

service_factory_single_t<file_scheme> file_scheme_registration;

}  // namespace

scheme_handler& file_scheme_handler() { return file_scheme_registration.get_static_instance(); }

}  // namespace vantrel_io
