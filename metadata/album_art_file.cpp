#include "metadata/album_art_file.h"

#include "metadata/input_file_access.h"

void album_art_file::open(vantrel_io::file_ptr file, const char* path, bool for_editing, const abort_signal& abort) {
  modified_ = false;
  if (!file) {
    if (for_editing) {
      vantrel_io::open_for_writing(file, path, abort);
      path_ = path;
    } else {
      vantrel_io::open_for_reading(file, path, abort);
    }
  }
  load(*file, pictures_, abort);
  if (for_editing) {
    file_ = file;
  } else if (pictures_.count() == 0) {
    throw exception_album_art_not_found();
  }
}
