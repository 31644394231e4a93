// One folder's entries as the navigation lists them: names starting with '.'
// and hidden entries are passed over.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Calls `visit` for every other entry in listing order. ERROR_FILE_NOT_FOUND
// is an empty folder; any other failure throws exception_win32.
void dir_listing(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW& entry)>& visit);
