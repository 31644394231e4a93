// A Win32 menu read back the way a screen reader sees it: each entry's text,
// type, state, id and submenu through GetMenuItemInfoW.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

struct menu_entry {
  std::wstring text;
  UINT type = 0;
  UINT state = 0;
  UINT id = 0;
  HMENU submenu = nullptr;

  bool separator() const { return (type & MFT_SEPARATOR) != 0; }
  bool grayed() const { return (state & MFS_GRAYED) != 0; }
  bool checked() const { return (state & MFS_CHECKED) != 0; }
  bool radio() const { return (type & MFT_RADIOCHECK) != 0; }
};

inline std::vector<menu_entry> read_menu(HMENU menu) {
  std::vector<menu_entry> entries;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 511;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    entries.push_back({text, info.fType, info.fState, info.wID, info.hSubMenu});
  }
  return entries;
}

// The texts of the entries, separators as "-": {"Open", "-", "Exit"}.
inline std::vector<std::wstring> menu_texts(HMENU menu) {
  std::vector<std::wstring> texts;
  for (const menu_entry& entry : read_menu(menu)) texts.push_back(entry.separator() ? L"-" : entry.text);
  return texts;
}

}  // namespace test_support
