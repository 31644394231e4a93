// The program's own command-line options: the playback commands, exit, and
// the window commands, each run as the main-menu command of its GUID.
#pragma once

#include "core/command_line_handler.h"

class builtin_command_line_handler : public command_line_handler {
public:
  result process_option(const char* option) override;
  void process_parameter(const char*) override {}
  void end_option() override {}
  bool wants_folders_whole() override { return false; }
};
