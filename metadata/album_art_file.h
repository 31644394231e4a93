// A file opened to read or edit its embedded pictures. Each format that keeps
// pictures (Ogg comments, Matroska attachments) derives from it and supplies
// the loading; editing formats later rewrite the remembered path.
#pragma once

#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "metadata/album_art_data.h"

class album_art_file {
public:
  virtual ~album_art_file() = default;

  // Opens `path` itself when no file is given: with write access for
  // editing. A file without pictures, opened for reading, is
  // exception_album_art_not_found; for editing it is simply empty.
  void open(vantrel_io::file_ptr file, const char* path, bool for_editing, const abort_signal& abort);

  const album_art_map& pictures() const noexcept { return pictures_; }
  bool is_modified() const noexcept { return modified_; }

protected:
  virtual void load(vantrel_io::file_object& file, album_art_map& out, const abort_signal& abort) = 0;

  album_art_map pictures_;
  bool modified_ = false;
  vantrel_io::file_ptr file_;  // held while editing
  std::string path_;           // the file a rewrite replaces
};
