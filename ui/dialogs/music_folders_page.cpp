// The "Music folders" preferences page: the additional folders, whether the
// Windows music library's folders are included and whether the folders are
// monitored. Nothing reaches the library until the page is applied.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/service_factory.h"
#include "foundation/code_page_text.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"
#include "library/library_folder_list.h"
#include "library/media_library.h"
#include "resources/preferences_dialogs.h"
#include "ui/dialogs/preferences_page.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/window_utilities.h"
#include "ui/menus/folder_picker.h"

namespace {

constexpr GUID music_folders_page_guid = {0x2D269FA9, 0x6F78, 0x4CEC, {0x9F, 0x1F, 0x0A, 0x17, 0x6E, 0xFC, 0xE7, 0x7A}};

std::vector<std::string> configured_folders() {
  std::vector<std::string> folders;
  for (const qiv::string_small& folder : config::library_extra_folders.value()) folders.emplace_back(folder.get_ptr());
  // A list stored with a folder twice (by an older version, or edited by
  // hand) shows it once, as the library uses it.
  drop_repeated_folders(folders);
  return folders;
}

class music_folders_page_instance : public preferences_page_instance, public dialog_object {
public:
  explicit music_folders_page_instance(service_ptr<preferences_page_callback> callback) noexcept
      : callback_(std::move(callback)) {
    // The page follows the width the dialog gives it, which on a small screen
    // at a high DPI is less than the page was drawn for.
    using r = dialog_resizer;
    const std::uint32_t anchors[] = {
        r::packed(IDC_FOLDERS_ADDITIONAL_LABEL, r::stretch_x), r::packed(IDC_FOLDERS_ADDITIONAL_LIST, r::stretch_x),
        r::packed(IDC_FOLDERS_ADD, r::move_x),                 r::packed(IDC_FOLDERS_REMOVE, r::move_x),
        r::packed(IDC_FOLDERS_INCLUDE_WINDOWS, r::stretch_x),  r::packed(IDC_FOLDERS_WINDOWS_LIST, r::stretch_x),
        r::packed(IDC_FOLDERS_MONITOR, r::stretch_x)};
    resizer_.set_packed_anchors(anchors, std::size(anchors));
  }
  ~music_folders_page_instance() {
    if (handle() != nullptr) DestroyWindow(handle());
  }

  void create(HWND parent) { create_modeless(IDD_PREFERENCES_FOLDERS, parent); }

  std::uint32_t get_state() override {
    return preferences_state::has_reset | (changed_ ? preferences_state::changed : 0);
  }
  HWND get_wnd() override { return handle(); }
  void apply() override;
  void reset() override { fill({}, true); }

private:
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_initialise();
  void fill(const std::vector<std::string>& folders, bool include_windows_folders);
  void add_folder();
  void remove_folder();
  void open_folder(const NMITEMACTIVATE& activation);
  void mark_changed();
  bool is_checked(int id) const { return IsDlgButtonChecked(handle(), id) == BST_CHECKED; }
  HWND item(int id) const { return GetDlgItem(handle(), id); }

  service_ptr<preferences_page_callback> callback_;
  bool changed_ = false;
  std::vector<std::string> windows_folders_;
  std::vector<std::string> folders_;
  gdi_object_holder bold_font_;
  gdi_object_holder large_font_;
  dialog_resizer resizer_;
};

void music_folders_page_instance::on_initialise() {
  const HWND dialog = handle();
  const auto set_text = [dialog](int id, const char* text_id) {
    const char* text = localized_text_get(text_id);
    SetDlgItemTextW(dialog, id, qiv::utf8_to_utf16(text, std::char_traits<char>::length(text)).c_str());
  };
  set_text(IDC_FOLDERS_ADDITIONAL_LABEL, "preferences_folders_additional_folders");
  set_text(IDC_FOLDERS_INCLUDE_WINDOWS, "preferences_folders_include_windows_folders");
  set_text(IDC_FOLDERS_MONITOR, "preferences_folders_monitor");

  const auto dialog_font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  HFONT bold, large;
  font_with_scaled_height_and_weight(bold, dialog_font, FW_BOLD, 1.1);
  bold_font_.reset(bold);
  font_with_scaled_height(large, dialog_font, 2.5);
  large_font_.reset(large);
  for (int id : {IDC_FOLDERS_INCLUDE_WINDOWS, IDC_FOLDERS_ADDITIONAL_LABEL})
    SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  for (int id : {IDC_FOLDERS_ADD, IDC_FOLDERS_REMOVE})
    SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(large), FALSE);

  for (int id : {IDC_FOLDERS_ADDITIONAL_LIST, IDC_FOLDERS_WINDOWS_LIST}) {
    SetWindowTheme(item(id), L"explorer", nullptr);
    list_view_insert_column(item(id), 0, "", 0);
    SendMessageW(item(id), LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
  }
  // A library kept beside the program does not use the Windows folders.
  if (app::state().portable_library) {
    ShowWindow(item(IDC_FOLDERS_INCLUDE_WINDOWS), SW_HIDE);
    ShowWindow(item(IDC_FOLDERS_WINDOWS_LIST), SW_HIDE);
  }
  CheckDlgButton(dialog, IDC_FOLDERS_MONITOR, config::library_monitor_folders.get() ? BST_CHECKED : BST_UNCHECKED);
  fill(configured_folders(), config::library_include_music_library.get());
}

void music_folders_page_instance::fill(const std::vector<std::string>& folders, bool include_windows_folders) {
  const HWND additional = item(IDC_FOLDERS_ADDITIONAL_LIST);
  const HWND windows = item(IDC_FOLDERS_WINDOWS_LIST);
  SendMessageW(additional, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(windows, LVM_DELETEALLITEMS, 0, 0);
  if (!app::state().portable_library) {
    CheckDlgButton(handle(), IDC_FOLDERS_INCLUDE_WINDOWS, include_windows_folders ? BST_CHECKED : BST_UNCHECKED);
    media_library::default_folders(windows_folders_);
    for (const std::string& folder : windows_folders_) list_view_append_item(windows, -1, folder.c_str(), 0);
  }
  for (const std::string& folder : folders) list_view_append_item(additional, -1, folder.c_str(), 0);
  folders_ = folders;
  EnableWindow(item(IDC_FOLDERS_REMOVE), FALSE);
}

void music_folders_page_instance::add_folder() {
  if (!is_main_thread()) qiv::crash();
  if (!modal_allowed()) {
    activate_blocked_popup();
    return;
  }
  qiv::string_buffer path;
  if (!pick_folder(handle(), localized_text_get("preferences_folders_add"), path)) return;
  const HWND list = item(IDC_FOLDERS_ADDITIONAL_LIST);
  // A folder already listed, in whatever spelling, is shown rather than
  // listed twice.
  const std::string key = library_folder_key(path.get_ptr());
  const auto listed = std::find_if(folders_.begin(), folders_.end(),
                                   [&](const std::string& folder) { return library_folder_key(folder) == key; });
  if (listed != folders_.end()) {
    const auto row = static_cast<int>(listed - folders_.begin());
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    // Posted: the dialog gives the focus back to "+" as the picker closes.
    PostMessageW(GetAncestor(handle(), GA_ROOT), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    return;
  }
  folders_.emplace_back(path.get_ptr());
  list_view_append_item(list, -1, path.get_ptr(), 0);
  mark_changed();
}

void music_folders_page_instance::remove_folder() {
  const HWND list = item(IDC_FOLDERS_ADDITIONAL_LIST);
  const int selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (selected < 0 || static_cast<std::size_t>(selected) >= folders_.size()) {
    MessageBeep(0);
    return;
  }
  folders_.erase(folders_.begin() + selected);
  SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(selected), 0);
  mark_changed();
}

void music_folders_page_instance::open_folder(const NMITEMACTIVATE& activation) {
  if (!is_main_thread()) qiv::crash();
  if (!modal_allowed()) {
    activate_blocked_popup();
    return;
  }
  if (activation.iItem < 0) return;
  std::string folder;
  list_view_get_item_text(activation.hdr.hwndFrom, activation.iItem, 0, folder);
  if (!folder.empty()) shell_execute_utf8(handle(), nullptr, folder.c_str());
}

void music_folders_page_instance::mark_changed() {
  const bool was_changed = changed_;
  changed_ = true;
  if (!was_changed) callback_->on_state_changed();
}

void music_folders_page_instance::apply() {
  if (!changed_) return;
  changed_ = false;
  const bool monitor = is_checked(IDC_FOLDERS_MONITOR);
  const bool monitor_changed = monitor != config::library_monitor_folders.get();
  if (monitor_changed) config::library_monitor_folders.set(monitor);

  const bool list_changed = folders_ != configured_folders();
  if (list_changed) {
    auto& stored = config::library_extra_folders.value();
    stored.clear();
    for (const std::string& folder : folders_) stored.append(qiv::string_small(folder.c_str()));
  }

  // In portable-library mode the check box is hidden and says nothing: the
  // setting for ordinary runs stays as the user left it.
  bool include_changed = false;
  if (!app::state().portable_library) {
    const bool include = is_checked(IDC_FOLDERS_INCLUDE_WINDOWS);
    include_changed = include != config::library_include_music_library.get();
    if (include_changed) config::library_include_music_library.set(include);
  }
  if (include_changed || list_changed) media_library::startup_folders();
  else if (!monitor_changed) return;
  if (media_library::is_loaded()) media_library::apply_folders({});
}

bool music_folders_page_instance::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                                  LRESULT& result, DWORD) {
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  switch (message) {
    case WM_SIZE:
      for (int id : {IDC_FOLDERS_ADDITIONAL_LIST, IDC_FOLDERS_WINDOWS_LIST})
        SendMessageW(item(id), LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
      return false;
    case WM_INITDIALOG:
      on_initialise();
      result = TRUE;
      return true;
    case WM_COMMAND:
      if (HIWORD(wparam) != BN_CLICKED) return false;
      switch (LOWORD(wparam)) {
        case IDC_FOLDERS_ADD:
          add_folder();
          return true;
        case IDC_FOLDERS_REMOVE:
          remove_folder();
          return true;
        case IDC_FOLDERS_INCLUDE_WINDOWS:
        case IDC_FOLDERS_MONITOR:
          mark_changed();
          return true;
        default:
          return false;
      }
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if (header.idFrom == IDC_FOLDERS_ADDITIONAL_LIST && header.code == LVN_ITEMCHANGED) {
        const bool selected =
            SendMessageW(header.hwndFrom, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) >= 0;
        EnableWindow(item(IDC_FOLDERS_REMOVE), selected);
        return true;
      }
      if ((header.idFrom == IDC_FOLDERS_ADDITIONAL_LIST || header.idFrom == IDC_FOLDERS_WINDOWS_LIST) &&
          header.code == NM_DBLCLK) {
        open_folder(*reinterpret_cast<const NMITEMACTIVATE*>(lparam));
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

class music_folders_page : public preferences_page_base {
public:
  void get_name(qiv::string_object& out) override { out.set_string(localized_text_get("preferences_folders")); }
  GUID get_guid() override { return music_folders_page_guid; }
  service_ptr<preferences_page_instance> create(HWND parent, service_ptr<preferences_page_callback> callback) override {
    auto* instance = new service_counted<music_folders_page_instance>(std::move(callback));
    service_ptr<preferences_page_instance> held(instance);
    instance->create(parent);
    return held;
  }
};

service_factory_single_t<music_folders_page> music_folders_page_registration;

}  // namespace
