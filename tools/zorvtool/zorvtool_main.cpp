#include <windows.h>

#include <exception>
#include <fcntl.h>
#include <io.h>

#include "core/service_registry.h"
#include "foundation/process_end.h"
#include "foundation/string_small.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
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

int print_usage() {
  std::string text = "usage: zorvtool <command> [arguments]\ncommands:\n";
  for (const auto& entry : all_commands()) text += std::string("  ") + entry.usage + "\n";
  print_error(text);
  return 2;
}

int run_command(const std::string& name, const arguments& args) {
  for (const auto& entry : all_commands()) {
    if (name != entry.name) continue;
    try {
      return entry.run(args);
    } catch (const vantrel_io::exception_io_after_tags_written& e) {
      print_error(std::string("zorvtool: ") + e.what() + "\n");
      return exit_written_then_failed;
    } catch (const std::exception& e) {
      print_error(std::string("zorvtool: ") + e.what() + "\n");
      return 1;
    }
  }
  print_error("zorvtool: unknown command \"" + name + "\"\n");
  return print_usage();
}

}  // namespace zorvtool

namespace {

int run(int argc, wchar_t** argv) {
  // Output is UTF-8 bytes as they are, with no newline translation.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (argc < 2) return zorvtool::print_usage();
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
  return zorvtool::run_command(name.get_ptr(), args);
}

}  // namespace

// The system's AAC decoder alone brings in about 180 host libraries, whose
// finalisers, on a busy machine, can outlast the half second Wine gives an
// ended process. Nothing of the tool's own is left to finish once the
// command returns: the commands close their files and stop their threads.
int wmain(int argc, wchar_t** argv) { qiv::end_process_now(run(argc, argv)); }
