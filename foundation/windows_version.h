// The version of Windows the program runs on, for the few places whose
// behaviour differs before Vista.
#pragma once

// Major and minor version (from GetVersion), as major * 256 + minor, is at
// least 0x600.
bool is_windows_vista_or_later();
