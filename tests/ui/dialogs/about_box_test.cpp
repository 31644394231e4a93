// The about box as the user meets it (the real template, run modally, looked
// at), and the licence page it writes: credits escaped, a native path handed
// to the shell, a write failure shown in the information popup.
#include "ui/dialogs/about_box.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/localized_text.h"
#include "core/popup_message.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/code_page_text.h"
#include "resources/about_dialog.h"
#include "support/message_pump.h"
#include "support/screen_capture.h"

namespace {

std::vector<std::string> popups;

class recording_popup : public popup_message {
public:
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    popups.push_back(std::string(caption) + ": " + text);
  }
};
service_factory_single_t<recording_popup> popup_registration;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::wstring wide(const std::string& text) { return qiv::utf8_to_utf16(text.data(), text.size()); }

class AboutBox : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    service_registry::table().build(service_factory::global_list_head);
  }
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(temp, L"abt", 0, name);
    DeleteFileW(name);
    CreateDirectoryW(name, nullptr);
    profile = qiv::utf16_to_utf8(name, wcslen(name));
    app::state().profile_path.set_string(("file://" + profile).c_str());
    popups.clear();
    localized_text::set("dialog_information", "Information");
  }
  void TearDown() override {
    for (const char* file : {"license.html", "license-apache-2.0.txt"}) {
      const std::wstring path = wide(profile + "\\about\\" + file);
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(wide(profile + "\\about").c_str());
    RemoveDirectoryW(wide(profile).c_str());
    set_localization_credits("");
  }

  std::string profile;
};

TEST(LicencePage, CreditsAreEscapedIntoOneParagraphAndNoCreditsRemoveIt) {
  EXPECT_EQ(escape_credits_html("Anna & Bo\r\nC\"d\" 'e' <f>\n\xC3\xA9"),
            "Anna &amp; Bo<br />C&quot;d&quot; &#039;e&#039; &lt;f&gt;<br />\xC3\xA9");
  const std::string page = "<body>\n<p>Localization credits here</p>\n</body>";
  EXPECT_EQ(insert_credits(page, "X & Y"), "<body>\n<p>X &amp; Y</p>\n</body>");
  EXPECT_EQ(insert_credits(page, ""), "<body>\n\n</body>");
  EXPECT_EQ(insert_credits("<p>no marker</p>", "X"), "<p>no marker</p>");
}

TEST_F(AboutBox, TheLicenceLinkWritesBothFilesAndOpensTheNativePathAgainAndAgain) {
  set_localization_credits("Anna & Bo\r\nCarl");
  std::vector<std::string> opened;
  const shell_opener recorder = [&](HWND, const char* target) { opened.push_back(target); };
  show_licence_page(nullptr, recorder);
  show_licence_page(nullptr, recorder);  // the "about" folder is reused, the files replaced
  ASSERT_EQ(opened.size(), 2u) << (popups.empty() ? std::string() : popups[0]);
  EXPECT_EQ(opened[0], profile + "\\about\\license.html");
  EXPECT_EQ(opened[0].find("file:"), std::string::npos);
  const std::string html = read_file(opened[0]);
  EXPECT_NE(html.find("<p>Anna &amp; Bo<br />Carl</p>"), std::string::npos);
  EXPECT_EQ(html.find("Localization credits here"), std::string::npos);
  const std::string apache = read_file(profile + "\\about\\license-apache-2.0.txt");
  EXPECT_NE(apache.find("Apache License"), std::string::npos);
  EXPECT_TRUE(popups.empty());
}

TEST_F(AboutBox, AFileThatCannotBeWrittenIsReportedInThePopupAndNothingOpens) {
  CreateDirectoryW(wide(profile + "\\about").c_str(), nullptr);
  const std::wstring page = wide(profile + "\\about\\license.html");
  { std::ofstream(profile + "\\about\\license.html") << "old"; }
  SetFileAttributesW(page.c_str(), FILE_ATTRIBUTE_READONLY);
  std::vector<std::string> opened;
  show_licence_page(nullptr, [&](HWND, const char* target) { opened.push_back(target); });
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0].rfind("Information: ", 0), 0u) << popups[0];
  EXPECT_EQ(read_file(profile + "\\about\\license.html"), "old");
}

// The box runs modally; a thread timer inside its loop looks at it, clicks
// its links and closes it.
struct box_session {
  HWND dialog = nullptr;
  std::string title, link_text;
  bool picture_drawn_over_background = false;
  int links_ink_width = 0, links_text_width = 0;
  int inked_columns_in_space_after_first_link = -1;
  std::vector<std::string> opened;
  int step = 0;
};
box_session* session = nullptr;

void click_link(HWND dialog, int link) {
  NMLINK click = {};
  click.hdr.hwndFrom = GetDlgItem(dialog, IDC_ABOUT_LINKS);
  click.hdr.idFrom = IDC_ABOUT_LINKS;
  click.hdr.code = NM_CLICK;
  click.item.iLink = link;
  SendMessageW(dialog, WM_NOTIFY, IDC_ABOUT_LINKS, reinterpret_cast<LPARAM>(&click));
}

void CALLBACK drive_box(HWND, UINT, UINT_PTR timer, DWORD) {
  box_session& s = *session;
  const HWND dialog = FindWindowW(L"#32770", L"About");
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, timer);
  s.dialog = dialog;
  wchar_t text[200] = {};
  GetDlgItemTextW(dialog, IDC_ABOUT_TITLE, text, 200);
  s.title = qiv::utf16_to_utf8(text, wcslen(text));
  wchar_t class_name[64] = {};
  GetClassNameW(GetDlgItem(dialog, IDC_ABOUT_LINKS), class_name, 64);
  s.link_text = qiv::utf16_to_utf8(class_name, wcslen(class_name));
  SetWindowPos(dialog, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
  test_support::screen_capture shot(dialog);
  shot.save("about_box");
  // The picture's corner shows the image, not a blank: it is not the dialog's face colour throughout.
  RECT picture;
  GetWindowRect(GetDlgItem(dialog, IDC_ABOUT_PICTURE), &picture);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&picture), 2);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int differing = 0;
  for (int y = picture.top; y < picture.bottom; y += 4)
    for (int x = picture.left; x < picture.right; x += 4)
      if (shot.client_pixel(x, y) != face) ++differing;
  s.picture_drawn_over_background = differing > 20;
  // The links show whole: ink reaches as far as the line's text measured in
  // the control's font.
  const HWND links = GetDlgItem(dialog, IDC_ABOUT_LINKS);
  RECT line;
  GetWindowRect(links, &line);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&line), 2);
  const COLORREF paper = shot.client_pixel(line.left, line.top);
  for (int y = line.top; y < line.bottom; ++y)
    for (int x = line.left; x < line.right; ++x)
      if (shot.client_pixel(x, y) != paper) s.links_ink_width = std::max(s.links_ink_width, int(x - line.left + 1));
  const HDC dc = GetDC(links);
  const HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(links, WM_GETFONT, 0, 0)));
  SIZE extent = {};
  const wchar_t shown[] = L"License & credits | Web site";
  GetTextExtentPoint32W(dc, shown, static_cast<int>(wcslen(shown)), &extent);
  s.links_text_width = extent.cx;
  // The space between the first link and the bar stays blank: the link's
  // letters end where their width was measured, above the underline.
  SIZE first_link = {}, space = {};
  GetTextExtentPoint32W(dc, L"License & credits", 17, &first_link);
  GetTextExtentPoint32W(dc, L" ", 1, &space);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old_font);
  ReleaseDC(links, dc);
  s.inked_columns_in_space_after_first_link = 0;
  for (int x = line.left + first_link.cx + 1; x < line.left + first_link.cx + space.cx; ++x) {
    bool inked = false;
    for (int y = line.top; y < line.top + metrics.tmAscent; ++y) inked = inked || shot.client_pixel(x, y) != paper;
    s.inked_columns_in_space_after_first_link += inked ? 1 : 0;
  }
  click_link(dialog, 0);
  click_link(dialog, 1);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(AboutBox, ShowsTitleLinksAndPictureAndItsLinksReachTheShell) {
  box_session s;
  session = &s;
  SetTimer(nullptr, 0, 50, &drive_box);
  about_box::show(nullptr, [&](HWND, const char* target) { s.opened.push_back(target); });
  session = nullptr;
  ASSERT_NE(s.dialog, nullptr);
  EXPECT_FALSE(IsWindow(s.dialog));
  EXPECT_EQ(s.title, "Zorv Audio Player v1.0.21");
  EXPECT_EQ(s.link_text, "SysLink");
  EXPECT_TRUE(s.picture_drawn_over_background);
  EXPECT_GE(s.links_ink_width, s.links_text_width - 3) << "the links are cut short";
  EXPECT_EQ(s.inked_columns_in_space_after_first_link, 0) << "the space before the bar is drawn over";
  ASSERT_EQ(s.opened.size(), 2u);
  EXPECT_EQ(s.opened[0], profile + "\\about\\license.html");
  EXPECT_EQ(s.opened[1], about_box_texts::web_site);
}

}  // namespace
