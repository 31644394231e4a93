// The progress dialog lives below the file layer, so the file layer lends it
// the display form of item paths ("<temporary file>", native paths).
#include "core/progress_dialog.h"
#include "io/path_schemes.h"

namespace {

const bool progress_item_path_hooked = [] {
  progress_dialog_hooks::set_path_formatter(&vantrel_io::get_display_path);
  return true;
}();

}  // namespace
