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
#include "support/folder_picker_driver.h"

namespace {

using test_support::picker_driver;

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
