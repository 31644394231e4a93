// zorvtool: the console diagnostic tool beside the player. Each subcommand is
// one file that registers itself with a zorvtool_command object.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zorvtool {

using arguments = std::vector<std::string>;  // UTF-8, after the subcommand name

struct command {
  const char* name;
  const char* usage;    // one line of the usage text printed for a wrong call
  int (*run)(const arguments& args);  // exit code; failures throw
};

// Exit codes beside 0: 1 a failure (the message on standard error), 2 a
// wrong call. An edit whose new tags were written before a later step
// failed is neither done nor undone: its message says so, and its status
// tells it from both (3 is the runtime's own for an unhandled exception).
inline constexpr int exit_written_then_failed = 4;

// Registers a subcommand at static initialisation.
class command_registration {
public:
  explicit command_registration(const command& entry);
};

const std::vector<command>& all_commands();

// The file layer's form of a path given on the command line, as the
// player's own command line takes it. Every path argument goes through it.
std::string system_path(const std::string& argument);

// Writes UTF-8 text to standard output or standard error.
void print(const std::string& text);
void print_error(const std::string& text);

// Prints the usage text to standard error; returns the wrong call's code.
int print_usage();

// Runs the named command as the command line would, a failure turned into
// its message and exit code; an unknown name prints the usage.
int run_command(const std::string& name, const arguments& args);

} // namespace zorvtool
