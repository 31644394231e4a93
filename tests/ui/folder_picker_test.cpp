// The folder picker as the user meets it: a dialog opens on the current
// folder, OK answers the chosen folder as a native path, Cancel leaves the
// path alone.
#include "ui/menus/folder_picker.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/modal_scope.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "support/screen_capture.h"

namespace {

// The first visible window of this process of the given class, below
// `parent` (null: the top-level windows).
HWND find_visible(HWND parent, const wchar_t* class_name) {
  for (HWND window = FindWindowExW(parent, nullptr, class_name, nullptr); window != nullptr;
       window = FindWindowExW(parent, window, class_name, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) return window;
    if (HWND inner = find_visible(window, class_name)) return inner;
  }
  return nullptr;
}

// Acts as the user on the picker from a thread of its own (the picker's
// modal loop holds the test's thread): types `typed` into the name field
// when given, then presses the button. Joined by title().
class picker_driver {
public:
  explicit picker_driver(int button, const char* shot_name = nullptr, std::wstring typed = {})
      : thread_([this, button, shot_name, typed] {
          HWND dialog = nullptr;
          for (int i = 0; i < 300 && dialog == nullptr; ++i, Sleep(50)) dialog = find_visible(nullptr, L"#32770");
          if (dialog == nullptr) return;
          Sleep(1000);  // let it fill its view
          wchar_t title[128] = {};
          GetWindowTextW(dialog, title, 128);
          title_ = title;
          if (shot_name != nullptr) test_support::screen_capture(dialog).save(shot_name);
          if (HWND edit = typed.empty() ? nullptr : find_visible(dialog, L"Edit"))
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
          PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
          for (int wait = 0; wait < 40 && IsWindow(dialog); ++wait) Sleep(50);
          if (IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0);  // a failure, not a hang
        }) {}
  ~picker_driver() { title(); }
  std::wstring title() {
    if (thread_.joinable()) thread_.join();
    return title_;
  }

private:
  std::wstring title_;
  std::thread thread_;
};

std::string utf8(const std::wstring& text) {
  qiv::string_buffer out;
  wide_to_utf8(text.c_str(), out);
  return out.get_ptr();
}

class FolderPicker : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"zorv picker " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  void TearDown() override {
    RemoveDirectoryW(folder.c_str());
    CoUninitialize();
  }
  std::wstring folder;
};

TEST_F(FolderPicker, AFolderChosenInTheDialogComesBackAsANativePath) {
  qiv::string_buffer path(utf8(folder).c_str());
  picker_driver driver(IDOK, "folder_picker", folder);
  ASSERT_TRUE(pick_folder(nullptr, "Choose a folder", path));
  EXPECT_EQ(driver.title(), L"Choose a folder");
  EXPECT_EQ(lstrcmpiW(qiv::string_to_wide(path.get_ptr()).get_ptr(), folder.c_str()), 0) << path.get_ptr();
  EXPECT_TRUE(modal_scope::none_active());
}

TEST_F(FolderPicker, CancelAnswersFalseAndLeavesThePathAsItWas) {
  qiv::string_buffer path(utf8(folder).c_str());
  picker_driver driver(IDCANCEL);
  EXPECT_FALSE(pick_folder(nullptr, "", path));
  driver.title();
  EXPECT_EQ(std::string(path.get_ptr()), utf8(folder));
  EXPECT_TRUE(modal_scope::none_active());
}

TEST_F(FolderPicker, AFolderThatIsGoneStillLetsTheUserPickOne) {
  qiv::string_buffer path(utf8(folder + L"\\no longer here").c_str());
  picker_driver driver(IDOK, nullptr, folder);
  ASSERT_TRUE(pick_folder(nullptr, nullptr, path));
  driver.title();
  EXPECT_EQ(lstrcmpiW(qiv::string_to_wide(path.get_ptr()).get_ptr(), folder.c_str()), 0) << path.get_ptr();
}

}  // namespace
