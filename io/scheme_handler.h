// A file system for one kind of path. Every path of the system carries a
// scheme prefix ("file://", "tempfile://", "tempmem://"); the handler that
// claims a path opens, lists, moves and removes what it names. Handlers are
// static services; the dispatch in io/path_schemes.h finds the one for a path.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "foundation/string_object.h"
#include "io/file_object.h"

namespace vantrel_io {

// Receives the entries of a folder listing.
class directory_callback {
public:
  // `path` carries the scheme. A folder comes with the flag set and stats of
  // unknown size and time. Answer false to end the listing.
  virtual bool on_entry(const char* path, bool is_directory, const file_stats& stats, const abort_signal& abort) = 0;

protected:
  ~directory_callback() = default;
};

class scheme_handler : public service_object {
public:
  static constexpr GUID class_guid = {0x2FBCE1E5, 0x902E, 0x49E0, {0xB9, 0xCF, 0xCE, 0x0F, 0xBA, 0x76, 0x53, 0x48}};
  using service_parent = service_object;

  // The canonical form of a path this handler understands; false otherwise.
  virtual bool canonicalize_path(const char* path, qiv::string_object& out) = 0;
  virtual bool claims_path(const char* path) = 0;
  // The form shown to users; false when the handler has none for the path.
  virtual bool display_path(const char* path, qiv::string_object& out) = 0;
  // `out` receives the open file.
  virtual void open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) = 0;
  virtual void remove(const char* path, const abort_signal& abort) = 0;
  // An existing target is not replaced.
  virtual void move(const char* from, const char* to, const abort_signal& abort) = 0;
  virtual bool is_remote(const char* path) = 0;
  // `writable`: the object may be written (not marked read-only).
  virtual void read_stats(const char* path, file_stats& out, bool& writable, const abort_signal& abort) = 0;
  virtual bool make_relative_path(const char* path, const char* base, qiv::string_object& out) = 0;
  virtual bool resolve_relative_path(const char* relative, const char* base, qiv::string_object& out) = 0;
  virtual void create_directory(const char* path, const abort_signal& abort) = 0;
  virtual void list_directory(const char* path, directory_callback& callback, const abort_signal& abort) = 0;
  // True when files of this scheme must be opened before a decoder is chosen,
  // so that their MIME type can decide.
  virtual bool wants_open_for_type() = 0;

protected:
  ~scheme_handler() = default;
};

using scheme_handler_ptr = service_ptr<scheme_handler>;

}  // namespace vantrel_io
