// zorvtool tf SCRIPT [name=value ...]: evaluates a title-formatting script
// against a track described on the command line, to try a script without a
// library. The track is a real track handle with the record an info reader
// would give it, evaluated the way the player's lists evaluate it.
#include <cmath>
#include <cstdlib>
#include <string>

#include "foundation/string_buffer.h"
#include "metadata/title/title_script.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

bool parse_number(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value);
}

// A name given again adds a value, as a tag with several values would.
void add_value(track_info& info, const std::string& name, const std::string& value) {
  const std::uint32_t field = info.find_field(name.data(), name.size());
  if (field == track_info::not_found)
    info.append_field(name.data(), name.size(), value.data(), value.size());
  else
    info.add_field_value(field, value.data(), value.size());
}

int run_tf(const zorvtool::arguments& args) {
  if (args.empty()) {
    zorvtool::print_error("usage: zorvtool tf SCRIPT [name=value ...]\n");
    return 2;
  }
  track_info_impl info;
  std::string path;
  std::uint32_t subsong = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& pair = args[i];
    std::size_t equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
      zorvtool::print_error("zorvtool tf: expected name=value, got \"" + pair + "\"\n");
      return 2;
    }
    std::string name = pair.substr(0, equals);
    std::string value = pair.substr(equals + 1);
    double number = 0;
    if (name == "@path") {
      path = value;
    } else if (name == "@length") {
      // Beyond 2^53 seconds a length is no track's and no longer a whole number.
      if (!parse_number(value, number) || number < 0 || number > 9007199254740992.0) {
        zorvtool::print_error("zorvtool tf: @length needs a number of seconds, got \"" + value + "\"\n");
        return 2;
      }
      info.set_length(number);
    } else if (name == "@subsong") {
      if (!parse_number(value, number) || number < 0 || number > 4294967295.0 || number != std::floor(number)) {
        zorvtool::print_error("zorvtool tf: @subsong needs a whole number, got \"" + value + "\"\n");
        return 2;
      }
      subsong = static_cast<std::uint32_t>(number);
    } else {
      add_value(info, name, value);
    }
  }
  track_display_info record;
  record.fill_from(info);
  const track_handle_ptr track = track_handle_registry::get_handle(track_location(path.c_str(), subsong));
  track->set_info(record, 0, 0, true);
  qiv::string_buffer out;
  track->evaluate_script_locked(nullptr, out, *title_script::compile(args[0].c_str()));
  zorvtool::print(std::string(out.get_ptr(), out.get_length()) + "\n");
  return 0;
}

const zorvtool::command_registration registration(
    {"tf", "tf SCRIPT [name=value ...]  evaluate a title-formatting script (@path, @subsong, @length: the track)",
     run_tf});

}  // namespace
