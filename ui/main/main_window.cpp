#include "ui/main/main_window.h"

#include <commctrl.h>
#include <gdiplus.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_set>

#include "core/command_dispatcher.h"
#include "core/hidden_main_window.h"
#include "core/media_keys.h"
#include "core/localized_text.h"
#include "core/message_loop.h"
#include "core/separator_control.h"
#include "core/service_registry.h"
#include "core/ui_control.h"
#include "foundation/bit_array.h"
#include "foundation/window_text.h"
#include "library/media_library.h"
#include "library/nav_node.h"
#include "playback/playback_front.h"
#include "playback/playback_order.h"
#include "resources/main_window_dialog.h"
#include "ui/controls/push_button.h"
#include "ui/controls/volume_popup.h"
#include "ui/framework/gdiplus_image.h"
#include "ui/framework/window_exception_boundary.h"
#include "ui/main/main_window_menus.h"
#include "ui/main/play_actions.h"
#include "ui/menus/keyboard_shortcuts.h"

using namespace Gdiplus::DllExports;

namespace {

main_window* the_main_window = nullptr;

// The number of times the shown view was rebuilt after a change, as a
// property of the window.
constexpr wchar_t view_rebuilds_property[] = L"ZorvViewRebuilds";

// The application's exit command.
constexpr GUID exit_command = {0x6D38C73A, 0x15D8, 0x472C, {0x8E, 0x68, 0x6F, 0x94, 0x6B, 0x82, 0xEC, 0xB4}};

constexpr dialog_anchor anchors[] = {
    {IDC_MAIN_PAUSE, 0, 0, 0, 0},
    {IDC_MAIN_VOLUME, 0, 0, 0, 0},
    {IDC_MAIN_NOW_PLAYING_1, 0, 0, 1, 0},
    {IDC_MAIN_NOW_PLAYING_2, 0, 0, 1, 0},
    {IDC_MAIN_FULL_SCREEN, 1, 0, 1, 0},
    {IDC_MAIN_MENU, 1, 0, 1, 0},
    {IDC_MAIN_SEPARATOR, 0, 0, 1, 0},
    {IDC_MAIN_BACK, 0, 0, 0, 0},
    {IDC_MAIN_FORWARD, 0, 0, 0, 0},
    {IDC_MAIN_PLAY, 0, 0, 0, 0},
    {IDC_MAIN_CAPTION_LINE, 0, 0, 1, 0},
    {IDC_MAIN_PATH_LINE, 0, 0, 1, 0},
    {IDC_MAIN_LIST, 0, 0, 1, 1},
    {IDC_MAIN_INDEXING, 0.5f, 0.5f, 0.5f, 0.5f},
};

struct control_text {
  int id;
  const char* text_id;
};
constexpr control_text control_texts[] = {
    {IDC_MAIN_SEPARATOR, "ui_music_library"}, {IDC_MAIN_PAUSE, "ui_pause"},
    {IDC_MAIN_VOLUME, "ui_volume"},           {IDC_MAIN_REWIND, "ui_rewind"},
    {IDC_MAIN_FAST_FORWARD, "ui_fastforward"}, {IDC_MAIN_REPEAT, "ui_repeat"},
    {IDC_MAIN_FULL_SCREEN, "ui_fullscreen"},   {IDC_MAIN_MENU, "ui_menu"},
    {IDC_MAIN_BACK, "ui_back"},               {IDC_MAIN_FORWARD, "ui_forward"},
    {IDC_MAIN_PLAY, "ui_play"},               {IDC_MAIN_INDEXING, "ui_indexing"},
};

constexpr int tooltip_controls[] = {IDC_MAIN_PLAY,    IDC_MAIN_PAUSE,       IDC_MAIN_REPEAT, IDC_MAIN_VOLUME,
                                    IDC_MAIN_BACK,    IDC_MAIN_FORWARD,     IDC_MAIN_FULL_SCREEN,
                                    IDC_MAIN_MENU,    IDC_MAIN_REWIND,      IDC_MAIN_FAST_FORWARD};

bool is_button(int id) {
  switch (id) {
  case IDC_MAIN_PAUSE:
  case IDC_MAIN_VOLUME:
  case IDC_MAIN_REPEAT:
  case IDC_MAIN_FULL_SCREEN:
  case IDC_MAIN_MENU:
  case IDC_MAIN_BACK:
  case IDC_MAIN_FORWARD:
  case IDC_MAIN_REWIND:
  case IDC_MAIN_FAST_FORWARD:
  case IDC_MAIN_PLAY:
    return true;
  default:
    return false;
  }
}

constexpr int link_line_ids[] = {IDC_MAIN_NOW_PLAYING_1, IDC_MAIN_NOW_PLAYING_2, IDC_MAIN_CAPTION_LINE,
                                 IDC_MAIN_PATH_LINE};

bool is_link_line(int id) { return std::find(std::begin(link_line_ids), std::end(link_line_ids), id) != std::end(link_line_ids); }

std::uint32_t button_icon_of(int id) {
  switch (id) {
  case IDC_MAIN_PAUSE: return 106;
  case IDC_MAIN_REWIND: return 283;
  case IDC_MAIN_FAST_FORWARD: return 284;
  case IDC_MAIN_REPEAT: return 286;
  case IDC_MAIN_FULL_SCREEN: return 105;
  case IDC_MAIN_MENU: return 110;
  case IDC_MAIN_BACK: return 260;
  case IDC_MAIN_FORWARD: return 261;
  case IDC_MAIN_PLAY: return 107;
  default: return 0;
  }
}

// The icon of the Volume button for a volume.
std::uint32_t volume_icon_of(float decibels) {
  if (decibels == -100.0f) return 273;
  if (decibels < -15.0f) return 272;
  if (decibels < -5.0f) return 271;
  return 111;
}

bool is_classic_theme() {
  const GUID theme = current_theme();
  return theme != theme_ids::black && theme != theme_ids::white && theme != theme_ids::graphite;
}

void draw_image(HDC dc, Gdiplus::GpImage* image, int x, int y, int width, int height) {
  gdiplus_graphics_holder graphics;
  gdiplus_check(GdipCreateFromHDC(dc, &graphics.graphics));
  gdiplus_check(GdipDrawImageRectI(graphics.graphics, image, x, y, width, height));
}

// The dialog font with its height scaled; a height that would round to 0
// keeps its sign and becomes 1.
HFONT scaled_font(HWND dialog, double factor, bool thin) {
  const auto dialog_font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW description = {};
  if (dialog_font == nullptr || GetObjectW(dialog_font, sizeof(description), &description) == 0) return nullptr;
  const LONG height = static_cast<LONG>(std::floor(description.lfHeight * factor + 0.5));
  description.lfHeight = height != 0 ? height : (description.lfHeight < 0 ? -1 : 1);
  if (thin) description.lfWeight = 100;
  return CreateFontIndirectW(&description);
}

constexpr DWORD full_screen_styles = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD full_screen_ex_styles = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

// The window's answers to the library and to playback run inside their
// callers; a failure is reported here instead of reaching them.
template <class Body>
void guarded(const char* where, Body&& body) noexcept {
  guard_window_callback(where, 0, [&] {
    body();
    return 0;
  });
}

}  // namespace

main_window::main_window(window_message_hook hook)
    : hook_(hook),
      shortcuts_(service_query_required<keyboard_shortcuts_main>(service_lookup_unique_t<keyboard_shortcuts>().get())),
      navigation_(nav_controller_get()) {
  message_loop::get().add_filter(this);
  playback_listener_registry::add(this, 0xFFFFFFFFu, false);
  theme_listeners::add(static_cast<theme_listener*>(this));
  theme_listeners::add(static_cast<album_pictures_listener*>(this));
  the_main_window = this;
  resizer_.set_anchors(anchors, std::size(anchors));
  resizer_.minimum_size_dialog_units = {250, 150};
  dark_ = theme_is_dark();
  navigation_.set_host(this);
  navigation_.show_pictures = album_pictures_shown();
}

main_window::~main_window() {
  if (handle() != nullptr) DestroyWindow(handle());
  navigation_.set_host(nullptr);
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
  if (big_icon_ != nullptr) DestroyIcon(big_icon_);
  if (small_icon_ != nullptr) DestroyIcon(small_icon_);
  playback_listener_registry::remove(this);
  message_loop::get().remove_filter(this);
  theme_listeners::remove(static_cast<theme_listener*>(this));
  theme_listeners::remove(static_cast<album_pictures_listener*>(this));
  if (the_main_window == this) the_main_window = nullptr;
}

main_window* main_window::current() noexcept { return the_main_window; }

HWND main_window::create() {
  separator_control::register_class();
  register_push_button_class();
  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LINK_CLASS | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  SetLastError(0);
  return create_modeless(IDD_MAIN_WINDOW, nullptr);
}

void main_window::post_play_pause() {
  main_window* window = current();
  if (window == nullptr || window->handle() == nullptr) return;
  const WPARAM id = playback_front_get().is_playing() ? IDC_MAIN_PAUSE : IDC_MAIN_PLAY;
  PostMessageW(window->handle(), WM_COMMAND, id, 0);
}

bool main_window::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                  DWORD map_id) {
  if (map_id != 0) return false;
  switch (message) {
  case WM_DESTROY:
    KillTimer(window, seek_timer_id);
    RemovePropW(window, view_rebuilds_property);
    // Made without an owner, it would outlive the window.
    if (tooltip_ != nullptr) DestroyWindow(std::exchange(tooltip_, nullptr));
    resizer_.process_message(window, message, wparam, lparam, result);
    result = 0;
    return true;
  case WM_INITDIALOG:
    replace_list_placeholder();
    break;
  default:
    break;
  }
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  if (message == WM_APPCOMMAND) {
    const std::uint32_t command = GET_APPCOMMAND_LPARAM(lparam);
    if (command == APPCOMMAND_BROWSER_BACKWARD || command == APPCOMMAND_BROWSER_FORWARD) {
      navigation_.history_step(command);
      result = TRUE;
      return true;
    }
    // The media keys go on to the shell, which hands them to the hidden
    // window; where the shell takes no registration (Wine) they would be
    // lost, and the window hands them over itself.
    if (hidden_main_window::shell_hook_accepted()) return false;
    result = media_key_handler(lparam);
    return result != 0;
  }
  if (hook_ != nullptr && hook_(window, message, wparam, lparam, result)) return true;
  switch (message) {
  case WM_INITDIALOG:
    on_init_dialog();
    result = FALSE;  // the focus is set
    return true;
  case WM_COMMAND:
    result = 0;
    return on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
  case WM_CONTEXTMENU:
    on_context_menu(reinterpret_cast<HWND>(wparam), {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
    result = 0;
    return true;
  case WM_CLOSE:
    // Closing the window ends the program through the exit command, which
    // asks the running tasks and the quit approvals first.
    run_group_command_by_guid(exit_command);
    result = 0;
    return true;
  case WM_NOTIFY:
    return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
  case WM_DROPFILES:
    on_drop_files(reinterpret_cast<HDROP>(wparam));
    result = 0;
    return true;
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORDLG:
  case WM_CTLCOLORSTATIC:
    return on_control_colour(reinterpret_cast<HDC>(wparam), result);
  case WM_TIMER:
    if (wparam != seek_timer_id) return false;
    on_seek_timer();
    result = 0;
    return true;
  case WM_THEMECHANGED:
    on_theme_changed();
    return false;
  default:
    return false;
  }
}

void main_window::replace_list_placeholder() {
  const HWND placeholder = item(IDC_MAIN_LIST);
  RECT area = {0, 0, 0, 0};
  if (placeholder != nullptr) {
    GetWindowRect(placeholder, &area);
    MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&area), 2);
    DestroyWindow(placeholder);
  }
  list_window_ = list_.create(handle(), area, IDC_MAIN_LIST,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL |
                                  WS_TABSTOP);
  SendMessageW(list_window_, WM_SETFONT, SendMessageW(handle(), WM_GETFONT, 0, 0), FALSE);
  ShowWindow(list_window_, SW_SHOW);
}

void main_window::on_init_dialog() {
  const HWND window = handle();
  // A window larger than the screen has been cut down by the system, while
  // its controls stand where the template put them: they follow the anchors
  // to the size the window got.
  RECT natural = {0, 0, 340, 200};
  MapDialogRect(window, &natural);
  resizer_.adopt_layout_size({natural.right, natural.bottom});

  SetWindowTextW(window, L"Zorv Audio Player");

  const auto control = service_lookup_unique_t<ui_control>();
  HICON big = control->get_icon_sized(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  HICON small = control->get_icon_sized(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (big_icon_ != nullptr) DestroyIcon(big_icon_);
  if (small_icon_ != nullptr) DestroyIcon(small_icon_);
  big_icon_ = big;
  small_icon_ = small;

  for (const control_text& text : control_texts) set_dlg_item_text_utf8(window, text.id, localized_text_get(text.text_id));
  for (std::size_t i = 0; i < std::size(link_line_ids); ++i) link_lines_[i].attach_to(item(link_line_ids[i]));

  if (accelerators_ == nullptr)
    accelerators_ = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_WINDOW_KEYS));

  show_volume_icon(playback_front_get().get_volume());
  refresh_now_playing();
  refresh_pause_button();
  make_fonts();
  enable_play_button();
  SendMessageW(item(IDC_MAIN_REPEAT), BM_SETCHECK, playback_order::get().get_repeat() ? BST_CHECKED : BST_UNCHECKED,
               0);
  add_tooltips();

  fit_into_work_area(window);
  SetFocus(list_window_);
  ShowWindow(window, SW_SHOW);
  // The first view comes last, as nothing is painted before the loop runs:
  // a large library's file is still being read meanwhile. The last location;
  // one that can no longer be shown gives way to the albums, so that the
  // window always opens on something.
  try {
    navigation_.navigate(nav_last_location.value);
  } catch (const std::exception&) {
    navigation_.navigate({nav_kind_library_view, {{}, {}}});
  }
}

void main_window::make_fonts() {
  caption_font_.reset(scaled_font(handle(), 1.1, true));
  large_line_font_.reset(scaled_font(handle(), 1.1, false));
  small_line_font_.reset(scaled_font(handle(), 0.9, false));
  SendMessageW(item(IDC_MAIN_SEPARATOR), WM_SETFONT, reinterpret_cast<WPARAM>(caption_font_.get()), TRUE);
  SendMessageW(item(IDC_MAIN_CAPTION_LINE), WM_SETFONT, reinterpret_cast<WPARAM>(large_line_font_.get()), TRUE);
  SendMessageW(item(IDC_MAIN_PATH_LINE), WM_SETFONT, reinterpret_cast<WPARAM>(small_line_font_.get()), TRUE);
}

void main_window::add_tooltips() {
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  if (tooltip_ == nullptr) return;
  // Systems before version 6 know only the shorter structure.
  const bool version_6 = LOBYTE(LOWORD(GetVersion())) >= 6;
  for (const int id : tooltip_controls) {
    const HWND control = item(id);
    if (control == nullptr) continue;
    wchar_t text[512] = {};
    GetWindowTextW(control, text, 512);
    TOOLINFOW tool = {};
    tool.cbSize = version_6 ? sizeof(TOOLINFOW) : TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = handle();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

bool main_window::on_command(WORD id, WORD code, HWND control) {
  // Focus notifications come from every button; they carry its id too.
  if (code == BN_SETFOCUS) {
    if (keyboard_input_) {
      focus_rect_ = true;
      InvalidateRect(control, nullptr, TRUE);
    }
    return true;
  }
  if (code == BN_KILLFOCUS) {
    const bool was_shown = std::exchange(focus_rect_, false);
    if (was_shown) InvalidateRect(control, nullptr, TRUE);
    return true;
  }
  if (id == IDC_MAIN_REWIND || id == IDC_MAIN_FAST_FORWARD) {
    if (code == BN_CLICKED) {
      if (!seek_started_) playback_front_get().start(id == IDC_MAIN_REWIND ? command_previous : command_next, false);
      seek_started_ = false;
    } else if (code == BN_PUSHED) {
      seek_started_ = false;
      seek_button_ = id;
      SetTimer(handle(), seek_timer_id, seek_timer_ms, nullptr);
    } else if (code == BN_UNPUSHED) {
      KillTimer(handle(), seek_timer_id);
    }
    return true;
  }
  if (id == IDC_MAIN_FULL_SCREEN && (code == BN_CLICKED || code == 1)) {
    bool wanted;
    if (code == 1) {
      wanted = !is_full_screen();
      SendMessageW(item(IDC_MAIN_FULL_SCREEN), BM_SETCHECK, wanted ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
      wanted = SendMessageW(item(IDC_MAIN_FULL_SCREEN), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    set_full_screen(wanted);
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
  case IDC_MAIN_BACK:
    navigation_.history_step(1);
    return true;
  case IDC_MAIN_FORWARD:
    navigation_.history_step(2);
    return true;
  case IDC_MAIN_PLAY:
    play_items(0);
    return true;
  case IDC_MAIN_MENU: {
    const HWND button = item(IDC_MAIN_MENU);
    RECT area = {};
    GetWindowRect(button, &area);
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
    main_window_popup_main_menu(handle(), {(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    SendMessageW(button, BM_SETCHECK, BST_UNCHECKED, 0);
    return true;
  }
  case IDC_MAIN_PAUSE: {
    playback_front_impl& playback = playback_front_get();
    if (playback.is_playing())
      playback.pause(!playback.is_paused());
    else
      playback.start(command_play, false);
    return true;
  }
  case IDC_MAIN_VOLUME: {
    const HWND button = item(IDC_MAIN_VOLUME);
    RECT area = {};
    GetWindowRect(button, &area);
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
    try {
      volume_popup::run(handle(), {(area.left + area.right) / 2, area.bottom});
    } catch (...) {
      SendMessageW(button, BM_SETCHECK, BST_UNCHECKED, 0);
      throw;
    }
    SendMessageW(button, BM_SETCHECK, BST_UNCHECKED, 0);
    return true;
  }
  case IDC_MAIN_REPEAT:
    playback_order::get().set_repeat(SendMessageW(item(IDC_MAIN_REPEAT), BM_GETCHECK, 0, 0) == BST_CHECKED);
    return true;
  case IDOK:
    if (!open_selection()) play_items(0);
    return true;
  case IDCANCEL:
    set_full_screen(false);
    SendMessageW(item(IDC_MAIN_FULL_SCREEN), BM_SETCHECK, BST_UNCHECKED, 0);
    return true;
  default:
    return false;
  }
}

bool main_window::is_full_screen() const {
  return (GetWindowLongW(handle(), GWL_STYLE) & full_screen_styles) == 0;
}

void main_window::set_full_screen(bool wanted) {
  const HWND window = handle();
  const bool now = is_full_screen();
  if (wanted && !now) {
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return;
    ShowWindow(window, SW_MAXIMIZE);
    SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) & ~full_screen_styles);
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) & ~full_screen_ex_styles);
    const RECT& area = info.rcMonitor;
    SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
  } else if (!wanted && now) {
    SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | full_screen_styles);
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | full_screen_ex_styles);
    ShowWindow(window, SW_RESTORE);
  }
}

void main_window::on_seek_timer() {
  playback_front_impl& playback = playback_front_get();
  if (!playback.is_playing() || !playback.can_seek()) return;
  if (!seek_started_) {
    seek_started_ = true;
    seek_step_ = 2.0;
  } else {
    seek_step_ = std::min(seek_step_ * 1.5, 60.0);
  }
  playback.seek_delta(seek_button_ == IDC_MAIN_REWIND ? -seek_step_ : seek_step_);
}

bool main_window::on_notify(const NMHDR& header, LRESULT& result) {
  const int id = static_cast<int>(header.idFrom);
  if (header.code == NM_CLICK || header.code == NM_RETURN) {
    if (id == IDC_MAIN_NOW_PLAYING_1) {
      reveal_now_playing();
      result = 0;
      return true;
    }
    if (id == IDC_MAIN_NOW_PLAYING_2 || id == IDC_MAIN_CAPTION_LINE || id == IDC_MAIN_PATH_LINE) {
      follow_link(id, reinterpret_cast<const NMLINK&>(header).item.iLink);
      result = 0;
      return true;
    }
    return false;
  }
  if (header.code == NM_CUSTOMDRAW) {
    if (is_button(id)) {
      result = paint_button(*reinterpret_cast<NMCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
      return true;
    }
    if (is_link_line(id)) {
      result = colour_links(reinterpret_cast<const NMCUSTOMDRAW&>(header));
      return true;
    }
  }
  return false;
}

LRESULT main_window::paint_button(NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_SKIPDEFAULT;
  if (draw.dwDrawStage == CDDS_POSTPAINT) return CDRF_DODEFAULT;
  if (draw.dwDrawStage != CDDS_PREERASE) return CDRF_DODEFAULT;
  const HWND button = draw.hdr.hwndFrom;
  const int id = static_cast<int>(draw.hdr.idFrom);
  int state = 0;
  if (draw.uItemState & CDIS_DISABLED)
    state = face_disabled;
  else if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED || (draw.uItemState & CDIS_SELECTED))
    state = face_pressed;
  else if (draw.uItemState & CDIS_HOT)
    state = face_hot;
  RECT client = {};
  GetClientRect(button, &client);
  const int width = client.right, height = client.bottom;
  SetBkColor(draw.hdc, theme_colour(theme_background));
  ExtTextOutW(draw.hdc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
  if (width <= 0 || height <= 0) return CDRF_SKIPDEFAULT;

  const auto key = std::make_tuple(width, height, state);
  auto face = button_faces_.find(key);
  if (face == button_faces_.end()) face = button_faces_.emplace(key, button_face(button, state, width, height)).first;
  draw_image(draw.hdc, face->second.get(), 0, 0, width, height);

  std::uint32_t icon = id == IDC_MAIN_VOLUME ? volume_icon_ : button_icon_of(id);
  if (icon != 0) {
    const SIZE size = main_button_icon_size(button, true);
    if (state == face_disabled) icon |= button_icon_disabled;
    Gdiplus::GpBitmap* bitmap = button_icons_.button_icon(icon, size.cx, size.cy);
    draw_image(draw.hdc, bitmap, (width - size.cx) / 2, (height - size.cy) / 2, size.cx, size.cy);
  }
  if (focus_rect_ && (draw.uItemState & CDIS_FOCUS)) DrawFocusRect(draw.hdc, &client);
  return CDRF_SKIPDEFAULT;
}

LRESULT main_window::colour_links(const NMCUSTOMDRAW& draw) const {
  if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.dwDrawStage == CDDS_ITEMPREPAINT) {
    SetTextColor(draw.hdc, theme_colour(static_cast<int>(draw.dwItemSpec) == -1 ? theme_text : theme_link));
  }
  return CDRF_DODEFAULT;
}

bool main_window::on_control_colour(HDC dc, LRESULT& result) {
  // The classic theme keeps the system's colours.
  if (is_classic_theme()) return false;
  const COLORREF background = theme_colour(theme_background);
  SetTextColor(dc, theme_colour(theme_text));
  SetBkColor(dc, background);
  // The context's own brush: under Wine a brush kept across messages and
  // used in several contexts (the buttons draw the dialog's background into
  // their GDI+ bitmaps) came to paint white in the controls' contexts.
  SetDCBrushColor(dc, background);
  result = reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
  return true;
}

void main_window::on_context_menu(HWND target, POINT point) {
  if (target != list_window_) {
    main_window_popup_main_menu(handle(), point);
    return;
  }
  if (point.x == -1 && point.y == -1) {
    // From the keyboard: at the focused item, when there is one.
    if (!list_.focus_point(point)) return;
    ClientToScreen(list_window_, &point);
  }
  main_window_item_context_menu(*this, point);
}

void main_window::on_drop_files(HDROP drop) {
  wide_text_list paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
    paths.push_back(std::move(path));
  }
  DragFinish(drop);
  if (!paths.empty()) navigation_.open_path(paths, false);
}

// The message loop ends when a filter throws: what a key starts (a command,
// a navigation) is reported here and the program goes on.
bool main_window::filter(MSG& message) {
  return guard_window_callback("main window keys", true, [&] { return pre_translate(message); });
}

// The loop's step before translation: the tooltips see the mouse, then the
// window's keys, the keyboard shortcuts and the list's navigation keys come
// before the dialog manager.
bool main_window::pre_translate(MSG& message) {
  if (tooltip_ != nullptr) SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&message));
  const HWND window = handle();
  if (window == nullptr) return false;
  if (accelerators_ != nullptr && TranslateAcceleratorW(window, accelerators_, &message)) return true;
  if (shortcut_process_key_message(*this, window, message)) return true;
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && message.hwnd == list_window_ &&
      list_window_ != nullptr && navigation_key(message))
    return true;
  const bool keyboard = message.message == WM_KEYDOWN || message.message == WM_KEYUP || message.message == WM_CHAR ||
                        message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP;
  const bool outer = std::exchange(keyboard_input_, keyboard);
  const bool consumed = IsDialogMessageW(window, &message) != FALSE;
  keyboard_input_ = outer;
  return consumed;
}

bool main_window::run_shortcut(std::uint32_t key_code) { return shortcuts_ && shortcuts_->process_key_main(key_code); }

bool main_window::navigation_key(const MSG& message) {
  // Backspace goes back whatever modifiers are held.
  if (message.wParam == VK_BACK) {
    navigation_.history_step(1);
    return true;
  }
  if (get_modifier_key_state() != 1) return false;  // Alt alone
  switch (message.wParam) {
  case VK_LEFT:
    navigation_.history_step(1);
    return true;
  case VK_RIGHT:
    navigation_.history_step(2);
    return true;
  case VK_UP:
    navigation_.go_up();
    return true;
  default:
    return false;
  }
}

void main_window::move_focus(HWND target) {
  // Shows a focus rectangle only when the user works with the keyboard.
  const bool outer = std::exchange(keyboard_input_, focus_rect_);
  SendMessageW(handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
  keyboard_input_ = outer;
}

wide_text_list main_window::selected_names() const {
  wide_text_list names;
  const nav_view_state& view = navigation_.view();
  for (int i = 0; i < list_.item_count() && i < static_cast<int>(view.items.size()); ++i)
    if (list_.is_selected(i)) names.push_back(view.items[static_cast<std::size_t>(i)]);
  return names;
}

nav_list_state main_window::list_state() {
  nav_list_state state;
  if (list_window_ == nullptr) return state;
  state.selection = selected_names();
  const nav_view_state& view = navigation_.view();
  const int focus = list_.focus_index();
  if (focus >= 0 && focus < static_cast<int>(view.items.size()))
    state.focus.push_back(view.items[static_cast<std::size_t>(focus)]);
  const POINT scroll = list_.scroll_position();
  state.scroll = nav_scroll_position{scroll.x, scroll.y};
  return state;
}

void main_window::view_changed() {
  if (handle() != nullptr && list_window_ != nullptr) apply_view();
}

void main_window::node_changed() {
  guarded("library change", [&] {
    if (handle() == nullptr || list_window_ == nullptr) return;
    navigation_.refresh(true);
    // Every rebuild runs on this thread; the count lets a look from outside
    // tell how often the shown view was rebuilt by changes on disk.
    SetPropW(handle(), view_rebuilds_property, reinterpret_cast<HANDLE>(++view_rebuilds_));
  });
}

void main_window::scanning_changed(bool scanning) {
  guarded("library scan", [&] {
    if (handle() != nullptr) set_indexing(scanning);
  });
}

void main_window::set_indexing(bool shown) {
  indexing_shown_ = shown;
  const HWND notice = item(IDC_MAIN_INDEXING);
  ShowWindow(notice, shown ? SW_SHOW : SW_HIDE);
  if (shown) SetWindowPos(notice, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void main_window::apply_view() {
  const nav_view_state& view = navigation_.view();

  // Back and Forward; a button that loses its use hands the focus on first.
  const HWND back = item(IDC_MAIN_BACK), forward = item(IDC_MAIN_FORWARD);
  if (view.can_back) EnableWindow(back, TRUE);
  if (view.can_forward) EnableWindow(forward, TRUE);
  const HWND focus = GetFocus();
  if (!view.can_back && focus == back) move_focus(view.can_forward ? forward : list_window_);
  if (!view.can_forward && focus == forward) move_focus(view.can_back ? back : list_window_);
  if (!view.can_back) EnableWindow(back, FALSE);
  if (!view.can_forward) EnableWindow(forward, FALSE);

  playing_index_ = view.highlight;
  // A picture that is missing, damaged or too large shows no picture: the
  // list goes on without one.
  side_picture_.clear();
  has_side_picture_ = !view.picture.empty() && side_picture_.show_file(view.picture);

  list_.reload();
  const auto count = static_cast<std::uint32_t>(view.items.size());
  qiv::bit_array all(count), selected(count);
  // A selection restored from the history may hold thousands of names.
  const std::unordered_set<std::wstring_view> chosen(view.selection.begin(), view.selection.end());
  int first_selected = -1;
  for (std::uint32_t i = 0; i < count; ++i) {
    all.set(i, true);
    if (!chosen.empty() && chosen.count(view.items[i]) != 0) {
      selected.set(i, true);
      if (first_selected < 0) first_selected = static_cast<int>(i);
    }
  }
  list_.set_selection(all, selected);
  if (!view.focus.empty())
    for (std::uint32_t i = 0; i < count; ++i)
      if (std::find(view.focus.begin(), view.focus.end(), view.items[i]) != view.focus.end())
        list_.set_focus_item(static_cast<int>(i));
  if (view.scroll) list_.scroll_to(view.scroll->x, view.scroll->y);
  if (first_selected >= 0)
    list_.ensure_visible(first_selected);
  else if (count > 0)
    list_.ensure_visible(0);

  set_link_text(item(IDC_MAIN_CAPTION_LINE), view.path_line.text);
  caption_links_ = view.path_line.links;
  set_link_text(item(IDC_MAIN_PATH_LINE), view.nav_line.text);
  path_links_ = view.nav_line.links;
  enable_play_button();
}

void main_window::follow_link(int control_id, int link_index) {
  nav_location now_playing_target;
  if (control_id == IDC_MAIN_NOW_PLAYING_2) {
    if (!now_playing_.detail_link(link_index, now_playing_target)) return;
    navigation_.navigate(now_playing_target);
    move_focus(list_window_);
    return;
  }
  const std::vector<nav_location>* table = nullptr;
  if (control_id == IDC_MAIN_CAPTION_LINE) table = &caption_links_;
  if (control_id == IDC_MAIN_PATH_LINE) table = &path_links_;
  if (table == nullptr || link_index < 0 || link_index >= static_cast<int>(table->size())) return;
  const nav_location target = (*table)[static_cast<std::size_t>(link_index)];
  navigation_.navigate(target);
  move_focus(list_window_);
}

bool main_window::open_selection() {
  nav_node* node = navigation_.node();
  const wide_text_list selection = selected_names();
  if (node == nullptr || selection.empty() || !node->can_open(selection)) return false;
  navigation_.open(selection);
  return true;
}

void main_window::go_to_folder(const std::wstring& folder, const wide_text_list& names) {
  navigation_.go_to_path(folder, names);
  move_focus(list_window_);
}

void main_window::enable_play_button() {
  nav_node* node = navigation_.node();
  const bool enabled = list_.item_count() > 0 && play_enabled(node, selected_names());
  const HWND play = item(IDC_MAIN_PLAY);
  if (!enabled && GetFocus() == play) move_focus(list_window_);
  EnableWindow(play, enabled ? TRUE : FALSE);
}

void main_window::play_items(int mode) {
  nav_node* node = navigation_.node();
  if (node == nullptr) {
    MessageBeep(0);
    return;
  }
  ::play_items(*node, selected_names(), static_cast<play_mode>(mode));
}

void main_window::play_from(const wide_text_list& selection) {
  if (nav_node* node = navigation_.node()) ::play_items(*node, selection, play_mode::start_here);
}

bool main_window::select_playing_track() {
  nav_node* node = navigation_.node();
  track_handle_ptr playing;
  if (node == nullptr || !node->lists_tracks() || !playback_front_get().get_now_playing(playing)) return false;
  const nav_view_state& view = navigation_.view();
  const auto count = static_cast<std::uint32_t>(view.items.size());
  int found = -1;
  for (std::uint32_t i = 0; i < count && found < 0; ++i) {
    if (node->is_container(view.items[i])) continue;
    track_handle_list tracks;
    node->get_tracks({view.items[i]}, tracks);
    if (tracks.size() == 1 && tracks[0].get() == playing.get()) found = static_cast<int>(i);
  }
  qiv::bit_array all(count), selected(count);
  for (std::uint32_t i = 0; i < count; ++i) all.set(i, true);
  if (found >= 0) selected.set(static_cast<std::uint32_t>(found), true);
  list_.set_selection(all, selected);
  if (found < 0) return false;
  list_.set_focus_item(found);
  move_focus(list_window_);
  return true;
}

void main_window::reveal_now_playing() {
  if (select_playing_track()) return;
  // Not in the shown list: to the place of the track, and there again.
  track_handle_ptr playing;
  if (!playback_front_get().get_now_playing(playing)) return;
  nav_location place;
  if (media_library::contains(playing)) {
    // The album of now-playing line 2, else the library's top level.
    if (!now_playing_.album_location(place)) place = {nav_kind_library_view, {}};
  } else {
    const std::string path = playing->get_location().get_path();
    const std::size_t cut = path.rfind('\\');
    if (path.rfind("file://", 0) != 0 || cut == std::string::npos || cut < 7) return;
    place = {nav_kind_file_system, nav_split_path(nav_wide(path.substr(7, cut - 7)))};
  }
  // A large view lands later: the track is looked for once it is shown.
  navigation_.navigate(place, [this] {
    move_focus(list_window_);
    select_playing_track();
  });
}

void main_window::update_playing_item() {
  nav_node* node = navigation_.node();
  if (node == nullptr) return;
  track_handle_ptr playing;
  const bool is_playing = playback_front_get().get_now_playing(playing);
  const nav_view_state& view = navigation_.view();
  const int count = static_cast<int>(view.items.size());
  if (playing_index_ >= 0 && playing_index_ < count && is_playing &&
      node->entry_is_track(view.items[static_cast<std::size_t>(playing_index_)], playing.get()))
    return;
  if (playing_index_ >= 0) list_.invalidate_item(playing_index_);
  playing_index_ = -1;
  if (!is_playing || !node->lists_tracks()) return;
  for (int i = 0; i < count; ++i) {
    if (node->entry_is_track(view.items[static_cast<std::size_t>(i)], playing.get())) {
      playing_index_ = i;
      list_.invalidate_item(i);
      return;
    }
  }
}

void main_window::on_starting(std::uint32_t, bool paused) { on_pause(paused); }

void main_window::on_pause(bool paused) {
  guarded("playback event", [&] {
    if (handle() == nullptr) return;
    refresh_now_playing();
    refresh_pause_button();
    if (playing_index_ >= 0) list_.invalidate_item(playing_index_);
    SendMessageW(item(IDC_MAIN_PAUSE), BM_SETCHECK, paused ? BST_CHECKED : BST_UNCHECKED, 0);
  });
}

void main_window::on_new_track(const track_handle_ptr&) {
  guarded("playback event", [&] {
    if (handle() == nullptr) return;
    refresh_now_playing();
    update_playing_item();
  });
}

void main_window::on_stop(std::uint32_t) {
  guarded("playback event", [&] {
    if (handle() == nullptr) return;
    refresh_now_playing();
    refresh_pause_button();
    update_playing_item();
  });
}

void main_window::on_seek(double) {
  if (handle() != nullptr) refresh_now_playing();
}

void main_window::on_info_change(const track_handle_ptr&) {
  if (handle() != nullptr) refresh_now_playing();
}

void main_window::on_time(double) {
  if (handle() != nullptr) refresh_now_playing();
}

// Nothing in this program raises these two, but a record of either would
// change what the lines show.
void main_window::on_dynamic_track_info(const track_info&) {
  if (handle() != nullptr) refresh_now_playing();
}

void main_window::on_dynamic_info(const track_info&) {
  if (handle() != nullptr) refresh_now_playing();
}

void main_window::on_volume_change(float decibels) {
  guarded("volume event", [&] {
    if (handle() != nullptr) show_volume_icon(decibels);
  });
}

void main_window::refresh_now_playing() {
  guarded("now-playing lines", [&] {
    if (handle() == nullptr) return;
    now_playing_.attach(item(IDC_MAIN_NOW_PLAYING_1), item(IDC_MAIN_NOW_PLAYING_2));
    now_playing_.refresh();
  });
}

void main_window::refresh_pause_button() {
  const HWND pause = item(IDC_MAIN_PAUSE);
  const bool enabled = playback_front_get().is_playing();
  if (!enabled && GetFocus() == pause) move_focus(item(IDC_MAIN_VOLUME));
  EnableWindow(pause, enabled ? TRUE : FALSE);
}

void main_window::show_volume_icon(float decibels) {
  const std::uint32_t icon = volume_icon_of(decibels);
  if (icon == volume_icon_) return;
  volume_icon_ = icon;
  InvalidateRect(item(IDC_MAIN_VOLUME), nullptr, TRUE);
}

void main_window::set_icon_size(int width, int height) {
  list_icon_width_ = width;
  list_icon_height_ = height;
  list_icons_.update(dark_, width, height);
}

std::wstring main_window::get_text(std::uint32_t index) {
  const wide_text_list& items = navigation_.view().items;
  return index < items.size() ? items[index] : std::wstring();
}

void main_window::copy_text(std::uint32_t index, std::wstring& out) {
  const wide_text_list& items = navigation_.view().items;
  if (index < items.size()) out.assign(items[index]);
  else out.clear();
}

std::uint32_t main_window::get_count() { return static_cast<std::uint32_t>(navigation_.view().items.size()); }

HICON main_window::get_icon(std::uint32_t index) {
  if (static_cast<int>(index) == playing_index_)
    return list_icons_.get(playback_front_get().is_paused() ? list_icon_cache::paused : list_icon_cache::playing);
  nav_node* node = navigation_.node();
  const wide_text_list& items = navigation_.view().items;
  if (node != nullptr && index < items.size() && node->lists_tracks() && !node->is_container(items[index]))
    return list_icons_.get(list_icon_cache::track);
  return list_icons_.get(list_icon_cache::container);
}

void main_window::activate() {
  if (!open_selection()) play_items(0);
}

void main_window::selection_changed() { enable_play_button(); }

bool main_window::is_single_column() { return has_side_picture_; }

bool main_window::has_side_panel() { return has_side_picture_; }

void main_window::paint_side_panel(const RECT& panel, const RECT& clip, int line_height, HDC dc) {
  side_picture_.draw(dc, panel, clip, line_height / 2);
}

COLORREF main_window::get_colour(int kind) { return theme_colour(static_cast<std::uint32_t>(kind)); }

void main_window::on_theme_changed() {
  button_faces_.clear();
  button_icons_.clear();
  dark_ = theme_is_dark();
  list_icons_.update(dark_, list_icon_width_, list_icon_height_);
  if (handle() != nullptr) RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void main_window::on_album_pictures_changed() {
  navigation_.show_pictures = album_pictures_shown();
  if (handle() != nullptr && list_window_ != nullptr) navigation_.refresh(false);
}
