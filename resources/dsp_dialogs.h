// Templates and control ids of the DSP chain editor and the "DSP Settings"
// dialog (ui/dialogs/dsp_chain_editor.cpp, dsp_chain_settings.cpp).
// Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_DSP_CHAIN_EDITOR 676
#define IDD_DSP_SETTINGS 677

#define IDC_DSP_ACTIVE_LABEL 1293
#define IDC_DSP_CONFIGURE 1218
#define IDC_DSP_ACTIVE_LIST 1031
#define IDC_DSP_ADD 1033
#define IDC_DSP_REMOVE 1005
#define IDC_DSP_UP 1006
#define IDC_DSP_DOWN 1007
#define IDC_DSP_AVAILABLE_LIST 1032
#define IDC_DSP_AVAILABLE_LABEL 1281
#define IDC_DSP_PRESETS_GROUP 1246
#define IDC_DSP_PRESET_NAME 1242
#define IDC_DSP_PRESET_LOAD 1243
#define IDC_DSP_PRESET_SAVE 1244
#define IDC_DSP_PRESET_DELETE 1245

#define IDR_DSP_ADD_ICON 260
#define IDR_DSP_REMOVE_ICON 261
