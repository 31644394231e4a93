// zorvtool batch OUT-FILE ERR-FILE: runs many commands in one process, for
// callers that would otherwise start the tool again for each (under Wine a
// start costs far more than most commands). Each line on standard input
// (batch_line.h) is one command, its name and arguments; what it prints to
// its output and errors goes into the two files (batch_output_files.h), and
// standard output answers it with its exit code once they hold all of it.
// Standard output starts with the ready line. An empty line or the end of
// input ends the batch.
#include <fcntl.h>
#include <io.h>
#include <string>

#include "foundation/code_page_text.h"
#include "tools/zorvtool/batch_line.h"
#include "tools/zorvtool/batch_output_files.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace {

std::wstring wide(const std::string& text) { return qiv::utf8_to_utf16(text.data(), text.size()); }

int run_line(const std::vector<std::string>& fields) {
  const std::string& name = fields.front();
  if (name == "batch") return zorvtool::print_usage();
  return zorvtool::run_command(name, zorvtool::arguments(fields.begin() + 1, fields.end()));
}

int run_batch(const zorvtool::arguments& args) {
  if (args.size() != 2) {
    zorvtool::print_error("usage: zorvtool batch OUT-FILE ERR-FILE\n");
    return 2;
  }
  _setmode(_fileno(stdin), _O_BINARY);
  batch_output_files output(wide(args[0]).c_str(), wide(args[1]).c_str());
  zorvtool::print(batch_line::ready_line);
  std::vector<std::string> fields;
  std::string refusal;
  for (batch_line::outcome line; (line = batch_line::read(fields, refusal)) != batch_line::outcome::end;) {
    if (!output.begin()) {
      zorvtool::print_error("zorvtool batch: cannot write the output files " + args[0] + " and " + args[1] + "\n");
      return 1;
    }
    int status = 2;
    if (line == batch_line::outcome::refused)
      zorvtool::print_error("zorvtool batch: " + refusal + "; the line was not run\n");
    else
      status = run_line(fields);
    output.answer(status);
  }
  return 0;
}

const zorvtool::command_registration registration(
    {"batch", "batch OUT-FILE ERR-FILE   run the commands read from standard input, one a line", run_batch});

}  // namespace
