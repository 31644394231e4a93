// Template, accelerator table and control ids of the main window
// (ui/main/main_window.cpp). Plain #defines only: the resource compiler reads
// it too.
#pragma once

#define IDD_MAIN_WINDOW 149
#define IDR_MAIN_WINDOW_KEYS 112

#define IDC_MAIN_PAUSE 4
#define IDC_MAIN_PLAY 1000
#define IDC_MAIN_REPEAT 1006
#define IDC_MAIN_BACK 1050
#define IDC_MAIN_FORWARD 1051
#define IDC_MAIN_MENU 1052
#define IDC_MAIN_FULL_SCREEN 1055
#define IDC_MAIN_VOLUME 1059
#define IDC_MAIN_REWIND 1060
#define IDC_MAIN_FAST_FORWARD 1061
#define IDC_MAIN_CAPTION_LINE 1067
#define IDC_MAIN_PATH_LINE 1068
#define IDC_MAIN_LIST 1069
#define IDC_MAIN_SEPARATOR 1074
#define IDC_MAIN_NOW_PLAYING_1 1079
#define IDC_MAIN_NOW_PLAYING_2 1080
#define IDC_MAIN_INDEXING 1324

// PNG images of the list's items.
#define IDP_LIST_TRACK 108
#define IDP_LIST_CONTAINER 103
#define IDP_LIST_PLAYING 107
#define IDP_LIST_PAUSED 106
