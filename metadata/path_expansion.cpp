#include "metadata/path_expansion.h"

#include <algorithm>
#include <vector>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "io/directory_collector.h"
#include "io/io_exceptions.h"
#include "io/native_operations.h"
#include "io/path_schemes.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"

namespace path_expansion {

namespace {

void read_file(const char* path, location_sink& sink, const abort_signal& abort, bool& found) {
  if (vantrel_io::is_remote(path)) {
    // Reading a remote file would stall the walk: take it unread.
    track_handle_ptr handle;
    sink.make_handle(handle, track_location(path, 0));
    sink.add(handle, vantrel_io::file_stats{}, true);
    found = true;
    return;
  }
  info_reader_ptr reader;
  input_dispatch::open_info_reader_by_value(reader, {}, path, abort);
  const vantrel_io::file_stats stats = reader->get_file_stats(abort);
  const std::uint32_t count = reader->get_subsong_count();
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::uint32_t subsong = reader->get_subsong(index);
    track_handle_ptr handle;
    sink.make_handle(handle, track_location(path, subsong));
    if (sink.wants_info(handle, stats, true)) {
      track_info_impl info;
      reader->get_info(subsong, info, abort);
      sink.add_with_info(handle, stats, info, true);
    } else {
      sink.add(handle, stats, true);
    }
    found = true;
  }
}

bool is_local_folder(const char* path) {
  const char* native = path;
  return vantrel_io::strip_file_scheme(native) && vantrel_io::native_is_directory(path);
}

// False when the path is not a folder that can be listed.
bool list_folder(const char* path, vantrel_io::directory_collector& collector, const abort_signal& abort) {
  try {
    vantrel_io::list_directory(path, collector, abort);
    return true;
  } catch (const vantrel_io::exception_io&) {
    // A path that lists nothing at all is a file; a folder that failed part
    // way (a subfolder out of reach), or could not be listed at all, is still
    // a folder and reports why instead of being opened as a file.
    if (collector.get_entries().is_empty() && !is_local_folder(path)) return false;
    throw;
  }
}

}  // namespace

void expand(const char* path, location_sink& sink, const abort_signal& abort, bool& found) {
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(path, canonical);
  abort.check_and_throw();
  sink.on_path(canonical.get_ptr());

  vantrel_io::directory_collector collector(true);
  if (vantrel_io::is_remote(canonical.get_ptr()) || !list_folder(canonical.get_ptr(), collector, abort)) {
    read_file(canonical.get_ptr(), sink, abort, found);
    return;
  }

  std::vector<vantrel_io::directory_entry*> files;
  for (const auto& entry : collector.get_entries()) files.push_back(entry.get());
  std::stable_sort(files.begin(), files.end(), [](const auto* a, const auto* b) {
    return qiv::compare_nocase(a->get_path(), b->get_path()) < 0;
  });
  for (const auto* entry : files) {
    abort.check_and_throw();
    if (!sink.wants_file(entry->get_path(), true)) continue;
    try {
      read_file(entry->get_path(), sink, abort, found);
    } catch (const vantrel_io::exception_io_data&) {
      // Unsupported or damaged: a folder holds covers, playlists and the
      // odd broken file, none of which should cost the user the rest.
    } catch (const vantrel_io::exception_io_file_corrupted&) {
      // Damaged on disk: passed over in the same way.
    }
  }
}

}  // namespace path_expansion
