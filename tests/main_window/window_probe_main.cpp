// What a black-box test of the main window needs from inside Wine: the main
// window of one program copy (found by the path of its executable, since
// other tests run their own copies beside it), its child controls as a
// screen reader would read them, and messages a user's actions produce.
//
//   window_probe EXE children            the window, then one line per child control
//   window_probe EXE wait-text ID TEXT   until the control shows the text (10 s)
//   window_probe EXE command ID [CODE]   posts WM_COMMAND as a button or accelerator
//   window_probe EXE close               posts WM_CLOSE
//   window_probe EXE drop PATH...        drops the files on the window
//   window_probe EXE media-key COMMAND   the shell's notice of a media key (APPCOMMAND_*)
//   window_probe EXE app-command COMMAND WM_APPCOMMAND to the window (APPCOMMAND_*)
//   window_probe EXE send-app-commands ID COMMAND...
//                                        sends each WM_APPCOMMAND in turn, waiting until
//                                        the window has handled it, and prints the text
//                                        of control ID the moment each returns
//   window_probe EXE keys KEY...         brings the window to the front and types
//                                        the keys ("alt+up", "down", "return", "f11")
//   window_probe EXE shot FILE.bmp       the window's pixels as the screen shows them
//   window_probe EXE --title PREFIX ...  the same commands on the program's other
//                                        top-level window whose title begins so
//                                        (a dialog it opened), also:
//   window_probe EXE --title-now PREFIX ...  the same, without waiting for such a
//                                        window to open: for asking whether it is gone
//   window_probe EXE --window HANDLE ... the same on the window with that handle (hex,
//                                        as popups prints it): one of several dialogs
//                                        with the same title
//   ... descendants                      children, grandchildren and so on, in the
//                                        children's line format
//   ... click ID                         clicks the visible button with that id
//   ... select-root N                    selects the Nth top item of the tree view
//   ... combo ID N                       chooses entry N of the combo box, as a user's
//                                        pick (CBN_SELCHANGE to its parent)
//   ... move X Y                         moves the window
//   ... set-text CLASS TEXT              puts the text into its first visible control
//                                        of that class (a file dialog's name field)
//   ... command ID                       posts WM_COMMAND as a button
//   ... rows ID                          the rows of list view ID (a child, else the
//                                        first visible descendant), cells tab-separated
//   ... control-keys ID KEY...           keys posted to control ID
//   ... select-rows ID N...              selects exactly those rows of list view ID
//                                        (a child, else the first visible descendant)
//   ... focus ID                         gives control ID the keyboard focus, as Tab does
//   ... type TEXT                        the text typed over everything in the
//                                        control that has the program's focus
//   ... type-at-end TEXT                 the text typed after that control's text
//   ... focus-keys KEY...                keys posted to that control
//   ... edit-view COUNT                  the caret and the view of the edit control that
//                                        has the focus: text length, caret index, caret
//                                        row, first visible row, the first and the last
//                                        character shown in the caret's row, the box
//                                        (left, top, right, bottom), where the COUNT
//                                        characters before the caret begin and where
//                                        the last of them begins (x, y each), and the
//                                        top-left corner of the box's top-level window;
//                                        places in screen coordinates
//   window_probe EXE menu [shift]        clicks the Menu button, Shift held when asked;
//                                        returns while the menu is open
//   window_probe EXE popups              the program's other visible windows: class, rectangle,
//                                        handle, title
//   window_probe EXE context-menu ID     a context request at the middle of control ID
//   window_probe EXE menu-keys KEY...    keys posted to the program's open popup menu
//                                        (it need not be in front)
//   window_probe EXE property NAME       the number the window holds as property NAME (0: none)
//   window_probe EXE windows-end SECONDS prints "watching", then waits until the program
//                                        shows no window and then until its process ends;
//                                        prints the milliseconds to the windows' end and
//                                        from there to the process's end
//   window_probe EXE answers PREFIX SECONDS
//                                        every 50 ms sends WM_NULL to the main window and
//                                        to the window whose title begins with PREFIX,
//                                        until SECONDS pass or the file named by
//                                        ZORV_ANSWERS_STOP exists; prints per window the
//                                        worst answer time (ms) and the answers over 250 ms
//   window_probe EXE stopwatch PREFIX ID COMMAND...
//                                        runs COMMAND (any of the above), then waits
//                                        until the window whose title begins with
//                                        PREFIX is shown and enabled with control ID
//                                        disabled (ID 0: any state) and the main
//                                        window answers; prints the milliseconds
//                                        (after menu-keys, from the last key)
//
//   window_probe batch OUT-FILE ERR-FILE runs the commands read from standard input,
//                                        one a line (EXE and what follows it), and
//                                        answers each as zorvtool batch does
//
// Lines are tab-separated: id, class, visible, enabled, checked, window
// rectangle (screen coordinates: left, top, right, bottom), text. The
// window's line: "window", class, visible, style, extended style, window
// rectangle, monitor rectangle, title. Exit code 0 on success, 2 when the
// window is not found, 1 on a usage error or a timeout.
#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>
#include <cwctype>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "tools/zorvtool/batch_line.h"
#include "tools/zorvtool/batch_output_files.h"

namespace {

std::wstring exe_path;

std::wstring process_image(DWORD process_id) {
  std::wstring path;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) return path;
  wchar_t buffer[1024];
  DWORD size = 1024;
  if (QueryFullProcessImageNameW(process, 0, buffer, &size)) path.assign(buffer, size);
  CloseHandle(process);
  return path;
}

bool same_path(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

std::wstring class_of(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

struct search {
  const wchar_t* class_name;
  const wchar_t* title;  // null: any
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<search*>(data);
  if (class_of(window) != s->class_name) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (s->title != nullptr && lstrcmpW(title, s->title) != 0) return TRUE;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (!same_path(process_image(process), exe_path)) return TRUE;
  s->found = window;
  return FALSE;
}

// The top-level window of the program copy with that class (and title).
HWND find_window(const wchar_t* class_name, const wchar_t* title = nullptr) {
  search state = {class_name, title, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

HWND find_main_window() {
  // The program may still be starting.
  for (int i = 0; i < 200; ++i) {
    // The volume popup is a dialog too; the main window has the caption.
    const HWND window = find_window(L"#32770", L"Zorv Audio Player");
    if (window != nullptr && IsWindowVisible(window)) return window;
    Sleep(50);
  }
  return nullptr;
}

std::string utf8(const std::wstring& text) {
  std::string out(static_cast<std::size_t>(text.size()) * 4 + 1, '\0');
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::wstring text_of(HWND window) {
  wchar_t buffer[4096] = {};
  // WM_GETTEXT rather than GetWindowText, which does not ask another
  // process's controls.
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
  return buffer;
}

void print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string rect_text(const RECT& r) {
  char text[80];
  std::snprintf(text, sizeof(text), "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
  return text;
}

void print_child(HWND child) {
  DWORD_PTR checked = 0;
  SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &checked);
  const std::wstring name = class_of(child);
  if (name != L"Zorv:XButton" && name != L"Button") checked = 0;
  RECT place = {};
  GetWindowRect(child, &place);
  print(std::to_string(GetDlgCtrlID(child)) + "\t" + utf8(name) + "\t" + (IsWindowVisible(child) ? "1" : "0") +
        "\t" + (IsWindowEnabled(child) ? "1" : "0") + "\t" + std::to_string(checked) + "\t" + rect_text(place) +
        "\t" + utf8(text_of(child)));
}

int list_children(HWND window) {
  RECT area = {};
  GetWindowRect(window, &area);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  char styles[40];
  std::snprintf(styles, sizeof(styles), "%08lX\t%08lX", static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)));
  print("window\t" + utf8(class_of(window)) + "\t" + (IsWindowVisible(window) ? "1" : "0") + "\t" + styles + "\t" +
        rect_text(area) + "\t" + rect_text(monitor.rcMonitor) + "\t" + utf8(text_of(window)));
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    print_child(child);
  return 0;
}

int wait_text(HWND window, int id, const std::wstring& wanted) {
  for (int i = 0; i < 200; ++i) {
    const HWND child = GetDlgItem(window, id);
    if (child != nullptr && text_of(child) == wanted) return 0;
    Sleep(50);
  }
  const HWND child = GetDlgItem(window, id);
  print("wait-text: control " + std::to_string(id) + " shows \"" + utf8(child ? text_of(child) : L"") + "\"");
  return 1;
}

int send_app_commands(HWND window, int id, const std::vector<std::wstring>& commands) {
  for (const std::wstring& command : commands) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, WM_APPCOMMAND, reinterpret_cast<WPARAM>(window),
                             MAKELPARAM(0, _wtoi(command.c_str())), SMTO_NORMAL, 60000, &answer))
      return 1;
    const HWND child = GetDlgItem(window, id);
    print(utf8(child ? text_of(child) : L""));
  }
  return 0;
}

// A drop as the shell makes one: a DROPFILES block in the program's own
// memory, which it reads through DragQueryFileW and frees with DragFinish.
int drop_files(HWND window, const std::vector<std::wstring>& paths) {
  std::vector<wchar_t> names;
  for (const std::wstring& path : paths) names.insert(names.end(), path.c_str(), path.c_str() + path.size() + 1);
  names.push_back(L'\0');
  DROPFILES header = {};
  header.pFiles = sizeof(header);
  header.fWide = TRUE;
  std::vector<char> block(sizeof(header) + names.size() * sizeof(wchar_t));
  std::memcpy(block.data(), &header, sizeof(header));
  std::memcpy(block.data() + sizeof(header), names.data(), names.size() * sizeof(wchar_t));

  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
  if (process == nullptr) return 1;
  void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool written = remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
  CloseHandle(process);
  if (!written) return 1;
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  return 0;
}

struct popup_search {
  HWND main;
  DWORD process;
};

BOOL CALLBACK print_popup(HWND window, LPARAM data) {
  const auto* s = reinterpret_cast<const popup_search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (window == s->main || process != s->process || !IsWindowVisible(window)) return TRUE;
  RECT area = {};
  GetWindowRect(window, &area);
  char handle[20];
  std::snprintf(handle, sizeof(handle), "%lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
  print(utf8(class_of(window)) + "\t" + rect_text(area) + "\t" + handle + "\t" + utf8(text_of(window)));
  return TRUE;
}

int list_popups(HWND main) {
  popup_search state = {main, 0};
  GetWindowThreadProcessId(main, &state.process);
  EnumWindows(print_popup, reinterpret_cast<LPARAM>(&state));
  return 0;
}

struct shown_search {
  DWORD process;
  bool any;
};

BOOL CALLBACK note_shown(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<shown_search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != s->process || !IsWindowVisible(window)) return TRUE;
  s->any = true;
  return FALSE;
}

// Asks the server only (no message to the program, whose thread is busy
// shutting down), every 10 ms; the process's end is its handle's signal.
int windows_end(HWND main, double seconds) {
  DWORD id = 0;
  GetWindowThreadProcessId(main, &id);
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return 1;
  LARGE_INTEGER frequency, start, gone, ended;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  print("watching");
  std::fflush(stdout);
  const auto ms = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    return (to.QuadPart - from.QuadPart) * 1000 / frequency.QuadPart;
  };
  for (;;) {
    shown_search state = {id, false};
    EnumWindows(note_shown, reinterpret_cast<LPARAM>(&state));
    QueryPerformanceCounter(&gone);
    if (!state.any) break;
    if (ms(start, gone) > seconds * 1000) {
      CloseHandle(process);
      return 1;
    }
    Sleep(10);
  }
  const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(seconds * 1000));
  QueryPerformanceCounter(&ended);
  CloseHandle(process);
  if (waited != WAIT_OBJECT_0) return 1;
  print(std::to_string(ms(start, gone)) + "\t" + std::to_string(ms(gone, ended)));
  return 0;
}

// The hidden main window of the program copy gets the shell's notices.
int media_key(UINT command) {
  const HWND hidden = find_window(L"{53229DFC-A273-45cd-A3A4-161FA9FC6414}");
  if (hidden == nullptr) return 2;
  PostMessageW(hidden, RegisterWindowMessageW(L"SHELLHOOK"), HSHELL_APPCOMMAND, MAKELPARAM(0, command));
  return 0;
}

struct key_name {
  const wchar_t* name;
  WORD key;
};
constexpr key_name key_names[] = {
    {L"up", VK_UP},         {L"down", VK_DOWN},       {L"left", VK_LEFT},   {L"right", VK_RIGHT},
    {L"return", VK_RETURN}, {L"back", VK_BACK},       {L"escape", VK_ESCAPE}, {L"f11", VK_F11},
    {L"home", VK_HOME},     {L"end", VK_END},         {L"tab", VK_TAB},     {L"space", VK_SPACE},
    {L"apps", VK_APPS},     {L"f2", VK_F2},           {L"delete", VK_DELETE},
};

// A named key, or a single letter or digit ("p").
WORD key_of(const std::wstring& name) {
  for (const key_name& k : key_names)
    if (name == k.name) return k.key;
  if (name.size() == 1 && iswalnum(name[0])) return static_cast<WORD>(VkKeyScanW(name[0]) & 0xFF);
  return 0;
}

void send_key(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof(input));
}

// Each key with its modifiers ("ctrl+alt+left"), pressed and released in
// order, with a pause after each for the program to act on it.
int type_keys(HWND window, const std::vector<std::wstring>& keys) {
  for (const std::wstring& text : keys) {
    // Another program's window may have come to the front meanwhile.
    for (int i = 0; i < 20 && GetForegroundWindow() != window; ++i) {
      SetForegroundWindow(window);
      Sleep(100);
    }
    std::vector<WORD> held;
    std::wstring rest = text;
    for (std::size_t plus; (plus = rest.find(L'+')) != std::wstring::npos; rest.erase(0, plus + 1)) {
      const std::wstring modifier = rest.substr(0, plus);
      held.push_back(modifier == L"alt" ? VK_MENU : modifier == L"ctrl" ? VK_CONTROL : VK_SHIFT);
    }
    const WORD key = key_of(rest);
    if (key == 0) return 1;
    for (const WORD modifier : held) send_key(modifier, false);
    send_key(key, false);
    send_key(key, true);
    for (auto m = held.rbegin(); m != held.rend(); ++m) send_key(*m, true);
    Sleep(300);
    // A key that takes longer than the pause (a busy machine, a window that
    // redraws itself whole) is done once the window answers again.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
  }
  return 0;
}

// The window's rectangle of the screen as a 24-bit BMP.
int take_shot(HWND window, const std::wstring& file) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(500);
  RECT area = {};
  GetWindowRect(window, &area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
  header.bfSize = header.bfOffBits + stride * static_cast<DWORD>(height);
  const HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, &header, sizeof(header), &written, nullptr) &&
                  WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                  WriteFile(out, bits, stride * static_cast<DWORD>(height), &written, nullptr);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok ? 0 : 1;
}

void list_descendants(HWND window) {
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    print_child(child);
    list_descendants(child);
  }
}

// The first visible descendant with that control id.
HWND find_control(HWND window, int id) {
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    if (GetDlgCtrlID(child) == id) return child;
    if (HWND inner = find_control(child, id)) return inner;
  }
  return nullptr;
}

struct title_search {
  std::wstring prefix;
  HWND found;
};

BOOL CALLBACK match_title(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<title_search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (!IsWindowVisible(window) || !same_path(process_image(process), exe_path)) return TRUE;
  if (text_of(window).compare(0, s->prefix.size(), s->prefix) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

// The program's visible top-level window whose title begins with `prefix`;
// it may still be opening.
// The program reads Shift from its own keyboard state, which follows the
// key messages it has taken: the key goes down, and only once the window
// has had time to take it is the button clicked.
int open_menu(HWND window, bool shift) {
  SetForegroundWindow(window);
  Sleep(200);
  if (shift) {
    send_key(VK_SHIFT, false);
    Sleep(300);
  }
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(1052, BN_CLICKED), 0);
  Sleep(800);
  if (shift) send_key(VK_SHIFT, true);
  return 0;
}

// The program's top-level window whose title begins with `prefix`, looked for
// `attempts` times 50 ms apart (ten seconds: it may still be opening).
HWND find_titled_window(const std::wstring& prefix, int attempts = 200) {
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) Sleep(50);
    title_search state = {prefix, nullptr};
    EnumWindows(match_title, reinterpret_cast<LPARAM>(&state));
    if (state.found != nullptr) return state.found;
  }
  return nullptr;
}

// The first visible descendant of that class.
HWND find_control_of_class(HWND window, const std::wstring& name) {
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    if (class_of(child) == name) return child;
    if (HWND inner = find_control_of_class(child, name)) return inner;
  }
  return nullptr;
}

int select_root_item(HWND window, int index) {
  const HWND tree = FindWindowExW(window, nullptr, L"SysTreeView32", nullptr);
  if (tree == nullptr) return 1;
  auto item = reinterpret_cast<LPARAM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  for (int i = 0; i < index && item != 0; ++i) item = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, item);
  if (item == 0) return 1;
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, item);
  return 0;
}

int choose_combo_entry(HWND window, int id, int index) {
  const HWND combo = find_control(window, id);
  if (combo == nullptr || SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR) return 1;
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  return 0;
}

// Posted keys reach their window whichever window is in front.
int post_keys(HWND target, const std::vector<std::wstring>& keys) {
  for (const std::wstring& name : keys) {
    const WORD key = key_of(name);
    if (key == 0) return 1;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Sleep(200);
  }
  return 0;
}

// Posted to the menu window: the menu's own loop reads its thread's queue,
// so the keys reach it whichever window has the focus.
int menu_keys(const std::vector<std::wstring>& keys) {
  HWND menu = nullptr;
  for (int i = 0; i < 100 && menu == nullptr; ++i, Sleep(50)) menu = find_window(L"#32768");
  if (menu == nullptr) return 2;
  return post_keys(menu, keys);
}

// The control that has the keyboard focus in the window's thread.
HWND focus_of(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// As a user types: everything selected, then one character at a time.
int type_text(HWND window, const std::wstring& text, bool at_end = false) {
  const HWND focus = focus_of(window);
  if (focus == nullptr) return 1;
  // A position past the end puts the caret there.
  if (at_end) PostMessageW(focus, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
  else PostMessageW(focus, EM_SETSEL, 0, -1);
  for (const wchar_t c : text) PostMessageW(focus, WM_CHAR, c, 1);
  Sleep(300);
  return 0;
}

// EM_CHARFROMPOS answers 16-bit indexes: completed by the start of the
// row it also names (a row shorter than 65,536 characters).
long long char_shown_at(HWND edit, int x, int y) {
  const LRESULT hit = SendMessageW(edit, EM_CHARFROMPOS, 0, MAKELPARAM(x, y));
  if (hit == -1) return -1;
  const long long row_start = SendMessageW(edit, EM_LINEINDEX, HIWORD(hit), 0);
  return row_start + ((LOWORD(hit) - row_start) & 0xFFFF);
}

int edit_view(HWND window, int count) {
  const HWND edit = focus_of(window);
  if (edit == nullptr) return 1;
  DWORD start = 0, caret = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&caret));
  const LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
  // EM_POSFROMCHAR knows no place after the last character.
  const auto place_of = [&](LRESULT index) {
    const LRESULT packed = SendMessageW(edit, EM_POSFROMCHAR, index, 0);
    return POINT{short(LOWORD(packed)), short(HIWORD(packed))};
  };
  POINT typed[2] = {place_of(LRESULT(caret) - count), place_of(LRESULT(caret) - 1)};
  RECT box = {};
  GetClientRect(edit, &box);
  const long long first_shown = char_shown_at(edit, box.left + 2, typed[1].y + 2);
  const long long last_shown = char_shown_at(edit, box.right - 2, typed[1].y + 2);
  MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&box), 2);
  MapWindowPoints(edit, nullptr, typed, 2);
  RECT top_level = {};
  GetWindowRect(GetAncestor(edit, GA_ROOT), &top_level);
  std::string line;
  for (const long long value :
       {static_cast<long long>(length), static_cast<long long>(caret),
        static_cast<long long>(SendMessageW(edit, EM_LINEFROMCHAR, caret, 0)),
        static_cast<long long>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0)), first_shown, last_shown,
        static_cast<long long>(box.left), static_cast<long long>(box.top), static_cast<long long>(box.right),
        static_cast<long long>(box.bottom), static_cast<long long>(typed[0].x), static_cast<long long>(typed[0].y),
        static_cast<long long>(typed[1].x), static_cast<long long>(typed[1].y),
        static_cast<long long>(top_level.left), static_cast<long long>(top_level.top)})
    line += (line.empty() ? "" : "\t") + std::to_string(value);
  print(line);
  return 0;
}

// Memory in the program's process, for messages whose arguments point at
// memory the list view reads and writes there.
class remote_block {
public:
  remote_block(HWND window, std::size_t size) : size_(size) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (process_ != nullptr)
      address_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~remote_block() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  remote_block(const remote_block&) = delete;
  remote_block& operator=(const remote_block&) = delete;

  bool valid() const { return address_ != nullptr; }
  char* address() const { return address_; }
  bool write(std::size_t offset, const void* data, std::size_t size) {
    return offset + size <= size_ && WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
  }
  bool read(std::size_t offset, void* data, std::size_t size) {
    return offset + size <= size_ && ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
  }

private:
  HANDLE process_ = nullptr;
  char* address_ = nullptr;
  std::size_t size_;
};

std::wstring remote_item_text(HWND list, remote_block& block, int item, int column) {
  constexpr int capacity = 1024;
  LVITEMW request = {};
  request.iSubItem = column;
  request.cchTextMax = capacity;
  request.pszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(LVITEMW));
  wchar_t text[capacity] = {};
  if (!block.write(0, &request, sizeof(request))) return text;
  SendMessageTimeoutW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(block.address()), SMTO_ABORTIFHUNG, 5000,
                      nullptr);
  block.read(sizeof(LVITEMW), text, sizeof(text) - sizeof(wchar_t));
  return text;
}

int list_rows(HWND list) {
  if (list == nullptr) return 1;
  remote_block block(list, sizeof(LVITEMW) + 1024 * sizeof(wchar_t));
  if (!block.valid()) return 1;
  DWORD_PTR count = 0, columns = 0;
  SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  SendMessageTimeoutW(header, HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &columns);
  for (int item = 0; item < static_cast<int>(count); ++item) {
    std::wstring line;
    for (int column = 0; column < static_cast<int>(columns); ++column)
      line += (column ? L"\t" : L"") + remote_item_text(list, block, item, column);
    print(utf8(line));
  }
  return 0;
}

// The rows' selection set as a user's clicks set it: the list tells its
// parent of each change.
int select_rows(HWND list, const std::vector<int>& items) {
  if (list == nullptr) return 1;
  remote_block block(list, sizeof(LVITEMW));
  if (!block.valid()) return 1;
  const auto set_state = [&](int item, UINT state, UINT mask) {
    LVITEMW request = {};
    request.state = state;
    request.stateMask = mask;
    return block.write(0, &request, sizeof(request)) &&
           SendMessageTimeoutW(list, LVM_SETITEMSTATE, WPARAM(item), reinterpret_cast<LPARAM>(block.address()),
                               SMTO_ABORTIFHUNG, 5000, nullptr) != 0;
  };
  if (!set_state(-1, 0, LVIS_SELECTED)) return 1;
  for (const int item : items)
    if (!set_state(item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED)) return 1;
  return 0;
}

// The window is shown, enabled and has `control` disabled.
bool settled(HWND window, int control) {
  if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return false;
  return control == 0 || !IsWindowEnabled(GetDlgItem(window, control));
}

int run_command(int argc, wchar_t** argv);

// Polled rather than hooked: a poll every 2 ms costs the program nothing
// measurable and needs nothing from inside it.
int stopwatch(int argc, wchar_t** argv) {
  const std::wstring prefix = argv[3];
  const int control = _wtoi(argv[4]);
  std::vector<wchar_t*> inner = {argv[0], argv[1]};
  inner.insert(inner.end(), argv + 5, argv + argc);
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  int code = 0;
  if (inner.size() >= 3 && std::wstring(inner[2]) == L"menu-keys") {
    // Timed from the last key, the one that picks the entry: the keys
    // before it only move through the menu, and the pause after each key
    // would count as the program's time.
    std::vector<std::wstring> keys(inner.begin() + 3, inner.end());
    if (keys.empty()) return 1;
    const std::wstring last = keys.back();
    keys.pop_back();
    if (!keys.empty()) code = menu_keys(keys);
    const WORD key = key_of(last);
    const HWND menu = find_window(L"#32768");
    if (code != 0 || key == 0 || menu == nullptr) return code != 0 ? code : 1;
    QueryPerformanceCounter(&start);
    PostMessageW(menu, WM_KEYDOWN, key, 1);
    PostMessageW(menu, WM_KEYUP, key, 0xC0000001);
  } else {
    QueryPerformanceCounter(&start);
    code = run_command(static_cast<int>(inner.size()), inner.data());
  }
  if (code != 0) return code;
  // The window is looked for by its title only until it is there: that
  // search asks every top-level window's process and title, many requests
  // to the Wine server and messages to the program's own thread, which at
  // this rate would slow the program it times.
  HWND window = nullptr;
  for (;;) {
    QueryPerformanceCounter(&now);
    const double elapsed = double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
    if (elapsed > 600000.0) return 1;
    if (window == nullptr || !IsWindow(window)) {
      title_search state = {prefix, nullptr};
      EnumWindows(match_title, reinterpret_cast<LPARAM>(&state));
      window = state.found;
    }
    if (window != nullptr && settled(window, control)) {
      DWORD_PTR ignored = 0;
      const HWND main = find_window(L"#32770", L"Zorv Audio Player");
      if (main == nullptr || SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 60000, &ignored)) {
        QueryPerformanceCounter(&now);
        print(std::to_string(double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart)));
        return 0;
      }
    }
    Sleep(2);
  }
}

// How long the window takes to answer a message, in milliseconds.
double answer_ms(HWND window, const LARGE_INTEGER& frequency) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
  QueryPerformanceCounter(&end);
  return double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

int answers(const std::wstring& prefix, double seconds) {
  const HWND main = find_main_window();
  if (main == nullptr) return 2;
  wchar_t stop_file[1024] = {};
  GetEnvironmentVariableW(L"ZORV_ANSWERS_STOP", stop_file, 1024);
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  double worst[2] = {0, 0};
  int slow[2] = {0, 0};
  HWND other = nullptr;
  for (;;) {
    QueryPerformanceCounter(&now);
    if (double(now.QuadPart - start.QuadPart) > seconds * double(frequency.QuadPart)) break;
    if (stop_file[0] && GetFileAttributesW(stop_file) != INVALID_FILE_ATTRIBUTES) break;
    if (!IsWindow(main)) break;
    if (other == nullptr || !IsWindow(other)) {
      title_search state = {prefix, nullptr};
      EnumWindows(match_title, reinterpret_cast<LPARAM>(&state));
      other = state.found;
    }
    const HWND windows[2] = {main, other};
    for (int i = 0; i < 2; ++i) {
      if (windows[i] == nullptr) continue;
      const double ms = answer_ms(windows[i], frequency);
      worst[i] = std::max(worst[i], ms);
      if (ms > 250) ++slow[i];
    }
    Sleep(50);
  }
  print("main\t" + std::to_string(int(worst[0])) + "\t" + std::to_string(slow[0]));
  print(utf8(prefix) + "\t" + std::to_string(int(worst[1])) + "\t" + std::to_string(slow[1]));
  return 0;
}

}  // namespace

namespace {

int run_probe(int argc, wchar_t** argv) {
  if (argc < 3) return 1;
  exe_path = argv[1];
  if (std::wstring(argv[2]) == L"stopwatch" && argc >= 6) return stopwatch(argc, argv);
  if (std::wstring(argv[2]) == L"answers" && argc == 5) return answers(argv[3], _wtof(argv[4]));
  return run_command(argc, argv);
}

std::wstring wide(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                         static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(length));
  return out;
}

// A test that looks at the window many times pays one start of the probe,
// not one a look.
int run_batch(wchar_t* program, const wchar_t* out_path, const wchar_t* err_path) {
  batch_output_files output(out_path, err_path);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::fputs(batch_line::ready_line, stdout);
  std::fflush(stdout);
  std::vector<std::string> fields;
  std::string refusal;
  for (batch_line::outcome line; (line = batch_line::read(fields, refusal)) != batch_line::outcome::end;) {
    if (!output.begin()) return 1;
    int status = 2;
    if (line == batch_line::outcome::refused) {
      std::fprintf(stderr, "window_probe batch: %s; the line was not run\n", refusal.c_str());
    } else {
      std::vector<std::wstring> wide_fields;
      for (const std::string& field : fields) wide_fields.push_back(wide(field));
      std::vector<wchar_t*> argv = {program};
      for (std::wstring& field : wide_fields) argv.push_back(field.data());
      status = run_probe(static_cast<int>(argv.size()), argv.data());
    }
    output.answer(status);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"batch") return run_batch(argv[0], argv[2], argv[3]);
  return run_probe(argc, argv);
}

namespace {

int run_command(int argc, wchar_t** argv) {
  const std::wstring command = argv[2];
  if (command == L"media-key" && argc == 4) return media_key(static_cast<UINT>(_wtoi(argv[3])));
  if ((command == L"--title" || command == L"--title-now" || command == L"--window") && argc >= 5) {
    const HWND window = command == L"--window"
                            ? reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoul(argv[3], nullptr, 16)))
                            : find_titled_window(argv[3], command == L"--title-now" ? 1 : 200);
    if (window == nullptr || !IsWindow(window)) {
      print("no such window");
      return 2;
    }
    const std::wstring action = argv[4];
    if (action == L"descendants") {
      list_children(window);
      list_descendants(window);
      return 0;
    }
    if (action == L"click" && argc == 6) {
      const HWND button = find_control(window, _wtoi(argv[5]));
      return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (action == L"select-root" && argc == 6) return select_root_item(window, _wtoi(argv[5]));
    if (action == L"combo" && argc == 7) return choose_combo_entry(window, _wtoi(argv[5]), _wtoi(argv[6]));
    if (action == L"move" && argc == 7)
      return SetWindowPos(window, nullptr, _wtoi(argv[5]), _wtoi(argv[6]), 0, 0, SWP_NOSIZE | SWP_NOZORDER) ? 0 : 1;
    if (action == L"set-text" && argc == 7) {
      const HWND control = find_control_of_class(window, argv[5]);
      return control != nullptr && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[6])) ? 0 : 1;
    }
    if (action == L"keys") return type_keys(window, std::vector<std::wstring>(argv + 5, argv + argc));
    if (action == L"shot" && argc == 6) return take_shot(window, argv[5]);
    if (action == L"close") return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (action == L"command" && argc == 6) return PostMessageW(window, WM_COMMAND, _wtoi(argv[5]), 0) ? 0 : 1;
    if (action == L"rows" && argc == 6) {
      // A dialog's own list, or one on a page inside it.
      const HWND list = GetDlgItem(window, _wtoi(argv[5]));
      return list_rows(list != nullptr ? list : find_control(window, _wtoi(argv[5])));
    }
    if (action == L"control-keys" && argc >= 6)
      return post_keys(GetDlgItem(window, _wtoi(argv[5])), std::vector<std::wstring>(argv + 6, argv + argc));
    if (action == L"select-rows" && argc >= 6) {
      const HWND list = GetDlgItem(window, _wtoi(argv[5]));
      std::vector<int> items;
      for (int i = 6; i < argc; ++i) items.push_back(_wtoi(argv[i]));
      return select_rows(list != nullptr ? list : find_control(window, _wtoi(argv[5])), items);
    }
    if (action == L"focus" && argc == 6) {
      // The dialog manager moves the focus and the default button as Tab would.
      const HWND control = find_control(window, _wtoi(argv[5]));
      return control != nullptr && SendMessageTimeoutW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE,
                                                        SMTO_ABORTIFHUNG, 5000, nullptr)
                 ? 0
                 : 1;
    }
    if (action == L"type" && argc == 6) return type_text(window, argv[5]);
    if (action == L"type-at-end" && argc == 6) return type_text(window, argv[5], true);
    if (action == L"edit-view" && argc == 6) return edit_view(window, _wtoi(argv[5]));
    if (action == L"focus-keys") return post_keys(focus_of(window), std::vector<std::wstring>(argv + 5, argv + argc));
    return 1;
  }
  const HWND window = find_main_window();
  if (window == nullptr) {
    print("no main window");
    return 2;
  }
  if (command == L"children") return list_children(window);
  if (command == L"wait-text" && argc == 5) return wait_text(window, _wtoi(argv[3]), argv[4]);
  if (command == L"command" && argc >= 4) {
    const WORD code = argc >= 5 ? static_cast<WORD>(_wtoi(argv[4])) : 0;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), code), 0);
    return 0;
  }
  if (command == L"close") return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (command == L"windows-end" && argc == 4) return windows_end(window, _wtof(argv[3]));
  if (command == L"popups") return list_popups(window);
  if (command == L"property" && argc == 4) {
    print(std::to_string(reinterpret_cast<UINT_PTR>(GetPropW(window, argv[3]))));
    return 0;
  }
  if (command == L"keys") return type_keys(window, std::vector<std::wstring>(argv + 3, argv + argc));
  if (command == L"shot" && argc == 4) return take_shot(window, argv[3]);
  if (command == L"context-menu" && argc == 4) {
    const HWND control = GetDlgItem(window, _wtoi(argv[3]));
    RECT area = {};
    GetWindowRect(control, &area);
    PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control),
                 MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2));
    return 0;
  }
  if (command == L"menu") return open_menu(window, argc >= 4 && std::wstring(argv[3]) == L"shift");
  if (command == L"menu-keys") return menu_keys(std::vector<std::wstring>(argv + 3, argv + argc));
  if (command == L"drop") return drop_files(window, std::vector<std::wstring>(argv + 3, argv + argc));
  if (command == L"send-app-commands" && argc >= 5)
    return send_app_commands(window, _wtoi(argv[3]), std::vector<std::wstring>(argv + 4, argv + argc));
  if (command == L"app-command" && argc == 4) {
    PostMessageW(window, WM_APPCOMMAND, reinterpret_cast<WPARAM>(window), MAKELPARAM(0, _wtoi(argv[3])));
    return 0;
  }
  return 1;
}

}  // namespace
