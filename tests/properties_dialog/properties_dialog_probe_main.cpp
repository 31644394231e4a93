// Runs the real properties dialog on real files and reports what a user
// would see, for the Python side to check against the files (mutagen).
//
// usage:
//   properties_dialog_probe rows PATH...
//     loads the tracks' info through the real metadata load and prints the
//     technical rows as "group|name|value" lines.
//   properties_dialog_probe script SCRIPT PATH...
//     runs the "Properties" item command on the tracks and then the steps of
//     SCRIPT, one a line (see run_script), printing what they observe. Steps
//     named "sub..." act on the open sub-dialog (table edit, automatic
//     filling, split values).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/app_state.h"
#include "core/dialog_registry.h"
#include "core/localized_text.h"
#include "core/main_thread_queue.h"
#include "core/message_loop.h"
#include "core/service_registry.h"
#include "core/startup_services.h"
#include "foundation/clipboard_text.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_text.h"
#include "foundation/window_text.h"
#include "io/config_store.h"
#include "io/path_schemes.h"
#include "metadata/metadata_io_service.h"
#include "metadata/track_handle_registry.h"
#include "properties/info_row_collector.h"
#include "properties/properties_dialog.h"
#include "properties/technical_info_rows.h"
#include "resources/properties_dialogs.h"
#include "tests/support/message_pump.h"
#include "tests/support/screen_capture.h"
#include "ui/framework/list_view_operations.h"
#include "ui/menus/command_lookup.h"
#include "ui/menus/context_menu_item.h"

namespace {

void print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// The program's loop (message filters, then modeless dialogs) while the
// condition does not hold.
bool run_loop_until(const std::function<bool()>& condition, DWORD give_up_ms = 30000) {
  return pump_until_offering(
      [](MSG& message) {
        const DWORD position = GetMessagePos();
        return pretranslate_message(message, {short(LOWORD(position)), short(HIWORD(position))});
      },
      condition, give_up_ms);
}

void pump_for(DWORD ms) {
  const DWORD start = GetTickCount();
  run_loop_until([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

track_handle_list tracks_for(const std::vector<std::string>& paths) {
  track_handle_list tracks;
  for (const std::string& path : paths) {
    qiv::string_buffer canonical;
    vantrel_io::canonicalize_path(path.c_str(), canonical);
    tracks.push_back(track_handle_registry::get_handle(track_location(canonical.get_ptr(), 0)));
  }
  return tracks;
}

struct completion_code : metadata_completion {
  std::int64_t code = -1;
  void on_completion(std::uint32_t value) override { code = value; }
};

int list_rows(const std::vector<std::string>& paths) {
  const track_handle_list tracks = tracks_for(paths);
  service_ptr<info_cache> cache = info_cache::create();
  service_ptr<completion_code> done(new service_counted<completion_code>());
  metadata_io_service::get()->load_info_async(tracks, metadata_load_mode::all, nullptr, metadata_flag_no_error_popup,
                                              cache.get(), done.get());
  if (!run_loop_until([&] { return done->code >= 0; })) return 3;
  info_row_collector rows;
  const auto providers = service_list_t<properties_info_provider>();
  for (std::size_t i = 0; i < providers.get_count(); ++i) providers[i]->list_rows(tracks, *cache, rows);
  for (const std::string& group : rows.ordered_groups({}))
    for (const auto& row : rows.rows_of(group)) print(group + "|" + row.name + "|" + row.value + "\n");
  return 0;
}

// The dialogs of this thread, in the order they were seen first.
std::vector<HWND> dialogs;
std::string box_answer;
std::vector<std::string> boxes_seen;

BOOL CALLBACK find_dialog(HWND window, LPARAM) {
  if (GetDlgItem(window, IDC_PROPERTIES_APPLY) != nullptr && IsWindowVisible(window) &&
      std::find(dialogs.begin(), dialogs.end(), window) == dialogs.end())
    dialogs.push_back(window);
  return TRUE;
}

void refresh_dialogs() {
  EnumThreadWindows(GetCurrentThreadId(), find_dialog, 0);
  std::vector<HWND> alive;
  for (HWND window : dialogs)
    if (IsWindow(window)) alive.push_back(window);
    else alive.push_back(nullptr);
  dialogs = alive;
}

// Answers the message boxes the dialog asks (a Yes/No box has IDYES).
// The context-help commands the thread's windows were sent (F1).
HHOOK help_hook = nullptr;
int help_commands = 0;
LRESULT CALLBACK on_get_message(int code, WPARAM wparam, LPARAM lparam) {
  const MSG& message = *reinterpret_cast<const MSG*>(lparam);
  if (code == HC_ACTION && wparam == PM_REMOVE && message.message == WM_SYSCOMMAND &&
      (message.wParam & 0xFFF0) == SC_CONTEXTHELP)
    ++help_commands;
  return CallNextHookEx(help_hook, code, wparam, lparam);
}

HHOOK box_hook = nullptr;
LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    if (GetDlgItem(window, IDYES) != nullptr) {
      qiv::string_buffer text;
      get_dlg_item_text_utf8(window, 0xFFFF, text);
      boxes_seen.emplace_back(text.get_ptr());
      const int button = box_answer == "yes" ? IDYES : box_answer == "no" ? IDNO : IDCANCEL;
      PostMessageW(window, WM_COMMAND, button, 0);
    }
  }
  return CallNextHookEx(box_hook, code, wparam, lparam);
}

BOOL CALLBACK find_visible_tip(HWND window, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 63);
  if (IsWindowVisible(window) && std::wstring(name) == TOOLTIPS_CLASSW) *reinterpret_cast<bool*>(out) = true;
  return TRUE;
}

BOOL CALLBACK find_editor(HWND window, LPARAM out) {
  if (IsWindowVisible(window) && GetDlgItem(window, IDC_FIELD_NAME_LABEL) != nullptr &&
      GetDlgItem(window, IDC_PROPERTIES_APPLY) == nullptr)
    *reinterpret_cast<HWND*>(out) = window;
  return TRUE;
}

HWND find_field_editor() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_editor, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The sub-dialog open over the properties dialog, by its own controls.
BOOL CALLBACK find_sub(HWND window, LPARAM out) {
  if (IsWindowVisible(window) &&
      (GetDlgItem(window, IDC_TABLE_EDIT_LIST) != nullptr || GetDlgItem(window, IDC_AUTOFILL_AUTOCAPS) != nullptr ||
       GetDlgItem(window, IDC_SPLIT_LINE_BREAKS) != nullptr))
    *reinterpret_cast<HWND*>(out) = window;
  return TRUE;
}

HWND find_sub_dialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_sub, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND sub_list(HWND sub) {
  const HWND table = GetDlgItem(sub, IDC_TABLE_EDIT_LIST);
  return table != nullptr ? table : GetDlgItem(sub, IDC_AUTOFILL_PREVIEW);
}

// A list as the user sees it: the columns in their on-screen order.
void dump_sub_list(HWND list) {
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  std::vector<int> order(std::size_t(std::max(columns, 0)));
  if (columns > 0) SendMessageW(list, LVM_GETCOLUMNORDERARRAY, columns, reinterpret_cast<LPARAM>(order.data()));
  std::string line = "head";
  for (int column : order) {
    wchar_t text[256] = {};
    LVCOLUMNW request = {};
    request.mask = LVCF_TEXT;
    request.pszText = text;
    request.cchTextMax = 255;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&request));
    qiv::string_buffer utf8;
    wide_to_utf8(text, utf8);
    line += std::string("|") + utf8.get_ptr();
  }
  print(line + "\n");
  const int rows = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows && row < 20; ++row) {
    line = "row";
    for (int column : order) {
      std::string text;
      list_view_get_item_text(list, row, column, text);
      line += "|" + text;
    }
    print(line + "\n");
  }
  print("rows|" + std::to_string(rows) + "\n");
}

std::string escaped_lines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

// Picks a menu entry by id the way a user does with the keyboard: down
// arrows until it is highlighted, then Enter. Runs from a timer, which the
// menu's own loop keeps dispatching.
UINT wanted_menu_id = 0;
std::vector<std::string> menu_seen;
void CALLBACK drive_menu(HWND, UINT, UINT_PTR, DWORD) {
  if (wanted_menu_id == 0) return;
  const HWND popup = FindWindowW(L"#32768", nullptr);
  if (popup == nullptr || !IsWindowVisible(popup)) return;
  const HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
  if (menu == nullptr) return;
  if (menu_seen.empty()) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[256] = {};
      GetMenuStringW(menu, i, text, 255, MF_BYPOSITION);
      qiv::string_buffer utf8;
      wide_to_utf8(text, utf8);
      const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
      menu_seen.push_back(std::string(utf8.get_ptr()) + ((state & MF_GRAYED) ? " (off)" : ""));
    }
  }
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    if ((GetMenuState(menu, i, MF_BYPOSITION) & MF_HILITE) == 0) continue;
    if (GetMenuItemID(menu, i) == wanted_menu_id) {
      wanted_menu_id = 0;
      PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
      return;
    }
  }
  PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
}

// Opens a menu with `open_menu`, chooses the entry of that id from the
// keyboard and prints the entries seen (or that none was chosen).
void choose_menu_entry(UINT id, const std::function<void()>& open_menu) {
  wanted_menu_id = id;
  menu_seen.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, drive_menu);
  open_menu();
  run_loop_until([&] { return wanted_menu_id == 0; }, 10000);
  pump_for(300);
  KillTimer(nullptr, timer);
  for (const std::string& entry : menu_seen) print("menu|" + entry + "\n");
  if (wanted_menu_id != 0) {
    print("menu|not chosen\n");
    wanted_menu_id = 0;
    EndMenu();
  }
}

void dump_list(const char* label, HWND list) {
  const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    std::string name, value;
    list_view_get_item_text(list, item, 0, name);
    list_view_get_item_text(list, item, 1, value);
    print(std::string(label) + "|" + name + "|" + value + "\n");
  }
}

// Key presses as a user makes them: the modifier state set for the thread,
// the key sent through the program's own loop.
void press(HWND target, const std::string& keys) {
  BYTE state[256];
  GetKeyboardState(state);
  BYTE saved[256];
  std::memcpy(saved, state, sizeof(state));
  std::string key = keys;
  const auto take = [&](const char* prefix, int vk) {
    if (key.rfind(prefix, 0) == 0) {
      state[vk] = 0x80;
      key = key.substr(std::strlen(prefix));
    }
  };
  for (int i = 0; i < 2; ++i) {
    take("ctrl+", VK_CONTROL);
    take("shift+", VK_SHIFT);
  }
  if (state[VK_CONTROL]) state[VK_LCONTROL] = 0x80;
  if (state[VK_SHIFT]) state[VK_LSHIFT] = 0x80;
  UINT vk = key == "tab"      ? VK_TAB
           : key == "delete" ? VK_DELETE
           : key == "f1"     ? VK_F1
           : key == "f2"     ? VK_F2
           : key == "enter"  ? VK_RETURN
           : key == "escape" ? VK_ESCAPE
                             : UINT(std::toupper(key[0]));
  SetKeyboardState(state);
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
  pump_for(150);
  SetKeyboardState(saved);
}

int run_script(const std::string& script_path, const std::vector<std::string>& paths) {
  const track_handle_list tracks = tracks_for(paths);
  box_hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
  help_hook = SetWindowsHookExW(WH_GETMESSAGE, on_get_message, nullptr, GetCurrentThreadId());
  std::ifstream script(script_path);
  std::string line;
  HWND current = nullptr;
  while (std::getline(script, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string step;
    words >> step;
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    print("> " + line + "\n");
    refresh_dialogs();
    const HWND metadata = current ? GetDlgItem(current, IDC_PROPERTIES_METADATA_LIST) : nullptr;
    if (step == "open") {
      const std::size_t before = dialogs.size();
      run_context_command_by_guid(context_menu_commands::properties, GUID{}, tracks, GUID{});
      run_loop_until([&] {
        refresh_dialogs();
        return dialogs.size() > before;
      });
      current = dialogs.size() > before ? dialogs.back() : nullptr;
      print(current ? "opened\n" : "no dialog\n");
    } else if (step == "openremote") {
      // A track on a path that no local scheme claims, with info of its own.
      const track_handle_list remote = {
          track_handle_registry::get_handle(track_location("http://radio.invalid/stream.mp3", 0))};
      service_ptr<info_cache> cache = info_cache::create();
      track_info_impl info;
      info.append_field("ARTIST", track_info::until_nul, "Remote", track_info::until_nul);
      cache->on_info(remote[0], info, vantrel_io::file_stats());
      current = properties_dialog::open(remote, properties_dialog::metadata_tab, app::state().ui_main_window, cache)
                    ->handle();
      refresh_dialogs();
      print("opened\n");
    } else if (step == "use") {
      current = dialogs.at(std::stoul(rest));
    } else if (step == "answer") {
      box_answer = rest;
    } else if (step == "select") {
      std::istringstream items(rest);
      list_view_set_item_state(metadata, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
      for (int item; items >> item;) list_view_set_item_state(metadata, item, LVIS_SELECTED | LVIS_FOCUSED,
                                                              LVIS_SELECTED | LVIS_FOCUSED);
    } else if (step == "clipboard") {
      // "\n" in the text stands for a line break.
      for (std::size_t at; (at = rest.find("\\n")) != std::string::npos;) rest.replace(at, 2, "\r\n");
      set_clipboard_text_utf8(rest.c_str());
    } else if (step == "key") {
      SetActiveWindow(current);
      HWND focus = GetFocus();
      press(focus ? focus : current, rest);
    } else if (step == "editorkey") {
      const HWND editor = find_field_editor();
      SetActiveWindow(editor);
      HWND focus = GetFocus();
      press(focus ? focus : editor, rest);
    } else if (step == "helpcount") {
      print("help|" + std::to_string(help_commands) + "\n");
    } else if (step == "listkey") {
      SetFocus(metadata);
      press(metadata, rest);
    } else if (step == "command") {
      PostMessageW(current, WM_COMMAND, std::stoi(rest), 0);
      pump_for(100);
    } else if (step == "inplace") {
      // A click on the value cell of an item opens the box; the text is typed
      // into it and Enter ends it.
      std::istringstream fields(rest);
      int item = 0;
      fields >> item;
      std::string text;
      std::getline(fields, text);
      if (!text.empty() && text[0] == ' ') text.erase(0, 1);
      SetActiveWindow(current);
      PostMessageW(current, WM_APP, item, 0);
      run_loop_until([] { return GetDlgCtrlID(GetFocus()) == 666; }, 3000);
      const HWND box = GetFocus();
      print(std::string("inplace|") + (GetDlgCtrlID(box) == 666 ? "open" : "not open") + "\n");
      SendMessageW(box, EM_SETSEL, 0, -1);
      SendMessageW(box, EM_REPLACESEL, TRUE, LPARAM(qiv::utf8_to_wide_buffer(text.c_str(), text.size()).get_ptr()));
      PostMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
      pump_for(300);
    } else if (step == "tools") {
      // The Tools menu's entry of that id (1 reload, 2 remove tags).
      choose_menu_entry(UINT(std::stoul(rest)),
                        [&] { PostMessageW(current, WM_COMMAND, IDC_PROPERTIES_TOOLS, 0); });
    } else if (step == "menu") {
      // The metadata list's context menu, opened from the keyboard, and its
      // entry of that id.
      choose_menu_entry(UINT(std::stoul(rest)), [&] {
        PostMessageW(current, WM_CONTEXTMENU, WPARAM(metadata), MAKELPARAM(-1, -1));
      });
    } else if (step == "subdump") {
      const HWND sub = find_sub_dialog();
      if (sub == nullptr) {
        print("sub|none\n");
        continue;
      }
      qiv::string_buffer caption;
      get_window_text_utf8(sub, caption);
      bool tip = false;
      EnumThreadWindows(GetCurrentThreadId(), find_visible_tip, reinterpret_cast<LPARAM>(&tip));
      print(std::string("sub|") + caption.get_ptr() + "|ok " + (IsWindowEnabled(GetDlgItem(sub, IDOK)) ? "on" : "off") +
            "|tip " + (tip ? "yes" : "no") + "\n");
      if (const HWND list = sub_list(sub)) dump_sub_list(list);
      if (const HWND separators = GetDlgItem(sub, IDC_SPLIT_SEPARATORS)) {
        qiv::string_buffer text;
        get_window_text_utf8(separators, text);
        print("splittext|" + escaped_lines(text.get_ptr()) + "\n");
        print("splitcheck|" + std::to_string(IsDlgButtonChecked(sub, IDC_SPLIT_LINE_BREAKS)) + "\n");
      }
    } else if (step == "subcell") {
      // What a click on the cell posts (table edit: row and field, -1 the
      // item column; automatic filling: row and list column).
      std::istringstream cell(rest);
      int row = 0, column = 0;
      cell >> row >> column;
      const HWND sub = find_sub_dialog();
      SetActiveWindow(sub);
      PostMessageW(sub, WM_APP, WPARAM(row), LPARAM(column));
      run_loop_until([] { return GetDlgCtrlID(GetFocus()) == 666; }, 3000);
      print(std::string("cell|") + (GetDlgCtrlID(GetFocus()) == 666 ? "open" : "not open") + "\n");
    } else if (step == "celltype") {
      const HWND box = GetFocus();
      SendMessageW(box, EM_SETSEL, 0, -1);
      SendMessageW(box, EM_REPLACESEL, TRUE, LPARAM(qiv::utf8_to_wide_buffer(rest.c_str(), rest.size()).get_ptr()));
      pump_for(50);
    } else if (step == "cellkey") {
      press(GetFocus(), rest);
      pump_for(150);
    } else if (step == "where") {
      // The cell the in-place box stands over, as "row|list column".
      const HWND box = GetFocus();
      const HWND sub = find_sub_dialog();
      if (GetDlgCtrlID(box) != 666 || sub == nullptr) {
        print("where|none\n");
        continue;
      }
      const HWND list = sub_list(sub);
      RECT area;
      GetWindowRect(GetParent(box), &area);
      LVHITTESTINFO hit = {};
      hit.pt = {(area.left + area.right) / 2, area.top + 4};
      ScreenToClient(list, &hit.pt);
      SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      print("where|" + std::to_string(hit.iItem) + "|" + std::to_string(hit.iSubItem) + "\n");
    } else if (step == "suborder") {
      // The columns as a drag of their headers leaves them.
      std::istringstream numbers(rest);
      std::vector<int> order;
      for (int column; numbers >> column;) order.push_back(column);
      SendMessageW(sub_list(find_sub_dialog()), LVM_SETCOLUMNORDERARRAY, order.size(),
                   reinterpret_cast<LPARAM>(order.data()));
    } else if (step == "subpattern") {
      const HWND sub = find_sub_dialog();
      const HWND box = GetDlgItem(sub, IDC_AUTOFILL_PATTERN);
      set_window_text_utf8(box, rest.c_str());
      SendMessageW(sub, WM_COMMAND, MAKEWPARAM(IDC_AUTOFILL_PATTERN, CBN_EDITCHANGE), LPARAM(box));
      pump_for(600);
    } else if (step == "subsource") {
      const HWND sub = find_sub_dialog();
      const HWND box = GetDlgItem(sub, IDC_AUTOFILL_SOURCE);
      SendMessageW(box, CB_SETCURSEL, std::stoi(rest), 0);
      SendMessageW(sub, WM_COMMAND, MAKEWPARAM(IDC_AUTOFILL_SOURCE, CBN_SELCHANGE), LPARAM(box));
      pump_for(600);
    } else if (step == "subsplit") {
      // "TEXT|CHECK", "\n" in TEXT standing for a line break.
      const HWND sub = find_sub_dialog();
      const std::size_t bar = rest.rfind('|');
      std::string text = rest.substr(0, bar);
      for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\r\n");
      set_window_text_utf8(GetDlgItem(sub, IDC_SPLIT_SEPARATORS), text.c_str());
      CheckDlgButton(sub, IDC_SPLIT_LINE_BREAKS, rest.substr(bar + 1) == "1" ? BST_CHECKED : BST_UNCHECKED);
    } else if (step == "subcmd") {
      PostMessageW(find_sub_dialog(), WM_COMMAND, std::stoi(rest), 0);
      pump_for(300);
    } else if (step == "subshot") {
      const HWND sub = find_sub_dialog();
      SetForegroundWindow(sub);
      pump_for(100);
      test_support::screen_capture shot(sub);
      print("screenshot|" + shot.save(rest) + "\n");
    } else if (step == "saveconfig" || step == "loadconfig") {
      // "config.dat" in that folder, written or read by the program's store.
      qiv::string_buffer folder;
      vantrel_io::canonicalize_path(rest.c_str(), folder);
      app::state().profile_path.set_string(folder.get_ptr());
      service_ptr<vantrel_io::config_store> store(new service_counted<vantrel_io::config_store>());
      if (step == "saveconfig") store->write_file(never_raised_abort_signal());
      else store->read_file(vantrel_io::config_store::get_path().get_ptr(), never_raised_abort_signal());
      print(step + "|done\n");
    } else if (step == "wait") {
      // Until the dialog (or the one given) is enabled again or gone.
      run_loop_until([&] { return !IsWindow(current) || IsWindowEnabled(current); });
      pump_for(200);
    } else if (step == "pump") {
      pump_for(std::stoul(rest));
    } else if (step == "dump") {
      if (!IsWindow(current)) {
        print("closed\n");
        continue;
      }
      qiv::string_buffer caption;
      get_window_text_utf8(current, caption);
      print(std::string("caption|") + caption.get_ptr() + "\n");
      print(std::string("apply|") + (IsWindowEnabled(GetDlgItem(current, IDC_PROPERTIES_APPLY)) ? "on" : "off") + "\n");
      print("tab|" + std::to_string(SendDlgItemMessageW(current, IDC_PROPERTIES_TABS, TCM_GETCURSEL, 0, 0)) + "\n");
      dump_list("meta", metadata);
      dump_list("info", GetDlgItem(current, IDC_PROPERTIES_INFO_LIST));
    } else if (step == "boxes") {
      for (const std::string& text : boxes_seen) print("box|" + text + "\n");
      boxes_seen.clear();
    } else if (step == "getclipboard") {
      qiv::string_buffer text;
      get_clipboard_text_utf8(text);
      print(std::string("clipboard|") + text.get_ptr() + "\n");
    } else if (step == "editor") {
      // The field edit dialog: its caption, OK state and name box.
      const HWND editor = find_field_editor();
      if (editor == nullptr) {
        print("editor|none\n");
        continue;
      }
      qiv::string_buffer caption;
      get_window_text_utf8(editor, caption);
      bool tip = false;
      EnumThreadWindows(GetCurrentThreadId(), find_visible_tip, reinterpret_cast<LPARAM>(&tip));
      print(std::string("editor|") + caption.get_ptr() + "|ok " +
            (IsWindowEnabled(GetDlgItem(editor, IDOK)) ? "on" : "off") + "|tabbed " +
            (GetDlgItem(editor, IDC_FIELD_TABS) ? "yes" : "no") + "|tip " + (tip ? "yes" : "no") + "\n");
    } else if (step == "editorname") {
      const HWND editor = find_field_editor();
      const HWND box = GetDlgItem(editor, IDC_FIELD_NAME);
      set_window_text_utf8(box, rest.c_str());
      SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDC_FIELD_NAME, CBN_EDITCHANGE), LPARAM(box));
      pump_for(100);
    } else if (step == "editorvalue") {
      const HWND editor = find_field_editor();
      HWND box = GetDlgItem(editor, IDC_FIELD_VALUE);
      if (box == nullptr) {
        box = GetDlgItem(editor, IDC_FIELD_SINGLE_VALUE);
        SendDlgItemMessageW(editor, IDC_FIELD_TABS, TCM_SETCURSEL, 0, 0);
        NMHDR change = {GetDlgItem(editor, IDC_FIELD_TABS), UINT_PTR(IDC_FIELD_TABS), UINT(TCN_SELCHANGE)};
        SendMessageW(editor, WM_NOTIFY, IDC_FIELD_TABS, reinterpret_cast<LPARAM>(&change));
      }
      // As typed: a replaced selection, which the box reports as a change.
      SetFocus(box);
      SendMessageW(box, EM_SETSEL, 0, -1);
      SendMessageW(box, EM_REPLACESEL, TRUE, LPARAM(qiv::utf8_to_wide_buffer(rest.c_str(), rest.size()).get_ptr()));
      pump_for(100);
    } else if (step == "editorok" || step == "editorcancel") {
      PostMessageW(find_field_editor(), WM_COMMAND, step == "editorok" ? IDOK : IDCANCEL, 0);
      pump_for(200);
    } else if (step == "screenshot" || step == "editorshot") {
      const HWND shown = step == "screenshot" ? current : find_field_editor();
      SetForegroundWindow(shown);
      test_support::screen_capture shot(shown);
      print("screenshot|" + shot.save(rest) + "\n");
    } else if (step == "resize") {
      std::istringstream size(rest);
      int width = 0, height = 0;
      size >> width >> height;
      SetWindowPos(current, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
      pump_for(100);
    } else if (step == "setwidth") {
      SendMessageW(metadata, LVM_SETCOLUMNWIDTH, 0, std::stoi(rest));
    } else if (step == "widths") {
      print("widths|" + std::to_string(SendMessageW(metadata, LVM_GETCOLUMNWIDTH, 0, 0)) + "\n");
    } else if (step == "count") {
      int open = 0;
      for (HWND window : dialogs) open += window != nullptr && IsWindow(window);
      print("dialogs|" + std::to_string(open) + "\n");
    }
  }
  UnhookWindowsHookEx(box_hook);
  UnhookWindowsHookEx(help_hook);
  return 0;
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  qiv::set_main_thread_id(GetCurrentThreadId());
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  OleInitialize(nullptr);
  service_registry::table().build(service_factory::global_list_head);
  localisation::load(0x0409);

  // A stand-in for the main window: the owner of the load's progress dialog
  // and of every properties dialog.
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = main_window_procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"ZorvPropertiesProbeMain";
  RegisterClassW(&window_class);
  app::state().ui_main_window = CreateWindowExW(0, window_class.lpszClassName, L"Zorv probe", WS_OVERLAPPEDWINDOW,
                                                0, 0, 300, 200, nullptr, nullptr, window_class.hInstance, nullptr);

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    qiv::string_small text;
    wide_to_utf8(argv[i], text);
    args.emplace_back(text.get_ptr());
  }
  if (args[0] == "rows") return list_rows({args.begin() + 1, args.end()});
  if (args[0] == "script" && args.size() >= 3) return run_script(args[1], {args.begin() + 2, args.end()});
  return 2;
}
