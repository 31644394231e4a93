// The services through which the rest of the system reads and edits the
// pictures embedded in a file. A format that keeps pictures registers a
// reader and, when it can write them, a writer; each open hands out a counted
// object over one file.
#pragma once

#include <windows.h>

#include "core/abort_signal.h"
#include "core/service_object.h"
#include "io/file_object.h"
#include "metadata/album_art_data.h"

class album_art_extractor_instance : public service_object {
public:
  static constexpr GUID class_guid = {0x5B1F3C2A, 0x7E44, 0x4C19, {0x9A, 0x06, 0xD2, 0x3B, 0x81, 0x4F, 0x6C, 0x90}};
  using service_parent = service_object;

  // A type the file lacks is exception_album_art_not_found.
  virtual album_art_data_ptr query(const GUID& type, const abort_signal& abort) = 0;

protected:
  ~album_art_extractor_instance() = default;
};

// Changes stay in memory until commit writes them all into the file.
class album_art_editor_instance : public album_art_extractor_instance {
public:
  static constexpr GUID class_guid = {0xC4A7E913, 0x2D58, 0x4B6E, {0x8F, 0x31, 0x5E, 0x0C, 0x97, 0xA2, 0x44, 0x1D}};
  using service_parent = album_art_extractor_instance;

  virtual void set(const GUID& type, const album_art_data_ptr& picture, const abort_signal& abort) = 0;
  virtual void remove(const GUID& type) = 0;
  virtual void remove_all() = 0;
  virtual void commit(const abort_signal& abort) = 0;

protected:
  ~album_art_editor_instance() = default;
};

using album_art_extractor_ptr = service_ptr<album_art_extractor_instance>;
using album_art_editor_ptr = service_ptr<album_art_editor_instance>;

class album_art_reader : public service_object {
public:
  static constexpr GUID class_guid = {0xE19CA3D3, 0x6267, 0x4271, {0xB7, 0x89, 0x6A, 0x3F, 0x87, 0xFB, 0x3E, 0xBF}};
  using service_parent = service_object;

  virtual bool is_our_path(const char* path, const char* extension) = 0;
  // Opens `path` itself when no file is given.
  virtual void open(album_art_extractor_ptr& out, vantrel_io::file_ptr file, const char* path,
                    const abort_signal& abort) = 0;

protected:
  ~album_art_reader() = default;
};

class album_art_writer : public service_object {
public:
  static constexpr GUID class_guid = {0x36B34487, 0xD7B9, 0x4533, {0xA7, 0x3F, 0x39, 0x6E, 0x2D, 0x9F, 0x41, 0x5E}};
  using service_parent = service_object;

  virtual bool is_our_path(const char* path, const char* extension) = 0;
  // The object starts with the file's current pictures.
  virtual void open(album_art_editor_ptr& out, vantrel_io::file_ptr file, const char* path,
                    const abort_signal& abort) = 0;

protected:
  ~album_art_writer() = default;
};
