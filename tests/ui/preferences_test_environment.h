// What the preferences tests need of start-up: the common controls and the
// separator class, the English texts, the service registry of the linked
// layers and a profile folder of their own.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "core/separator_control.h"
#include "core/service_registry.h"
#include "foundation/code_page_text.h"
#include "io/localization.h"

namespace preferences_test {

inline void start_environment() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  OleInitialize(nullptr);
  separator_control::register_class();
  localization_loader loader;
  localization_load_builtin(loader, 0x409);
  install_language_table(std::move(loader.table));
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring profile = std::wstring(temp) + L"zorv-preferences-test";
  CreateDirectoryW(profile.c_str(), nullptr);
  app::state().profile_path.set_string(("file://" + qiv::utf16_to_utf8(profile.c_str(), profile.size())).c_str());
  service_registry::table().build(service_factory::global_list_head);
  // The main window the dialog belongs to and places itself beside.
  app::state().ui_main_window = CreateWindowExW(0, L"STATIC", L"Zorv Audio Player", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                200, 150, 500, 400, nullptr, nullptr, GetModuleHandleW(nullptr),
                                                nullptr);
}

inline void pump(DWORD milliseconds = 0) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (milliseconds != 0) Sleep(10);
  } while (GetTickCount() - start < milliseconds);
}

inline std::string window_text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return qiv::utf16_to_utf8(text, std::char_traits<wchar_t>::length(text));
}

// The page window that holds a control of that id, among the dialog's
// children.
inline HWND page_with_control(HWND dialog, int control_id) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (GetDlgItem(child, control_id) != nullptr && IsWindowVisible(child)) return child;
  return nullptr;
}

inline bool is_checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Clicks a button through its own message, as a user's click arrives.
inline void click(HWND dialog, int id) {
  SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0);
  pump();
}

}  // namespace preferences_test
