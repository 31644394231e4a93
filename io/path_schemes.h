// Routing a path to the scheme handler that claims it. Every call walks the
// registered handlers afresh, in registry order, and keeps no state.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "foundation/string_object.h"
#include "io/file_object.h"
#include "io/scheme_handler.h"

namespace vantrel_io {

// The first handler that claims the path; false when none does.
bool find_scheme_handler(const char* path, scheme_handler_ptr& out);
// As find_scheme_handler; no handler is exception_io_no_handler_for_path.
scheme_handler_ptr get_scheme_handler(const char* path);

// The first handler's canonical form; a path that none claims stays as it is.
void canonicalize_path(const char* path, qiv::string_object& out);
// The form shown to users: the handler's, or the path unchanged when no
// handler claims it or the handler has none.
void get_display_path(qiv::string_object& out, const char* path);

void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort);
// Opens a file that is read or written briefly, in a few places (the info
// reads of the library scanner and the metadata operations, tag writes): a
// "file://" path goes to native_open_local, any other as open does.
void open_for_brief_access(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort);
inline void open_for_brief_read(file_ptr& out, const char* path, const abort_signal& abort) {
  open_for_brief_access(out, path, open_mode::read, abort);
}
// Creates or truncates; a sharing violation is passed on at once.
void create_file(const char* path, file_ptr& out, const abort_signal& abort);

void get_stats(const char* path, file_stats& out, bool& writable, const abort_signal& abort);
// False for exception_io_not_found; other failures pass.
bool exists(const char* path, const abort_signal& abort);
void remove(const char* path, const abort_signal& abort);
// A move never crosses schemes: one handler must claim both paths, else
// exception_io_no_handler_for_path.
void move(const char* from, const char* to, const abort_signal& abort);
void create_directory(const char* path, const abort_signal& abort);
void list_directory(const char* path, directory_callback& callback, const abort_signal& abort);
// A path that no handler claims counts as remote.
bool is_remote(const char* path);

// Retried every 0.01 s while another program holds the file (a sharing
// violation), until `timeout_seconds` have passed; an abort ends the wait at
// once, every other failure passes at once.
void open_retrying(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort, double timeout_seconds);
void remove_retrying(const char* path, const abort_signal& abort, double timeout_seconds);
// Retries for up to 300 seconds.
void move_retrying(const char* from, const char* to, const abort_signal& abort);

// When `path` begins with exactly "file://" (case-sensitive), advances it past
// the prefix and answers true.
bool strip_file_scheme(const char*& path);
// The native path of a "file://" path; false for any other scheme.
bool file_url_to_native(const char* path, qiv::string_object& out);
// As file_url_to_native, in the "\\?\" long form unless the native path is a
// network path ("\\server\share"), which keeps its form.
bool file_url_to_long_path(const char* path, qiv::string_object& out);

}  // namespace vantrel_io
