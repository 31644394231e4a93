// The locations of a command line: file, folder and wildcard arguments,
// resolved against the current directory of the process that was started
// with them, and expanded into the paths that are opened.
#pragma once

#include "foundation/string_object.h"

namespace command_line {

// Makes a location token absolute against `directory` (the sender's current
// directory, with or without "file://"): a drive path stays as written (a
// bare drive gets its backslash), as does any text with a ':' and a network
// path; otherwise '/' becomes '\' and the text is put after the directory
// (only the drive of it for a text starting with '\'). A leading "\\?\" is
// dropped. Dot components are left for the file layer.
void resolve_location(const char* token, const char* directory, qiv::string_object& out);

// Receives each path an expansion produces.
class location_sink {
public:
  virtual void add(const char* path) = 0;

protected:
  ~location_sink() = default;
};

// Hands a resolved location to `sink`: a URL ("://") and a file as they are;
// a folder whole (trailing backslashes removed, a bare drive keeping its
// one) when `folders_whole`, else every file below it; a wildcard pattern as
// the entries of its folder that match, folders among them handled like a
// folder argument. Folders whose names start with '.' are never entered, and
// a folder that leads back to one being expanded (a link loop) is skipped.
void expand_location(const char* location, bool folders_whole, location_sink& sink);

// The file layer's canonical form of a path (its "file://" form with the
// case stored on disk). The file layer installs it during static
// initialisation; without it a path is used as it was resolved.
using path_canonicalizer = void (*)(const char* path, qiv::string_object& out);
void set_path_canonicalizer(path_canonicalizer function) noexcept;
void canonicalize_path(const char* path, qiv::string_object& out);

}  // namespace command_line
