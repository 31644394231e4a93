// The about box: the program's name and version, a line of text, its
// picture, and links to the licence page and the project's web site.
#pragma once

#include <windows.h>

#include "ui/controls/link_line.h"
#include "ui/dialogs/licence_page.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/modal_dialog.h"
#include "ui/framework/window_utilities.h"

namespace about_box_texts {
constexpr const char* title = "Zorv Audio Player v1.0.21";
constexpr const char* web_site = "https://zorv-audio-player.example/";
}  // namespace about_box_texts

class about_box final : public modal_dialog {
public:
  // `open` takes the licence page and the web site to the browser.
  explicit about_box(shell_opener open = open_with_shell) : open_(std::move(open)) {}

  // Runs the box modally with GDI+ started around it. Nothing happens while
  // another modal window is open: that window comes forward with a beep.
  static void show(HWND owner, shell_opener open = open_with_shell);

protected:
  INT_PTR on_message(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
  void on_init();
  void draw_picture(const DRAWITEMSTRUCT& item);

  shell_opener open_;
  gdi_object_holder font_;
  gdiplus_image picture_;
  // Measured in the larger font, so the links show whole.
  link_line links_;
};
