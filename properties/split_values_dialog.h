// The split values dialog: asks which separators (one per line) split the
// values of the selected rows, and whether line breaks split them too. It
// only edits the settings it is given; the properties dialog stores them and
// splits. Modeless, fixed size, main thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "metadata/metadata_io.h"
#include "properties/sub_dialog_result.h"

struct split_settings {
  std::string separators;  // UTF-8, one separator per line
  bool split_line_breaks = true;
};

// On OK `settings` receives what the dialog shows and the completion gets
// sub_dialog_accepted; Cancel leaves them unchanged (sub_dialog_cancelled).
// exception_win32 when the window cannot be made; no completion then.
HWND open_split_values_dialog(HWND owner, service_ptr<metadata_completion> completion,
                              std::shared_ptr<split_settings> settings);
