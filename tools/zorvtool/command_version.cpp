// zorvtool version: the tool's and the player's version.
#include "tools/zorvtool/zorvtool_command.h"

namespace {

int run_version(const zorvtool::arguments& args) {
  if (!args.empty()) {
    zorvtool::print_error("usage: zorvtool version\n");
    return 2;
  }
  zorvtool::print("zorvtool 0.1.0 (Zorv Audio Player 0.1.0, 32-bit Windows)\n");
  return 0;
}

const zorvtool::command_registration registration({"version", "version           print the version", run_version});

}  // namespace
