// Asking the user for a folder: the common file dialog in folder mode, or
// the classic folder browser where that dialog is missing.
#pragma once

#include <windows.h>

#include "foundation/string_object.h"

// `path` holds the folder to start in (UTF-8 native path, may be empty) and
// gets the chosen folder. Answers false on cancel and on every failure,
// leaving `path` as it was; never throws. A null title keeps the dialog's
// own. Main thread, with COM initialised.
bool pick_folder(HWND owner, const char* title, qiv::string_object& path);
