// The item context menu's "Properties" command: loads the full info of the
// selected tracks behind a progress dialog and, when that succeeds, opens a
// new properties dialog on them. Main thread only.
#pragma once

#include <cstdint>

#include "metadata/track_handle.h"
#include "properties/properties_dialog.h"

// Nothing happens for no tracks or off the main thread. A load that fails or
// is aborted opens nothing; so does one that ends after the main window is
// gone.
void open_properties_dialog(const track_handle_list& tracks, properties_dialog::open_mode mode);
