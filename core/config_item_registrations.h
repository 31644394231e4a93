// The configuration items of the whole program, declared in one place so
// that the set stored in "config.dat" is fixed here. The modules that own
// each setting read and change these objects.
#pragma once

#include "core/config_item_kinds.h"
#include "core/dsp_chain.h"
#include "core/dsp_preset_list.h"
#include "core/font_record.h"

namespace config {

// The "DS" output module.
inline constexpr GUID directsound_output_guid = {0xD41D2423, 0xFBB0, 0x4635, {0xB2, 0x33, 0x70, 0x54, 0xF7, 0x98, 0x14, 0xAB}};
inline constexpr GUID default_main_window_guid = {0x8321EE01, 0x0E2F, 0x4CDD, {0x99, 0x88, 0x2C, 0xFA, 0xDA, 0x2C, 0xED, 0x4C}};

// DSP chain dialog and playback.
extern config_dsp_preset_list dsp_presets;
extern config_dsp_chain active_dsp_chain;

// Media library.
extern config_bool library_include_music_library;
extern config_text_list library_extra_folders;
extern config_bool library_monitor_folders;

// Playback and output.
extern config_guid output_module;
extern config_guid output_device;  // the null GUID: the default device
extern config_float playback_volume_db;
extern config_playback_gain playback_gain;

// Preferences dialog.
extern config_guid_set preferences_dialog_state;
extern config_window_position preferences_window;

// Main window: its colour theme (the GUID of the theme's menu command) and
// whether it shows album pictures.
extern config_guid main_window_theme;
extern config_bool main_window_album_pictures;

// Properties dialog and its tools.
extern config_window_position properties_window;
extern config_int32 properties_layout_1;
extern config_int32 properties_layout_2;
extern config_int32 properties_layout_3;
extern config_int32 properties_layout_4;
extern config_text value_split_separators;
extern config_bool value_split_option;
extern config_text autofill_pattern;
extern config_window_position autofill_window;
extern config_window_position value_split_window;
extern config_int32 value_split_layout_1;
extern config_int32 value_split_layout_2;
extern config_int32 value_split_layout_3;
extern config_font properties_font;
extern config_locked_text properties_standard_fields;
extern config_window_position table_edit_window;

}  // namespace config
