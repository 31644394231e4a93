// The version of Windows the program runs on, for the few places whose
// behaviour differs before Vista or on Wine.
#pragma once

// Major and minor version (from GetVersion), as major * 256 + minor, is at
// least 0x600.
bool is_windows_vista_or_later();

// Whether the program runs on Wine, whose system libraries differ from
// Windows' in ways a few places must allow for.
bool is_wine();
