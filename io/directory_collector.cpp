#include "io/directory_collector.h"

#include "io/path_schemes.h"

namespace vantrel_io {

bool directory_collector::on_entry(const char* path, bool is_directory, const file_stats& stats,
                                   const abort_signal& abort) {
  abort.check_and_throw();
  if (is_directory) {
    if (recursive_) list_directory(path, *this, abort);
  } else {
    entries_.append(directory_entry_ref(new directory_entry(path, stats)));
  }
  return true;
}

}  // namespace vantrel_io
