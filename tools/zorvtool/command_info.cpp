// zorvtool info PATH: opens PATH through the input dispatch, as the player
// would to read its info, and prints every subsong's info as JSON, to see
// exactly what an input reports for a file.
#include <string>

#include "core/abort_signal.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"
#include "metadata/track_info_json.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

int run_info(const zorvtool::arguments& args) {
  if (args.size() != 1) {
    zorvtool::print_error("usage: zorvtool info PATH\n");
    return 2;
  }
  const char* path = args[0].c_str();
  raisable_abort_signal abort;
  info_reader_ptr reader;
  // No file given: the claiming input opens the path itself.
  input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path, abort);

  std::string out = "{\n  \"path\": ";
  append_json_string(out, path);
  out += ",\n  \"subsongs\": [";
  const std::uint32_t count = reader->get_subsong_count();
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t subsong = reader->get_subsong(i);
    track_info_impl info;
    reader->get_info(subsong, info, abort);
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"subsong\": " + std::to_string(subsong) + ", \"info\": ";
    append_track_info_json(out, info, 4);
    out += "}";
  }
  out += count == 0 ? "]\n}\n" : "\n  ]\n}\n";
  zorvtool::print(out);
  return 0;
}

const zorvtool::command_registration registration(
    {"info", "info PATH         print the info of every subsong of PATH as JSON", run_info});

}  // namespace
