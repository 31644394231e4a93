// Opening a Windows Explorer window on a folder with some of its files
// selected: the "Show in Explorer" entries of the item context menu.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The two shell calls at the end of the road; tests put recorders in their
// place.
struct explorer_shell_calls {
  HRESULT(WINAPI* open_folder_and_select)(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items, DWORD flags);
  // The fallback: the folder alone, through its default verb.
  void (*open_folder)(HWND owner, const wchar_t* folder);
};
// Null restores the shell's own calls.
void set_explorer_shell_calls(const explorer_shell_calls* calls);

// Main thread. Opens Explorer on the native folder with the named files
// selected. A failed open other than the user's cancel opens the folder
// alone, when no modal window blocks it. Failures to resolve the folder or a
// name throw exception_com and open nothing.
void shell_show_in_explorer(const std::wstring& folder, const std::vector<std::wstring>& names);

// The native folder of the tracks' paths when they are all local files in
// one folder (compared without regard to case, as the file system does);
// false otherwise.
bool tracks_common_native_folder(const std::vector<std::string>& paths, std::string& folder);
