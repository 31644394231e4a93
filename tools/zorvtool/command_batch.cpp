// zorvtool batch: runs many commands in one process, for callers that would
// otherwise start the tool again for each (under Wine a start costs far more
// than most commands). Each line on standard input (batch_line.h) is one
// command, its name and arguments. Standard output gets the ready line, then
// for each command the answer's header line and what the command printed to
// its output and to its errors. An empty line or the end of input ends the
// batch.
#include <fcntl.h>
#include <io.h>
#include <string>

#include "tools/zorvtool/batch_line.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

int run_batch(const zorvtool::arguments& args) {
  if (!args.empty()) {
    zorvtool::print_error("usage: zorvtool batch\n");
    return 2;
  }
  _setmode(_fileno(stdin), _O_BINARY);
  zorvtool::print(batch_line::ready_line);
  std::string line;
  while (batch_line::read(line) && !line.empty()) {
    zorvtool::arguments fields = batch_line::fields(line);
    const std::string name = fields.front();
    fields.erase(fields.begin());
    int status;
    std::string out, err;
    {
      zorvtool::captured_output captured;
      status = name == "batch" ? zorvtool::print_usage() : zorvtool::run_command(name, fields);
      out.swap(captured.out);
      err.swap(captured.err);
    }
    zorvtool::print(batch_line::answer_header(status, out.size(), err.size()) + out + err);
  }
  return 0;
}

const zorvtool::command_registration registration(
    {"batch", "batch             run the commands read from standard input, one a line", run_batch});

}  // namespace
