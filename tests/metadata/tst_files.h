// Files of the test-only ".tst" format in a scratch folder, and what the
// tests ask of their tracks' handles.
#pragma once

#include <string>

#include "metadata/field_name_set.h"
#include "metadata/track_handle_registry.h"
#include "tests/io/io_test_support.h"

namespace metadata_test {

class tst_files {
public:
  // Writes the file and answers its "file://" path.
  std::string write(const std::string& name, const std::string& content) {
    io_test::write_file(folder.path(name), content);
    return folder.file_url(name);
  }
  std::string read(const std::string& name) const { return io_test::read_file(folder.path(name)); }

  io_test::scratch_folder folder;
};

inline track_handle_ptr handle(const std::string& path, std::uint32_t subsong) {
  return track_handle_registry::get_handle(track_location(path.c_str(), subsong));
}

// The cached title, or "<none>" when the handle has no info.
inline std::string cached_title(const track_handle_ptr& h) {
  track_display_info record;
  if (!h->get_info(record)) return "<none>";
  return record.get(field_name_set::title);
}

}  // namespace metadata_test
