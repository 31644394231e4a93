// Receivers of command-line options. Every option of a command line (the
// program's own or one handed over by a second start) is offered to the
// registered handlers in turn until one takes it.
#pragma once

#include "core/service_object.h"

class command_line_handler : public service_object {
public:
  static constexpr GUID class_guid = {0x550B3A19, 0x42A4, 0x4C0F, {0x91, 0xF2, 0x90, 0x55, 0x01, 0x89, 0xCB, 0xFF}};
  using service_parent = service_object;

  enum result { not_handled = 0, handled = 1, handled_takes_parameters = 2 };

  // `option` is the whole token, '/' or '-' included. An answer of
  // handled_takes_parameters makes this handler current: the files that
  // follow go to process_parameter until the next option.
  virtual result process_option(const char* option) = 0;
  // A file (or a whole folder, see wants_folders_whole) following the option,
  // as a canonical path.
  virtual void process_parameter(const char* path) = 0;
  // Called on the current handler before the next option and after the last token.
  virtual void end_option() = 0;
  // True: a folder argument arrives as one path; false: as the files in it.
  virtual bool wants_folders_whole() = 0;
};
