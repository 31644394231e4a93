#include "ui/dialogs/about_box.h"

#include <commctrl.h>
#include <gdiplus.h>

#include "core/localized_window_text.h"
#include "foundation/window_text.h"
#include "resources/about_dialog.h"
#include "ui/framework/drawing.h"
#include "ui/framework/gdiplus_session.h"
#include "ui/menus/information_popup.h"

void about_box::show(HWND owner, shell_opener open) {
  if (!ui_interaction_allowed()) return;
  gdiplus_session gdiplus;
  about_box box(std::move(open));
  box.run_modal(IDD_ABOUT, owner);
}

INT_PTR about_box::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      on_init();
      return TRUE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID != IDC_ABOUT_PICTURE) return FALSE;
      draw_picture(item);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (header.idFrom != IDC_ABOUT_LINKS || (header.code != NM_CLICK && header.code != NM_RETURN)) return FALSE;
      const int link = reinterpret_cast<const NMLINK*>(lparam)->item.iLink;
      if (link == 0) show_licence_page(GetActiveWindow(), open_);
      else if (link == 1) open_(handle(), about_box_texts::web_site);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(handle(), LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void about_box::on_init() {
  const HWND dialog = handle();
  set_dlg_item_text_utf8(dialog, IDC_ABOUT_TITLE, about_box_texts::title);
  set_localized_window_text(dialog, "menu_about", "About");
  set_localized_item_text(dialog, IDC_ABOUT_TEXT, "about_licence", "Free software under the Apache License 2.0.");
  set_localized_item_text(dialog, IDC_ABOUT_LINKS, "about_links", "<a>License && credits</a> | <a>Web site</a>");
  links_.attach_to(GetDlgItem(dialog, IDC_ABOUT_LINKS));
  HFONT larger = nullptr;
  font_with_scaled_height(larger, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), 1.3);
  if (larger != nullptr) {
    font_.reset(larger);
    for (int id : {IDC_ABOUT_TITLE, IDC_ABOUT_TEXT, IDC_ABOUT_LINKS})
      SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(larger), TRUE);
  }
  picture_ = load_resource_png(IDR_ABOUT_PICTURE);
}

void about_box::draw_picture(const DRAWITEMSTRUCT& item) {
  paint_parent_background(item.hwndItem, item.hDC);
  if (!picture_) return;
  RECT area;
  GetClientRect(item.hwndItem, &area);
  gdiplus_graphics_holder graphics;
  gdiplus_check(Gdiplus::DllExports::GdipCreateFromHDC(item.hDC, &graphics.graphics));
  gdiplus_check(Gdiplus::DllExports::GdipSetCompositingQuality(graphics.graphics,
                                                               Gdiplus::CompositingQualityHighQuality));
  gdiplus_check(Gdiplus::DllExports::GdipSetInterpolationMode(graphics.graphics,
                                                              Gdiplus::InterpolationModeHighQuality));
  gdiplus_check(Gdiplus::DllExports::GdipDrawImageRectI(graphics.graphics, picture_.get(), area.left, area.top,
                                                        area.right - area.left, area.bottom - area.top));
}
