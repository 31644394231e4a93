// The advanced-settings entries of the application core, for the code that
// reads them, and the roots of the tree that other modules hang their own
// entries under.
#pragma once

#include "core/advanced_setting.h"

namespace advanced_settings {

// Root holding the mouse-wheel checkbox; the properties dialog hangs its
// branch here.
inline constexpr GUID user_interface_root_guid = {0x6C4BC1C8, 0xBAF4, 0x40C3, {0x9D, 0xB1, 0x09, 0x50, 0x7F, 0x0C, 0x0C, 0xB9}};
// Root holding the error-popup checkbox and the "Fading" branch; the volume
// step sits here too.
inline constexpr GUID playback_root_guid = {0xC48D430D, 0x0112, 0x4922, {0x97, 0x23, 0x28, 0x38, 0xC7, 0xD9, 0x7D, 0xD7}};

// "Mouse wheel: scroll the object below the pointer rather than the object
// having keyboard focus" (the message loop).
extern advanced_setting_checkbox wheel_scrolls_window_under_pointer;
// "Show error message popups" (the playback error popup).
extern advanced_setting_checkbox show_error_popups;

// Fade lengths in milliseconds (the playback engine).
extern advanced_setting_integer fade_out_ms;
extern advanced_setting_integer fade_on_seek_ms;
extern advanced_setting_integer fade_on_pause_ms;

// Text entries: the step of the volume commands (the playback front end);
// the fields edited over several lines and those holding several values
// (the properties dialog); the script of the window title (the user
// interface).
extern advanced_setting_string volume_step_db;
extern advanced_setting_string multiline_fields;
extern advanced_setting_string multivalue_fields;
extern advanced_setting_string title_display_format;

// The tag-writing scheme for MP3 files without tags (the MP3 input). The
// choices are looked at in this order; the first selected one wins.
extern advanced_setting_radio tag_scheme_id3v2_id3v1;
extern advanced_setting_radio tag_scheme_id3v2;
extern advanced_setting_radio tag_scheme_ape_id3v1;
extern advanced_setting_radio tag_scheme_ape;

} // namespace advanced_settings
