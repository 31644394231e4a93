#include "ui/controls/push_button.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <mutex>

#include "core/app_state.h"
#include "foundation/win32_error.h"
#include "ui/controls/control_font_messages.h"
#include "ui/framework/double_buffer.h"
#include "ui/framework/system_function.h"
#include "ui/framework/window_exception_boundary.h"
#include "ui/framework/window_utilities.h"

namespace {

// A touch lights nothing: the pointer moves that follow it are not hovering.
constexpr DWORD touch_hover_quiet_ms = 1000;

class push_button {
public:
  explicit push_button(HWND window) noexcept : window_(window) {}

  LRESULT process(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
      register_for_touch();
      break;
    case WM_PAINT:
      paint();
      return 0;
    case WM_LBUTTONDOWN:
      press_by_mouse();
      return 0;
    case WM_LBUTTONUP:
      release_by_mouse(lparam);
      return 0;
    case WM_MOUSEMOVE:
      hover(lparam);
      return 0;
    case WM_MOUSELEAVE:
      if (hot_) {
        hot_ = false;
        repaint();
      }
      if (pressed_) release();
      return 0;
    case BM_SETIMAGE:
      if (wparam == IMAGE_ICON) {
        icon_ = reinterpret_cast<HICON>(lparam);
        bitmap_ = nullptr;
      } else if (wparam == IMAGE_BITMAP) {
        bitmap_ = reinterpret_cast<HBITMAP>(lparam);
        icon_ = nullptr;
      }
      repaint();
      return 0;
    case BM_GETCHECK:
      return check_state_;
    case BM_SETCHECK:
      if (check_state_ != static_cast<DWORD>(wparam)) {
        check_state_ = static_cast<DWORD>(wparam);
        if (!pressed_) repaint();
      }
      return 0;
    case WM_SETFOCUS:
      focused_ = true;
      notify(BN_SETFOCUS);
      repaint();
      return 0;
    case WM_KILLFOCUS:
      focused_ = false;
      notify(BN_KILLFOCUS);
      if (pressed_)
        release();
      else
        repaint();
      return 0;
    case WM_ENABLE:
      repaint();
      return 0;
    case WM_KEYDOWN:
      if (wparam != VK_SPACE) break;
      if (!pressed_) push();
      return 0;
    case WM_KEYUP:
      if (wparam != VK_SPACE) break;
      if (pressed_) {
        click();
        release();
      }
      return 0;
    case WM_TOUCH: {
      const DWORD now = GetTickCount();
      last_touch_ms_ = now != 0 ? now : 1;
      break;
    }
    default: {
      LRESULT result = 0;
      if (control_font_messages::process(window_, message, wparam, lparam, font_, result)) return result;
      break;
    }
    }
    return DefWindowProcW(window_, message, wparam, lparam);
  }

private:
  bool is_check_style() const noexcept { return (GetWindowLongW(window_, GWL_STYLE) & 2) != 0; }
  bool looks_pushed() const noexcept { return pressed_ || check_state_ == 1; }
  void repaint() const noexcept { InvalidateRect(window_, nullptr, FALSE); }

  void notify(WORD code) const {
    const HWND parent = GetParent(window_);
    if (parent == nullptr) return;
    const WPARAM wparam = MAKEWPARAM(GetDlgCtrlID(window_), code);
    if (code == BN_CLICKED)
      PostMessageW(parent, WM_COMMAND, wparam, reinterpret_cast<LPARAM>(window_));
    else
      SendMessageW(parent, WM_COMMAND, wparam, reinterpret_cast<LPARAM>(window_));
  }

  void push() {
    pressed_ = true;
    repaint();
    notify(BN_PUSHED);
  }
  void release() {
    pressed_ = false;
    repaint();
    notify(BN_UNPUSHED);
  }
  void click() {
    if (is_check_style() && check_state_ <= 1) {
      check_state_ ^= 1;
      repaint();
    }
    notify(BN_CLICKED);
  }

  bool pointer_is_over_button(LPARAM lparam) const {
    POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    ClientToScreen(window_, &point);
    return WindowFromPoint(point) == window_;
  }

  void press_by_mouse() {
    SetFocus(window_);
    // An owner holds a push-style button down by checking it; then it cannot
    // be pressed.
    if (!is_check_style() && check_state_ == 1) return;
    if (!pressed_) push();
  }

  void release_by_mouse(LPARAM lparam) {
    if (!pressed_) return;
    if (pointer_is_over_button(lparam)) click();
    release();
  }

  void hover(LPARAM lparam) {
    if (pressed_ && !pointer_is_over_button(lparam)) {
      release();
      return;
    }
    if (last_touch_ms_ != 0 && GetTickCount() - last_touch_ms_ < touch_hover_quiet_ms) return;
    if (!hot_) {
      hot_ = true;
      repaint();
    }
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window_, 0};
    TrackMouseEvent(&track);
  }

  void register_for_touch() const {
    using register_touch_t = BOOL(WINAPI*)(HWND, ULONG);
    static const auto register_touch = find_system_function<register_touch_t>(L"user32.dll", "RegisterTouchWindow");
    if (register_touch != nullptr) register_touch(window_, 0);
  }

  UINT item_state() const noexcept {
    if (!IsWindowEnabled(window_)) return CDIS_DISABLED;
    UINT state = looks_pushed() ? CDIS_SELECTED : hot_ ? CDIS_HOT : 0;
    if (focused_) state |= CDIS_FOCUS;
    return state;
  }

  void paint() {
    paint_scope scope(window_);
    if (scope.dc() == nullptr) return;
    RECT client = {};
    GetClientRect(window_, &client);
    double_buffer buffer;
    const HDC memory = buffer.begin(scope.dc(), client);
    const HDC dc = memory != nullptr ? memory : scope.dc();

    NMCUSTOMDRAW custom = {};
    custom.hdr.hwndFrom = window_;
    custom.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window_));
    custom.hdr.code = NM_CUSTOMDRAW;
    custom.dwDrawStage = CDDS_PREERASE;
    custom.hdc = dc;
    custom.uItemState = item_state();
    const HWND parent = GetParent(window_);
    if (parent != nullptr) {
      draw_parent_background(parent, dc);
      const LRESULT answer = SendMessageW(parent, WM_NOTIFY, custom.hdr.idFrom, reinterpret_cast<LPARAM>(&custom));
      if (answer == CDRF_SKIPDEFAULT) return;
    }
    draw_face(dc, client);
    draw_content(dc, client);
  }

  // The parent's own background shows around the rounded face.
  void draw_parent_background(HWND parent, HDC dc) const {
    POINT origin = {0, 0};
    MapWindowPoints(window_, parent, &origin, 1);
    window_origin_holder shift(dc, origin.x, origin.y);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  }

  void draw_face(HDC dc, const RECT& client) const {
    const bool enabled = IsWindowEnabled(window_) != FALSE;
    const HTHEME theme = OpenThemeData(window_, L"BUTTON");
    if (theme != nullptr && IsThemePartDefined(theme, BP_PUSHBUTTON, 0)) {
      const int state = !enabled ? PBS_DISABLED : looks_pushed() ? PBS_PRESSED : PBS_NORMAL;
      DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &client, nullptr);
    } else {
      RECT face = client;
      UINT flags = DFCS_BUTTONPUSH;
      if (!enabled)
        flags |= DFCS_INACTIVE;
      else if (looks_pushed())
        flags |= DFCS_PUSHED;
      DrawFrameControl(dc, &face, DFC_BUTTON, flags);
    }
    if (theme != nullptr) CloseThemeData(theme);
  }

  void draw_content(HDC dc, const RECT& client) const {
    const int width = client.right, height = client.bottom;
    if (icon_ != nullptr) {
      ICONINFO info = {};
      SIZE size = {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
      if (GetIconInfo(icon_, &info)) {
        BITMAP bitmap = {};
        if (info.hbmColor != nullptr && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap) != 0) {
          size = {bitmap.bmWidth, bitmap.bmHeight};
        } else if (info.hbmMask != nullptr && GetObjectW(info.hbmMask, sizeof(bitmap), &bitmap) != 0) {
          size = {bitmap.bmWidth, bitmap.bmHeight / 2};  // monochrome: mask over image
        }
        if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
        if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
      }
      DrawIconEx(dc, (width - size.cx) / 2, (height - size.cy) / 2, icon_, size.cx, size.cy, 0, nullptr, DI_NORMAL);
      return;
    }
    if (bitmap_ != nullptr) {
      BITMAP bitmap = {};
      if (GetObjectW(bitmap_, sizeof(bitmap), &bitmap) == 0) return;
      memory_dc source(CreateCompatibleDC(dc));
      if (source.get() == nullptr) return;
      selected_object_holder selected(source.get(), bitmap_);
      BitBlt(dc, (width - bitmap.bmWidth) / 2, (height - bitmap.bmHeight) / 2, bitmap.bmWidth, bitmap.bmHeight,
             source.get(), 0, 0, SRCCOPY);
      return;
    }
    wchar_t text[255] = {};
    const int length = GetWindowTextW(window_, text, 255);
    if (length <= 0) return;
    selected_object_holder font(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(window_) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    RECT area = client;
    DrawTextW(dc, text, length, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }

  HWND window_;
  HFONT font_ = nullptr;
  bool pressed_ = false;
  bool hot_ = false;
  bool focused_ = false;
  HICON icon_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  DWORD check_state_ = 0;
  DWORD last_touch_ms_ = 0;
};

LRESULT CALLBACK push_button_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_window_callback("push button", LRESULT{0}, [&]() -> LRESULT {
    auto* button = reinterpret_cast<push_button*>(GetWindowLongPtrW(window, 0));
    if (button == nullptr) {
      if (message != WM_NCCREATE) return DefWindowProcW(window, message, wparam, lparam);
      button = new push_button(window);
      SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(button));
    }
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, 0, 0);
      delete button;
      return DefWindowProcW(window, message, wparam, lparam);
    }
    return button->process(message, wparam, lparam);
  });
}

}  // namespace

void register_push_button_class() {
  static std::mutex lock;
  static bool registered = false;
  std::lock_guard<std::mutex> hold(lock);
  if (registered) return;
  HINSTANCE instance = app::state().instance_handle;
  if (instance == nullptr) instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW description = {};
  description.cbSize = sizeof(description);
  description.style = CS_HREDRAW | CS_VREDRAW;
  description.lpfnWndProc = &push_button_procedure;
  description.cbWndExtra = sizeof(void*);
  description.hInstance = instance;
  description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  description.lpszClassName = push_button_class_name;
  SetLastError(0);
  if (RegisterClassExW(&description) == 0) {
    const DWORD error = GetLastError();
    // A class left by an earlier registration of this module is the same.
    if (error != ERROR_CLASS_ALREADY_EXISTS) throw exception_win32(error);
  }
  registered = true;
}
