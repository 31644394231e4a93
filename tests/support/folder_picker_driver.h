// Acting as the user on the folder picker (the system's folder dialog) from a
// thread of its own, while the picker's modal loop holds the test's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/screen_capture.h"

namespace test_support {

// The first visible window of this process of the given class (and title,
// when given), below `parent` (null: the top-level windows).
inline HWND find_visible(HWND parent, const wchar_t* class_name, const wchar_t* title = nullptr) {
  for (HWND window = FindWindowExW(parent, nullptr, class_name, nullptr); window != nullptr;
       window = FindWindowExW(parent, window, class_name, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t text[128] = {};
    if (title != nullptr) GetWindowTextW(window, text, 128);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && (title == nullptr || std::wstring(text) == title))
      return window;
    if (HWND inner = find_visible(window, class_name, title)) return inner;
  }
  return nullptr;
}

// Types `typed` into the picker's name field when given, then presses the
// button. `picker_title` tells the picker from other dialogs already open.
// Joined by title(), called once the call that shows the picker has returned:
// until then the driver looks for the picker however long it takes to appear
// (a busy machine takes many seconds for a first one), since a picker it gave
// up on would wait for a user forever.
class picker_driver {
public:
  explicit picker_driver(int button, const char* shot_name = nullptr, std::wstring typed = {},
                         std::wstring picker_title = {})
      : thread_([this, button, shot_name, typed, picker_title] {
          HWND dialog = nullptr;
          for (; dialog == nullptr && !shown_call_returned_; Sleep(50))
            dialog = find_visible(nullptr, L"#32770", picker_title.empty() ? nullptr : picker_title.c_str());
          if (dialog == nullptr) return;
          Sleep(1000);  // let it fill its view
          wchar_t title[128] = {};
          GetWindowTextW(dialog, title, 128);
          title_ = title;
          if (shot_name != nullptr) screen_capture(dialog).save(shot_name);
          if (HWND edit = typed.empty() ? nullptr : find_visible(dialog, L"Edit"))
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
          PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
          for (int wait = 0; wait < 40 && IsWindow(dialog); ++wait) Sleep(50);
          if (IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0);  // a failure, not a hang
        }) {}
  ~picker_driver() { title(); }
  std::wstring title() {
    shown_call_returned_ = true;
    if (thread_.joinable()) thread_.join();
    return title_;
  }

private:
  std::wstring title_;
  std::atomic<bool> shown_call_returned_{false};
  std::thread thread_;
};

}  // namespace test_support
