// Templates and control ids of the background-operation progress dialog.
// Shared by the resource script and core/progress_dialog.cpp, so plain
// #defines only: the resource compiler reads it too.
#pragma once

// Two bars, item text and the buttons.
#define IDD_PROGRESS_DUAL 680
// One bar with the item text.
#define IDD_PROGRESS_ITEM 219
// One bar and the buttons only.
#define IDD_PROGRESS_SIMPLE 679

#define IDC_PROGRESS_ABORT 2
#define IDC_PROGRESS_MINIMIZE 3
#define IDC_PROGRESS_PAUSE 4
#define IDC_PROGRESS_BAR 1057
#define IDC_PROGRESS_BAR_SECONDARY 1058
#define IDC_PROGRESS_ITEM 1077
#define IDC_PROGRESS_ITEM_LABEL 1211
