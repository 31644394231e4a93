// A line of text with links (a SysLink control) that draws itself and
// resolves mouse clicks by its own layout, so that what is shown and what a
// click opens agree on every system: some link controls report a clicked link
// by an index that also counts the plain text between links, and ignore the
// colours their parent chooses. Focus, Tab between the links and Enter stay
// with the control itself.
//
// The parent chooses colours as for any link control: WM_CTLCOLORSTATIC for
// the background and plain text, NM_CUSTOMDRAW item stages (item spec -1 for
// plain text, else the link's index) for each piece. A click on a link sends
// NM_CLICK with the link's index, id and address.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/framework/window_object.h"
#include "ui/framework/window_utilities.h"

// One run of the line: plain text (link -1) or the text of link `link`.
struct link_line_piece {
  std::wstring text;
  int link = -1;
  std::wstring id;
  std::wstring url;
};

// Splits SysLink markup into runs: "<a>" or "<a" with id="..." and
// href="..." attributes opens a link, "</a>" closes it, letter case aside.
// Without `no_prefix`, "&&" stands for one "&" and a single "&" marks a
// mnemonic and is not shown.
std::vector<link_line_piece> link_line_parse(const std::wstring& markup, bool no_prefix);

class link_line final : public window_object {
public:
  // Takes over a SysLink control of a dialog; false when it cannot.
  bool attach_to(HWND control) { return subclass(control); }

  // The index of the link at a client point, or -1.
  int link_at(POINT point);

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;

private:
  struct placed_piece {
    link_line_piece piece;
    RECT box;
    // Each character's advance as measured: drawing with them keeps the ink
    // inside `box` where a system renders a font wider than it measures it.
    std::vector<INT> advances;
  };

  std::vector<placed_piece> layout(HDC dc);
  void paint(HDC target);
  void click(int link);
  HFONT link_font();

  gdi_object_holder link_font_;
  HFONT link_font_base_ = nullptr;
  int pressed_link_ = -1;
};
