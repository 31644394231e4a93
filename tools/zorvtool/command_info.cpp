// zorvtool info PATH: opens PATH through the input dispatch, as the player
// would to read its info, and prints every subsong's info as JSON, to see
// exactly what an input reports for a file. A file that no input claims
// but that carries ID3 or APE tags shows them as read by the tag services,
// as subsong 0.
#include <string>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/tag_services.h"
#include "metadata/track_info.h"
#include "metadata/track_info_json.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

// False when the file cannot be opened or carries no tags.
bool read_tags_unclaimed(const char* path, track_info& info, const abort_signal& abort) {
  vantrel_io::file_ptr file;
  try {
    vantrel_io::open(file, path, vantrel_io::open_mode::read, abort);
    tag_services::read(*file, info, abort);
  } catch (const vantrel_io::exception_io&) {
    return false;
  }
  return true;
}

std::string subsong_json(std::uint32_t subsong, const track_info& info) {
  std::string out = "    {\"subsong\": " + std::to_string(subsong) + ", \"info\": ";
  append_track_info_json(out, info, 4);
  return out + "}";
}

int run_info(const zorvtool::arguments& args) {
  if (args.size() != 1) {
    zorvtool::print_error("usage: zorvtool info PATH\n");
    return 2;
  }
  const std::string path = zorvtool::system_path(args[0]);
  raisable_abort_signal abort;
  std::string out = "{\n  \"path\": ";
  append_json_string(out, args[0].c_str());
  out += ",\n  \"subsongs\": [";
  info_reader_ptr reader;
  try {
    // No file given: the claiming input opens the path itself.
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path.c_str(), abort);
  } catch (const vantrel_io::exception_io_unsupported_format&) {
    track_info_impl info;
    if (!read_tags_unclaimed(path.c_str(), info, abort)) throw;
    zorvtool::print(out + "\n" + subsong_json(0, info) + "\n  ]\n}\n");
    return 0;
  }
  const std::uint32_t count = reader->get_subsong_count();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t subsong = reader->get_subsong(i);
    track_info_impl info;
    reader->get_info(subsong, info, abort);
    out += i == 0 ? "\n" : ",\n";
    out += subsong_json(subsong, info);
  }
  out += count == 0 ? "]\n}\n" : "\n  ]\n}\n";
  zorvtool::print(out);
  return 0;
}

const zorvtool::command_registration registration(
    {"info", "info PATH         print the info of every subsong of PATH as JSON", run_info});

}  // namespace
