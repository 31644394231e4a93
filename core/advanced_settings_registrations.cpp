// The advanced-settings entries owned by the application core. Each links
// itself into the factory list during static initialisation; entries of the
// playback, input and properties modules are registered by those modules.
#include "core/advanced_settings_registrations.h"

namespace advanced_settings {

namespace {

// Root holding the "MP3" branch.
constexpr GUID mp3_root_guid = {0xE8FE273F, 0xDD00, 0x476E, {0xA7, 0x90, 0xE5, 0x9D, 0xF6, 0xB8, 0xF8, 0xD4}};
constexpr GUID mp3_branch_guid = {0x471BA209, 0x0DFD, 0x4A36, {0x89, 0x4A, 0x99, 0x66, 0x16, 0x82, 0x60, 0x59}};

advanced_setting_branch fading(advanced_setting_integer::fading_branch_guid, playback_root_guid, "Fading");
advanced_setting_branch mp3(mp3_branch_guid, mp3_root_guid, "MP3");
// The tag editor's settings, under the user interface's root.
constexpr GUID properties_branch_guid = {0x5D59D46E, 0x6B72, 0x48D1, {0xAE, 0xB4, 0x55, 0x86, 0x85, 0x10, 0x27, 0x0E}};
advanced_setting_branch properties_dialog(properties_branch_guid, user_interface_root_guid, "Properties dialog");
advanced_setting_branch tag_scheme(advanced_setting_radio::group_branch_guid, mp3_branch_guid,
                                   "Tag writing scheme for untagged files");

} // namespace

advanced_setting_checkbox wheel_scrolls_window_under_pointer(
    "Mouse wheel: scroll the object below the pointer rather than the object having keyboard focus",
    user_interface_root_guid);
advanced_setting_checkbox show_error_popups("Show error message popups", playback_root_guid);

advanced_setting_integer fade_out_ms = advanced_setting_integer::construct_fade("Fade out (ms)", 1.0);
advanced_setting_integer fade_on_seek_ms = advanced_setting_integer::construct_fade("Fade on seek (ms)", 0.0);
advanced_setting_integer fade_on_pause_ms = advanced_setting_integer::construct_fade("Fade on pause (ms)", 2.0);

advanced_setting_string volume_step_db(playback_root_guid, "Volume step (dB)", "1.0", 3.0);
advanced_setting_string multiline_fields(properties_branch_guid, "Multiline fields", "COMMENT;LYRICS;BIOGRAPHY", 1.0);
advanced_setting_string multivalue_fields(properties_branch_guid, "Multivalue fields",
                                          "ARTIST;ALBUM ARTIST;PRODUCER;COMPOSER;PERFORMER;GENRE", 2.0);
advanced_setting_string title_display_format(properties_branch_guid, "Title display format", "%TITLE%", 3.0);

advanced_setting_radio tag_scheme_id3v2_id3v1("ID3v2 + ID3v1", true, 0.0);
advanced_setting_radio tag_scheme_id3v2("ID3v2", false, 1.0);
advanced_setting_radio tag_scheme_ape_id3v1("APE + ID3v1", false, 2.0);
advanced_setting_radio tag_scheme_ape("APE", false, 3.0);

} // namespace advanced_settings
