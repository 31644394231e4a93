// Template and control id of the popup message window
// (ui/menus/popup_message_window.cpp). Plain #defines only: the resource
// compiler reads it too.
#pragma once

#define IDD_POPUP_MESSAGE 256
#define IDC_POPUP_MESSAGE_TEXT 1077
