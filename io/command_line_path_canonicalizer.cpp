// The paths a command line names are opened through the file layer, so they
// take its canonical form ("file://" and the case stored on disk). The
// command-line processing lives below the file layer; this hands it the
// file layer's canonicaliser when the program is linked with both.
#include "core/command_line_locations.h"
#include "io/path_schemes.h"

namespace {

void canonicalize_through_schemes(const char* path, qiv::string_object& out) {
  vantrel_io::canonicalize_path(path, out);
}

const bool canonicalizer_installed = (command_line::set_path_canonicalizer(canonicalize_through_schemes), true);

}  // namespace
