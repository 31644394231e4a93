#include "inputs/mp4/movie_box_write.h"

#include <optional>

#include "inputs/mp4/mp4_stream_adapter.h"
#include "io/after_tags_switch.h"
#include "io/file_copy.h"
#include "io/retag_through_temp_file.h"

namespace tarnex {

namespace {

bool write_through_copy(movie_box_rewrite& rewrite, vantrel_io::file_ptr& file, retag_through_temp_file& temp,
                        const abort_signal& abort) {
  vantrel_io::file_ptr copy;
  if (!temp.open_temp(copy, abort)) return false;
  vantrel_io::copy_whole_file(*file, *copy, abort);
  {
    mp4_stream_adapter out(copy, never_raised_abort_signal(), file_readers::after_replacement);
    rewrite.write(out);
  }
  copy.reset();
  temp.commit(file, abort);
  return true;
}

}  // namespace

void write_movie_box(movie_box_rewrite& rewrite, vantrel_io::file_ptr& file, const char* path,
                     const abort_signal& abort) {
  // Made whichever way the write goes: making it clears the temporary file
  // a killed rewrite of this file left beside it.
  std::optional<retag_through_temp_file> temp;
  if (*path != '\0') temp.emplace(path);
  // A file in memory has no reader to see it half written.
  if (!rewrite.safe_in_place() && !file->is_memory_backed()) {
    if (temp && write_through_copy(rewrite, file, *temp, abort)) return;
    throw exception_no_safe_rewrite();
  }
  abort.check_and_throw();
  mp4_stream_adapter io(file, never_raised_abort_signal());
  try {
    rewrite.write(io);
  } catch (...) {
    if (rewrite.switched()) vantrel_io::rethrow_after_tags_switch();
    throw;
  }
}

}  // namespace tarnex
