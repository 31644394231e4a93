// The pictures of one Ogg file as the album-art services hand them out: read
// from the first link's comment, edited in memory, and written back into
// that comment by commit.
#pragma once

#include "metadata/album_art_services.h"
#include "playback/inputs/ogg/ogg_album_art_file.h"

class exception_album_art_unsupported_entry : public vantrel_io::exception_io_data {
public:
  exception_album_art_unsupported_entry();
};

class ogg_album_art : public album_art_editor_instance, public ogg_album_art_file {
public:
  album_art_data_ptr query(const GUID& type, const abort_signal& abort) override;
  // A type without a picture-type number cannot be stored:
  // exception_album_art_unsupported_entry.
  void set(const GUID& type, const album_art_data_ptr& picture, const abort_signal& abort) override;
  void remove(const GUID& type) override;
  void remove_all() override;
  // Through a temporary file and a move when the object opened the file by
  // its path, else on the open file. Without an open file (a reader's
  // object) it is qiv::exception_not_implemented.
  void commit(const abort_signal& abort) override;

  static bool is_supported_type(const GUID& type);
};
