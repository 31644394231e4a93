#include <windows.h>

#include <exception>
#include <fcntl.h>
#include <io.h>

#include "core/service_registry.h"
#include "foundation/string_small.h"
#include "foundation/win32_text.h"
#include "tools/zorvtool/zorvtool_command.h"

namespace zorvtool {

namespace {
std::vector<command>& registry() {
  static std::vector<command> commands;
  return commands;
}

void write_to(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}
}  // namespace

command_registration::command_registration(const command& entry) { registry().push_back(entry); }

const std::vector<command>& all_commands() { return registry(); }

void print(const std::string& text) { write_to(stdout, text); }
void print_error(const std::string& text) { write_to(stderr, text); }

}  // namespace zorvtool

namespace {

int print_usage() {
  std::string text = "usage: zorvtool <command> [arguments]\ncommands:\n";
  for (const auto& entry : zorvtool::all_commands()) text += std::string("  ") + entry.usage + "\n";
  zorvtool::print_error(text);
  return 2;
}

// Ends the process with the command's exit code once the command is done,
// its objects are gone and its output is flushed. A normal exit would go on
// to run the finalisers of every host library the process has loaded, and
// under Wine that happens after the server already counts the process as
// ended: the server kills a process that has not vanished half a second
// later. The system's AAC decoder alone brings in about 180 such libraries,
// and on a busy machine their finalisers, faulting their pages back in, can
// take that long, so a command that succeeded would be reported as killed
// (exit status 137). Nothing of the tool's own is left to finish here: the
// commands close their files and stop their threads before they return.
[[noreturn]] void end_process(int code) {
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  ExitProcess(static_cast<UINT>(code));
}

int run(int argc, wchar_t** argv) {
  // Output is UTF-8 bytes as they are, with no newline translation.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (argc < 2) return print_usage();
  zorvtool::arguments args;
  for (int i = 2; i < argc; ++i) {
    qiv::string_small text;
    wide_to_utf8(argv[i], text);
    args.emplace_back(text.get_ptr());
  }
  // The services linked into the tool (inputs, schemes) answer as they do in
  // the player; nothing is loaded from or saved to a profile.
  service_registry::table().build(service_factory::global_list_head);
  qiv::string_small name;
  wide_to_utf8(argv[1], name);
  for (const auto& entry : zorvtool::all_commands()) {
    if (std::string(entry.name) != name.get_ptr()) continue;
    try {
      return entry.run(args);
    } catch (const std::exception& e) {
      zorvtool::print_error(std::string("zorvtool: ") + e.what() + "\n");
      return 1;
    }
  }
  zorvtool::print_error(std::string("zorvtool: unknown command \"") + name.get_ptr() + "\"\n");
  return print_usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) { end_process(run(argc, argv)); }
