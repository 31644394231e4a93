// The installer as the user meets it: the real wizard walked page by page
// into a temporary folder and into one it cannot write, looked at, and the
// files it leaves checked byte by byte.
#include "ui/dialogs/install_wizard.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/abort_signal.h"
#include "foundation/code_page_text.h"
#include "resources/install_wizard_dialogs.h"
#include "support/message_pump.h"
#include "support/screen_capture.h"
#include "ui/dialogs/install_to_folder.h"

namespace {

std::wstring wide(const std::string& text) { return qiv::utf8_to_utf16(text.data(), text.size()); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

DWORD attributes(const std::string& path) { return GetFileAttributesW(wide(path).c_str()); }

std::string window_text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return qiv::utf16_to_utf8(text, wcslen(text));
}

void clear_attributes_and_remove(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) clear_attributes_and_remove(path);
      else DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(folder.c_str());
}

class Installer : public ::testing::Test {
protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    OleInitialize(nullptr);
    wchar_t temp[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"ins", 0, name);
    DeleteFileW(name);
    CreateDirectoryW(name, nullptr);
    folder = qiv::utf16_to_utf8(name, wcslen(name));
  }
  void TearDown() override {
    if (wizard != nullptr && IsWindow(wizard)) DestroyWindow(wizard);
    pump_pending();
    clear_attributes_and_remove(wide(folder));
  }

  // Opens the wizard and walks it to the end with `destination` typed on
  // the second page; answers the last page's text.
  std::string run_wizard(const std::string& destination, const char* shot_prefix) {
    wizard = install_wizard::open(nullptr);
    install_wizard* object = install_wizard::from_window(wizard);
    EXPECT_NE(object, nullptr);
    if (object == nullptr) return "";
    SetWindowPos(wizard, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
    EXPECT_EQ(object->page_number(), 1);
    EXPECT_EQ(window_text(wizard), "Install to Removable Medium");
    EXPECT_EQ(window_text(GetDlgItem(wizard, IDOK)), "Next");
    test_support::screen_capture(wizard).save(std::string(shot_prefix) + "_page1");
    SendMessageW(wizard, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(object->page_number(), 2);
    const HWND edit = GetDlgItem(object->page_window(2), IDC_INSTALL_DESTINATION);
    SetWindowTextW(edit, wide(destination).c_str());
    test_support::screen_capture(wizard).save(std::string(shot_prefix) + "_page2");
    SendMessageW(wizard, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(pump_until([&] { return object->page_number() == 4; }));
    EXPECT_EQ(window_text(GetDlgItem(wizard, IDOK)), "Finish");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard, IDCANCEL)));
    test_support::screen_capture(wizard).save(std::string(shot_prefix) + "_page4");
    const std::string text = window_text(GetDlgItem(object->page_window(4), IDC_INSTALL_STATUS));
    SendMessageW(wizard, WM_COMMAND, IDOK, 0);  // Finish
    EXPECT_FALSE(IsWindow(wizard));
    return text;
  }

  std::string folder;
  HWND wizard = nullptr;
};

TEST_F(Installer, TheWizardInstallsTheProgramMarkersAutorunAndConfigurationFolder) {
  EXPECT_EQ(run_wizard(folder, "install_wizard"), "Installation complete.");
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(read_file(folder + "\\Zorv.exe"), read_file(qiv::utf16_to_utf8(self, wcslen(self))));
  for (const char* marker : {"\\Zorv.exe.localconfig.opt", "\\Zorv.exe.locallibrary.opt"}) {
    EXPECT_EQ(read_file(folder + marker), "");
    EXPECT_TRUE(attributes(folder + marker) & FILE_ATTRIBUTE_HIDDEN) << marker;
  }
  const std::string autorun = read_file(folder + "\\autorun.inf");
  EXPECT_EQ(autorun.size(), 66u);
  EXPECT_EQ(autorun, "[autorun]\r\nopen=zorv.exe\r\nicon=zorv.exe\r\nlabel=Zorv Audio Player\r\n");
  EXPECT_TRUE(attributes(folder + "\\autorun.inf") & FILE_ATTRIBUTE_HIDDEN);
  const DWORD configuration = attributes(folder + "\\zorv-configuration");
  EXPECT_TRUE(configuration & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(configuration & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(Installer, ADestinationThatIsNotAFolderKeepsTheSecondPage) {
  wizard = install_wizard::open(nullptr);
  install_wizard* object = install_wizard::from_window(wizard);
  ASSERT_NE(object, nullptr);
  SendMessageW(wizard, WM_COMMAND, IDOK, 0);
  const HWND edit = GetDlgItem(object->page_window(2), IDC_INSTALL_DESTINATION);
  for (const std::string& wrong : {std::string(), folder + "\\missing", folder + "\\file.txt"}) {
    { std::ofstream(folder + "\\file.txt") << "x"; }
    SetWindowTextW(edit, wide(wrong).c_str());
    SendMessageW(wizard, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(object->page_number(), 2) << wrong;
  }
  EXPECT_EQ(GetFocus(), edit);
  SendMessageW(wizard, WM_COMMAND, IDCANCEL, 0);
  EXPECT_FALSE(IsWindow(wizard));
}

TEST_F(Installer, ATargetThatCannotBeWrittenEndsOnTheLastPageWithTheReason) {
  // Wine run as root writes through read-only attributes, so the target is
  // made unwritable another way: where the program file must go stands a
  // read-only folder of that name.
  CreateDirectoryW(wide(folder + "\\Zorv.exe").c_str(), nullptr);
  SetFileAttributesW(wide(folder + "\\Zorv.exe").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  const std::string text = run_wizard(folder, "install_wizard_failed");
  EXPECT_EQ(text.rfind("Installation failed.\r\n", 0), 0u) << text;
  EXPECT_GT(text.size(), std::string("Installation failed.\r\n").size()) << "the reason follows";
  EXPECT_TRUE(attributes(folder + "\\Zorv.exe") & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(attributes(folder + "\\autorun.inf"), INVALID_FILE_ATTRIBUTES) << "nothing after the failed step";
}

TEST_F(Installer, ReinstallingOverwritesTruncatesAndKeepsTheConfigurationFolder) {
  install_to_folder(folder + "\\", never_raised_abort_signal());
  SetFileAttributesW(wide(folder + "\\Zorv.exe.localconfig.opt").c_str(), FILE_ATTRIBUTE_NORMAL);
  { std::ofstream(folder + "\\Zorv.exe.localconfig.opt") << "stale"; }
  { std::ofstream(folder + "\\zorv-configuration\\config.dat") << "kept"; }
  SetFileAttributesW(wide(folder + "\\zorv-configuration").c_str(), FILE_ATTRIBUTE_DIRECTORY);
  install_to_folder(folder, never_raised_abort_signal());  // no trailing backslash: the same names
  EXPECT_EQ(read_file(folder + "\\Zorv.exe.localconfig.opt"), "");
  EXPECT_EQ(read_file(folder + "\\zorv-configuration\\config.dat"), "kept");
  EXPECT_FALSE(attributes(folder + "\\zorv-configuration") & FILE_ATTRIBUTE_HIDDEN) << "an existing folder stays as it is";
  EXPECT_EQ(read_file(folder + "\\autorun.inf").size(), 66u);

  raisable_abort_signal abort;
  abort.raise();
  EXPECT_ANY_THROW(install_to_folder(folder, abort));
}

TEST_F(Installer, CancellingWhileTheCopyRunsEndsTheWizardWithoutACompletion) {
  wizard = install_wizard::open(nullptr);
  install_wizard* object = install_wizard::from_window(wizard);
  ASSERT_NE(object, nullptr);
  SendMessageW(wizard, WM_COMMAND, IDOK, 0);
  SetWindowTextW(GetDlgItem(object->page_window(2), IDC_INSTALL_DESTINATION), wide(folder).c_str());
  SendMessageW(wizard, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(object->page_number(), 3);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard, IDOK)));
  SendMessageW(wizard, WM_COMMAND, IDCANCEL, 0);  // waits for the copy job
  EXPECT_FALSE(IsWindow(wizard));
  pump_until([] { return main_thread_queue::get_count() == 0; }, 2000);
  pump_pending();
}

}  // namespace
