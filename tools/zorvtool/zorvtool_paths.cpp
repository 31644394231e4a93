// Every subcommand turns the paths it is given into the file layer's form in
// the same way the player's own command line does, so that a path one
// subcommand accepts (a Windows path, a Linux path Wine maps to a drive, a
// "file://" URL) every other accepts too.
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "io/path_schemes.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace zorvtool {

namespace {

bool canonical_form(const std::string& path, std::string& out) {
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(path.c_str(), canonical);
  out = canonical.get_ptr();
  return out != path;
}

}  // namespace

std::string system_path(const std::string& argument) {
  std::string out;
  if (canonical_form(argument, out)) return out;
  // A file yet to be made (a decode's output) is found through its folder.
  const std::size_t slash = argument.find_last_of("/\\");
  std::string folder;
  if (slash == std::string::npos) {
    qiv::string_buffer current;
    if (!get_current_directory_utf8(current) || !canonical_form(current.get_ptr(), folder)) return argument;
    return folder + "\\" + argument;
  }
  if (slash == 0 || slash + 1 == argument.size() || !canonical_form(argument.substr(0, slash), folder))
    return argument;
  return folder + "\\" + argument.substr(slash + 1);
}

}  // namespace zorvtool
