// What the installer writes into the folder it installs to: the program, the
// two hidden portable markers that keep its configuration and library beside
// it, a hidden "autorun.inf" for the medium, and the hidden configuration
// folder.
#pragma once

#include <string>

#include "core/abort_signal.h"

// The autorun file's exact bytes (66, 8-bit text, no terminator).
extern const char install_autorun_text[];

// `destination` is a native folder path, with or without a trailing
// backslash. Throws exception_win32 for the first step that fails (what was
// written before stays), vantrel_io::exception_aborted when the signal was
// raised.
void install_to_folder(const std::string& destination, const abort_signal& abort);
