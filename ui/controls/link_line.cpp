#include "ui/controls/link_line.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>

#include "ui/framework/double_buffer.h"

namespace {

bool starts_with_tag(const std::wstring& text, std::size_t at, const wchar_t* tag) {
  for (std::size_t i = 0; tag[i] != 0; ++i)
    if (at + i >= text.size() || std::towlower(text[at + i]) != tag[i]) return false;
  return true;
}

// "<a>" or "<a" followed by a space and attributes.
bool opens_link(const std::wstring& text, std::size_t at) {
  if (!starts_with_tag(text, at, L"<a")) return false;
  return at + 2 < text.size() && (text[at + 2] == L'>' || std::iswspace(text[at + 2]));
}

// The value of attribute `name` (id, href) in the text of an opening tag.
std::wstring attribute(const std::wstring& tag, const wchar_t* name) {
  const std::size_t length = std::wcslen(name);
  for (std::size_t at = 0; at + length + 1 < tag.size(); ++at) {
    if ((at > 0 && !std::iswspace(tag[at - 1])) || !starts_with_tag(tag, at, name) || tag[at + length] != L'=')
      continue;
    std::size_t start = at + length + 1;
    const wchar_t quote = start < tag.size() && (tag[start] == L'"' || tag[start] == L'\'') ? tag[start++] : 0;
    std::size_t end = start;
    while (end < tag.size() && (quote ? tag[end] != quote : !std::iswspace(tag[end]))) ++end;
    return tag.substr(start, end - start);
  }
  return {};
}

void append_shown(std::wstring& out, const std::wstring& text, bool no_prefix) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!no_prefix && text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') out += text[++i];
      continue;
    }
    out += text[i];
  }
}

// The text and links of the control, as it stores them.
std::wstring markup_of(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

bool is_focused_link(HWND window, int link) {
  LITEM item = {};
  item.mask = LIF_ITEMINDEX | LIF_STATE;
  item.iLink = link;
  item.stateMask = LIS_FOCUSED;
  return SendMessageW(window, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)) && (item.state & LIS_FOCUSED);
}

// WCAG's relative luminance of a colour, 0 (black) to 1 (white).
double luminance(COLORREF colour) {
  const auto channel = [](int value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
         0.0722 * channel(GetBValue(colour));
}

// The system's link colour, unless it cannot be read on the background (some
// colour schemes make it a pale grey): then a plain link blue.
COLORREF default_link_colour(COLORREF background) {
  const COLORREF system = GetSysColor(COLOR_HOTLIGHT);
  const double a = luminance(system), b = luminance(background);
  const double contrast = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
  return contrast >= 3.0 ? system : RGB(0, 0x66, 0xCC);
}

}  // namespace

std::vector<link_line_piece> link_line_parse(const std::wstring& markup, bool no_prefix) {
  std::vector<link_line_piece> pieces;
  std::size_t at = 0;
  int links = 0;
  while (at < markup.size()) {
    link_line_piece piece;
    if (opens_link(markup, at)) {
      const std::size_t tag_end = markup.find(L'>', at);
      if (tag_end == std::wstring::npos) break;  // an unfinished tag shows nothing
      const std::wstring tag = markup.substr(at + 2, tag_end - at - 2);
      piece.link = links++;
      piece.id = attribute(tag, L"id");
      piece.url = attribute(tag, L"href");
      std::size_t end = tag_end + 1;
      while (end < markup.size() && !starts_with_tag(markup, end, L"</a>")) ++end;
      append_shown(piece.text, markup.substr(tag_end + 1, end - tag_end - 1), no_prefix);
      at = end < markup.size() ? end + 4 : end;
    } else {
      std::size_t end = at + 1;
      while (end < markup.size() && !opens_link(markup, end)) ++end;
      append_shown(piece.text, markup.substr(at, end - at), no_prefix);
      at = end;
      if (piece.text.empty()) continue;
    }
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

HFONT link_line::link_font() {
  const auto base = reinterpret_cast<HFONT>(SendMessageW(handle(), WM_GETFONT, 0, 0));
  if (link_font_.get() == nullptr || base != link_font_base_) {
    LOGFONTW description = {};
    GetObjectW(base ? static_cast<HGDIOBJ>(base) : GetStockObject(DEFAULT_GUI_FONT), sizeof(description),
               &description);
    description.lfUnderline = TRUE;
    link_font_.reset(CreateFontIndirectW(&description));
    link_font_base_ = base;
  }
  return static_cast<HFONT>(link_font_.get());
}

std::vector<link_line::placed_piece> link_line::layout(HDC dc) {
  const bool no_prefix = (GetWindowLongPtrW(handle(), GWL_STYLE) & LWS_NOPREFIX) != 0;
  const auto plain_font = reinterpret_cast<HFONT>(SendMessageW(handle(), WM_GETFONT, 0, 0));
  std::vector<placed_piece> placed;
  int x = 0;
  for (link_line_piece& piece : link_line_parse(markup_of(handle()), no_prefix)) {
    const HFONT font = piece.link >= 0 ? link_font() : plain_font;
    selected_object_holder selected(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    const int length = static_cast<int>(piece.text.size());
    std::vector<INT> ends(piece.text.size());
    SIZE size = {};
    GetTextExtentExPointW(dc, piece.text.c_str(), length, 0, nullptr, ends.data(), &size);
    std::vector<INT> advances(ends.size());
    for (std::size_t i = 0; i < ends.size(); ++i) advances[i] = ends[i] - (i > 0 ? ends[i - 1] : 0);
    placed.push_back({std::move(piece), RECT{x, 0, x + size.cx, size.cy}, std::move(advances)});
    x += size.cx;
  }
  return placed;
}

int link_line::link_at(POINT point) {
  const HDC dc = GetDC(handle());
  if (dc == nullptr) return -1;
  const std::vector<placed_piece> placed = layout(dc);
  ReleaseDC(handle(), dc);
  RECT client = {};
  GetClientRect(handle(), &client);
  if (!PtInRect(&client, point)) return -1;
  for (const placed_piece& p : placed)
    if (p.piece.link >= 0 && PtInRect(&p.box, point)) return p.piece.link;
  return -1;
}

void link_line::paint(HDC target) {
  const HWND window = handle();
  const HWND parent = GetParent(window);
  RECT client = {};
  GetClientRect(window, &client);
  double_buffer buffer;
  HDC dc = buffer.begin(target, client);
  if (dc == nullptr) dc = target;

  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
  if (brush == nullptr) brush = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &client, brush);
  const COLORREF plain_colour = GetTextColor(dc);
  const COLORREF link_colour = default_link_colour(GetBkColor(dc));
  SetBkMode(dc, TRANSPARENT);

  NMCUSTOMDRAW draw = {};
  draw.hdr.hwndFrom = window;
  draw.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window));
  draw.hdr.code = NM_CUSTOMDRAW;
  draw.dwDrawStage = CDDS_PREPAINT;
  draw.hdc = dc;
  draw.rc = client;
  const LRESULT wanted = SendMessageW(parent, WM_NOTIFY, draw.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));

  const bool focused = GetFocus() == window;
  const auto plain_font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  for (const placed_piece& p : layout(dc)) {
    if (p.box.left >= client.right) break;
    SetTextColor(dc, p.piece.link >= 0 ? link_colour : plain_colour);
    if (wanted & CDRF_NOTIFYITEMDRAW) {
      draw.dwDrawStage = CDDS_ITEMPREPAINT;
      draw.dwItemSpec = static_cast<DWORD_PTR>(static_cast<INT_PTR>(p.piece.link));
      draw.rc = p.box;
      SendMessageW(parent, WM_NOTIFY, draw.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    }
    const HFONT font = p.piece.link >= 0 ? link_font() : plain_font;
    selected_object_holder selected(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    ExtTextOutW(dc, p.box.left, p.box.top, ETO_CLIPPED, &client, p.piece.text.c_str(),
                static_cast<UINT>(p.piece.text.size()), p.advances.data());
    if (focused && p.piece.link >= 0 && is_focused_link(window, p.piece.link)) {
      RECT box = p.box;
      IntersectRect(&box, &box, &client);
      SetTextColor(dc, plain_colour);
      DrawFocusRect(dc, &box);
    }
  }
}

void link_line::click(int link) {
  const HWND window = handle();
  // The keyboard goes on from the link that was clicked.
  LITEM item = {};
  item.mask = LIF_ITEMINDEX | LIF_STATE;
  item.stateMask = LIS_FOCUSED;
  for (item.iLink = 0; SendMessageW(window, LM_SETITEM, 0, reinterpret_cast<LPARAM>(&item)); ++item.iLink) {
  }
  item.iLink = link;
  item.state = LIS_FOCUSED;
  SendMessageW(window, LM_SETITEM, 0, reinterpret_cast<LPARAM>(&item));
  InvalidateRect(window, nullptr, FALSE);

  NMLINK notice = {};
  notice.hdr.hwndFrom = window;
  notice.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window));
  notice.hdr.code = NM_CLICK;
  notice.item.mask = LIF_ITEMINDEX | LIF_STATE | LIF_ITEMID | LIF_URL;
  notice.item.iLink = link;
  notice.item.state = LIS_ENABLED | LIS_FOCUSED;
  for (const link_line_piece& piece : link_line_parse(markup_of(window), true)) {
    if (piece.link != link) continue;
    wcsncpy(notice.item.szID, piece.id.c_str(), MAX_LINKID_TEXT - 1);
    wcsncpy(notice.item.szUrl, piece.url.c_str(), L_MAX_URL_LENGTH - 1);
  }
  SendMessageW(GetParent(window), WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
}

bool link_line::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) {
  switch (message) {
  case WM_PAINT: {
    PAINTSTRUCT paint_info = {};
    const HDC dc = BeginPaint(window, &paint_info);
    if (dc != nullptr) paint(dc);
    EndPaint(window, &paint_info);
    result = 0;
    return true;
  }
  case WM_PRINTCLIENT:
    paint(reinterpret_cast<HDC>(wparam));
    result = 0;
    return true;
  case WM_ERASEBKGND:
    result = 1;
    return true;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK:
    pressed_link_ = link_at(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
    if (pressed_link_ >= 0) SetFocus(window);
    result = 0;
    return true;
  case WM_LBUTTONUP: {
    const int link = link_at(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
    const int pressed = pressed_link_;
    pressed_link_ = -1;
    if (link >= 0 && link == pressed) click(link);
    result = 0;
    return true;
  }
  case WM_SETCURSOR: {
    if (LOWORD(lparam) != HTCLIENT) return false;
    POINT point = {};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    SetCursor(LoadCursorW(nullptr, link_at(point) >= 0 ? IDC_HAND : IDC_ARROW));
    result = TRUE;
    return true;
  }
  case WM_SETTEXT:
  case WM_SETFONT:
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
    // The control repaints what it laid out itself; the whole line is ours.
    result = call_previous(message, wparam, lparam);
    InvalidateRect(window, nullptr, FALSE);
    return true;
  default:
    return false;
  }
}
