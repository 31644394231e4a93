#include "ui/dialogs/preferences_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <map>

#include "core/app_state.h"
#include "core/close_guard_registry.h"
#include "core/config_item_registrations.h"
#include "core/localized_text.h"
#include "core/localized_window_text.h"
#include "core/modal_scope.h"
#include "core/persistent_store.h"
#include "core/preferences_window_source.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "core/shutdown_approval.h"
#include "foundation/code_page_text.h"
#include "foundation/comparators.h"
#include "foundation/crash.h"
#include "foundation/guid_equal.h"
#include "foundation/main_thread.h"
#include "foundation/modal_popup.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"
#include "playback/playback_front.h"
#include "resources/preferences_dialogs.h"
#include "ui/dialogs/preferences_page.h"
#include "ui/dialogs/preferences_tree.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_placement.h"
#include "ui/framework/window_utilities.h"

namespace {

// Posted once for a burst of page state changes.
constexpr UINT message_update_buttons = 0x819C;

class preferences_window;
preferences_window* open_dialog = nullptr;
// The page shown last in this run; only kept in memory.
GUID last_shown_page = {};
bool has_last_shown_page = false;

// A page window without a v3 page behind it (an older page or a branch's
// placeholder): its state is fixed, apply and reset do nothing.
class window_page_instance : public preferences_page_instance {
public:
  window_page_instance(HWND window, std::uint32_t state) noexcept : window_(window), state_(state) {}
  ~window_page_instance() {
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  std::uint32_t get_state() override { return state_; }
  HWND get_wnd() override { return window_; }
  void apply() override {}
  void reset() override {}

private:
  HWND window_;
  std::uint32_t state_;
};

INT_PTR CALLBACK placeholder_procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// What the dialog hands to its pages. It outlives the dialog when a page
// keeps it, so the dialog cuts the link when it ends.
class page_callback : public preferences_page_callback {
public:
  void bind(preferences_window* dialog) noexcept { dialog_ = dialog; }
  void on_state_changed() override;

private:
  preferences_window* dialog_ = nullptr;
};

// Lists the dialog in the close confirmation while a page is busy.
class busy_close_guard final : public close_guard {
public:
  void get_description(qiv::string_object& out) override { out.set_string("<unnamed task>"); }
  void hold(bool busy) {
    if (busy == held_) return;
    if (busy) close_guards().add(this);
    else close_guards().remove(this);
    held_ = busy;
  }

private:
  bool held_ = false;
};

class preferences_window final : public dialog_object {
public:
  explicit preferences_window(const GUID* requested) : keeper_(config::preferences_window) {
    if (requested != nullptr) {
      requested_ = *requested;
      has_requested_ = true;
    }
    callback_ = new service_counted<page_callback>();
    callback_->bind(this);
    const dialog_anchor anchors[] = {
        // The tree takes a share of a change in width, so that a page keeps
        // room for its rows on a small screen at a high DPI.
        {IDC_PREFERENCES_TREE, 0, 0, 0.3f, 1}, {IDC_PREFERENCES_PAGE_FRAME, 0.3f, 0, 1, 1}, {IDOK, 1, 1, 1, 1},
        {IDCANCEL, 1, 1, 1, 1},             {IDC_PREFERENCES_APPLY, 1, 1, 1, 1},
    };
    resizer_.set_anchors(anchors, std::size(anchors));
    resizer_.minimum_size_dialog_units = {492, 316};
  }

  ~preferences_window() override {
    keeper_.save_current();
    busy_guard_.hold(false);
    callback_->bind(nullptr);
    current_.reset();
    instances_.clear();
    if (open_dialog == this) open_dialog = nullptr;
  }

  void on_final_message(HWND) override { delete this; }

  void on_state_changed() {
    if (!update_posted_ && handle() != nullptr) {
      update_posted_ = true;
      PostMessageW(handle(), message_update_buttons, 0, 0);
    }
    busy_guard_.hold((combined_state() & preferences_state::busy) != 0);
  }

  void select_page(const GUID& guid) {
    if (is_busy()) return;
    const preferences_node* node = tree_.find(guid);
    if (node == nullptr || node->item == nullptr) return;
    // Through no selection first, so that the selection handling runs even
    // when the item was selected already.
    SendMessageW(tree_window_, TVM_SELECTITEM, TVGN_CARET, 0);
    SendMessageW(tree_window_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node->item));
  }

  // Answers whether a page is busy; the dialog or its page is disabled
  // while a modal child of it is open.
  bool is_busy() const {
    if (handle() != nullptr && !IsWindowEnabled(handle())) return true;
    return current_window_ != nullptr && !IsWindowEnabled(current_window_);
  }

private:
  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD) override {
    registration_.process_message(window, message);
    if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
    keeper_.on_message(window, message);
    switch (message) {
      case WM_INITDIALOG:
        on_initialise();
        result = FALSE;
        return true;
      case WM_SIZE:
        place_current_page();
        return false;
      case WM_NOTIFY:
        return on_notify(*reinterpret_cast<const NMHDR*>(lparam));
      case WM_COMMAND:
        return on_command(LOWORD(wparam));
      case message_update_buttons:
        update_posted_ = false;
        update_buttons();
        return true;
      case WM_DESTROY:
        if (open_dialog == this) open_dialog = nullptr;
        // The tree control goes after this message and may still report
        // on its items, whose nodes are gone.
        selection_follows_tree_ = false;
        tree_.clear();
        return false;
      default:
        return false;
    }
  }

  void on_initialise() {
    // The caption until a page is chosen: none is when the last page shown
    // is gone and the fallback page is not in the tree.
    set_localized_window_text(handle(), "menu_preferences", "Preferences");
    set_localized_text(IDOK, "dialog_ok");
    set_localized_text(IDCANCEL, "dialog_cancel");
    set_localized_text(IDC_PREFERENCES_APPLY, "dialog_apply");
    open_dialog = this;
    tree_window_ = GetDlgItem(handle(), IDC_PREFERENCES_TREE);
    tree_control_.attach_to(tree_window_);
    SetWindowTheme(tree_window_, L"explorer", nullptr);
    tree_.add_registered();
    tree_.build();
    // The tree control chooses an item of its own when it is filled or
    // focused; only the choices below and the user's pick a page.
    selection_follows_tree_ = false;
    insert_items(tree_.roots(), TVI_ROOT);
    update_buttons();

    constexpr GUID fallback_page = {0x2E8E9647, 0x4174, 0x41B2, {0x9E, 0xC4, 0x91, 0x0B, 0xE1, 0x28, 0x08, 0x2E}};
    const GUID* candidates[] = {has_requested_ ? &requested_ : nullptr,
                                has_last_shown_page ? &last_shown_page : nullptr, &fallback_page};
    HTREEITEM chosen = nullptr;
    for (const GUID* candidate : candidates) {
      const preferences_node* node = candidate != nullptr ? tree_.find(*candidate) : nullptr;
      if (node != nullptr && node->item != nullptr) {
        chosen = node->item;
        break;
      }
    }
    SetFocus(tree_window_);
    SendMessageW(tree_window_, TVM_SELECTITEM, TVGN_CARET, 0);
    selection_follows_tree_ = true;
    if (chosen != nullptr) SendMessageW(tree_window_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(chosen));
    ShowWindow(handle(), SW_SHOW);
    SetFocus(GetDlgItem(handle(), IDOK));
  }

  void set_localized_text(int id, const char* text_id) {
    const char* text = localized_text_get(text_id);
    SetDlgItemTextW(handle(), id, qiv::utf8_to_utf16(text, std::char_traits<char>::length(text)).c_str());
  }

  void insert_items(const std::vector<preferences_node*>& list, HTREEITEM parent) {
    for (preferences_node* node : list) {
      const std::wstring name = qiv::utf8_to_utf16(node->name.c_str(), node->name.size());
      TVINSERTSTRUCTW insert = {};
      insert.hParent = parent;
      insert.hInsertAfter = TVI_LAST;
      insert.item.mask = TVIF_TEXT | TVIF_STATE | TVIF_PARAM;
      insert.item.pszText = const_cast<wchar_t*>(name.c_str());
      insert.item.stateMask = TVIS_EXPANDED;
      insert.item.state = config::preferences_dialog_state.value().find(node->guid) != nullptr ? TVIS_EXPANDED : 0;
      insert.item.lParam = reinterpret_cast<LPARAM>(node);
      node->item = reinterpret_cast<HTREEITEM>(
          SendMessageW(tree_window_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
      insert_items(node->children, node->item);
    }
  }

  bool on_notify(const NMHDR& header) {
    if (header.idFrom != IDC_PREFERENCES_TREE) return false;
    const auto& view = reinterpret_cast<const NMTREEVIEWW&>(header);
    if (header.code == TVN_SELCHANGEDW) {
      if (view.itemNew.hItem != nullptr && selection_follows_tree_) on_selection(*reinterpret_cast<preferences_node*>(view.itemNew.lParam));
      return true;
    }
    if (header.code == TVN_ITEMEXPANDEDW && selection_follows_tree_) {
      const auto* node = reinterpret_cast<const preferences_node*>(view.itemNew.lParam);
      if (node == nullptr) return true;
      auto& expanded = config::preferences_dialog_state.value();
      if ((view.action & TVE_COLLAPSE) != 0) expanded.remove(node->guid);
      else expanded.insert(node->guid);
      return true;
    }
    return false;
  }

  void on_selection(preferences_node& node) {
    if ((current_ && qiv::guid_equal(current_guid_, node.guid)) || is_busy()) return;
    if (current_window_ != nullptr) ShowWindow(current_window_, SW_HIDE);

    service_ptr<preferences_page_instance> instance;
    if (auto found = instances_.find(node.guid); found != instances_.end()) instance = found->second;
    else instance = instances_[node.guid] = create_instance(node);

    current_ = instance;
    current_guid_ = node.guid;
    current_window_ = instance->get_wnd();
    last_shown_page = node.guid;
    has_last_shown_page = true;
    SetWindowLongW(current_window_, GWL_EXSTYLE, GetWindowLongW(current_window_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    place_current_page();
    ShowWindow(current_window_, SW_SHOWNA);
    SetFocus(tree_window_);

    update_buttons();
    qiv::string_small caption;
    localized_values values;
    values.insert(qiv::string_small("page")).node->value = qiv::string_small(node.name.c_str());
    if (!localized_text_format("preferences_caption", values, caption)) caption.set_string("");
    SetWindowTextW(handle(), qiv::utf8_to_utf16(caption.get_ptr(), caption.get_length()).c_str());
  }

  service_ptr<preferences_page_instance> create_instance(const preferences_node& node) {
    if (!node.is_page) {
      SetLastError(0);
      HWND placeholder = CreateDialogParamW(app_instance(), MAKEINTRESOURCEW(IDD_PREFERENCES_BRANCH), handle(),
                                            placeholder_procedure, 0);
      if (placeholder == nullptr) throw exception_win32(GetLastError() != 0 ? GetLastError() : ERROR_CANNOT_MAKE);
      return new service_counted<window_page_instance>(placeholder, 0);
    }
    const auto pages = service_list_t<preferences_page>();
    if (node.index >= pages.get_count()) qiv::crash();
    preferences_page* page = pages[node.index].get();
    const auto v2 = service_query<preferences_page_v2>(page);
    const std::uint32_t base = v2 && v2->has_reset() ? preferences_state::has_reset : 0u;
    if (const auto v3 = service_query<preferences_page_v3>(page)) return v3->create(handle(), service_ptr<preferences_page_callback>(callback_.get()));
    HWND window = page->create_window(handle());
    qiv::dynamic_assert(window != nullptr);
    return new service_counted<window_page_instance>(window, base);
  }

  static HINSTANCE app_instance() {
    return app::state().instance_handle != nullptr ? app::state().instance_handle : GetModuleHandleW(nullptr);
  }

  void place_current_page() {
    RECT frame;
    if (current_window_ == nullptr || !get_control_rect_in_parent(handle(), IDC_PREFERENCES_PAGE_FRAME, frame)) return;
    set_window_pos_rect(current_window_, nullptr, frame, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::uint32_t combined_state() {
    std::uint32_t state = 0;
    for (auto& [guid, instance] : instances_) state |= instance->get_state();
    return state;
  }

  void update_buttons() {
    const std::uint32_t state = combined_state();
    const bool busy = (state & preferences_state::busy) != 0;
    EnableWindow(GetDlgItem(handle(), IDC_PREFERENCES_APPLY), (state & preferences_state::changed) != 0 && !busy);
    EnableWindow(GetDlgItem(handle(), IDOK), !busy);
    EnableWindow(GetDlgItem(handle(), IDCANCEL), !busy);
    busy_guard_.hold(busy);
  }

  bool on_command(WORD id) {
    switch (id) {
      case IDOK:
        if (apply()) close();
        return true;
      case IDC_PREFERENCES_APPLY:
        apply();
        return true;
      case IDCANCEL:
        close();
        return true;
      default:
        return false;
    }
  }

  bool apply() {
    const std::uint32_t state = combined_state();
    if ((state & preferences_state::busy) != 0) return false;
    if ((state & preferences_state::changed) != 0) {
      if ((state & preferences_state::needs_restart) != 0 && !confirm_restart()) return false;
      // Copied first: a page's apply may make the dialog's map change.
      std::vector<service_ptr<preferences_page_instance>> changed;
      for (auto& [guid, instance] : instances_)
        if ((instance->get_state() & preferences_state::changed) != 0) changed.push_back(instance);
      for (auto& instance : changed) instance->apply();
      if (!app::state().quitting) {
        if ((state & preferences_state::reopen_output) != 0) playback_front_get().refresh_output();
        if (!app::state().profile_read_only) save_settings_now();
      }
    }
    EnableWindow(GetDlgItem(handle(), IDC_PREFERENCES_APPLY), FALSE);
    return true;
  }

  bool confirm_restart() {
    if (!shutdown_approval::query_all()) return false;
    if (!modal_allowed()) {
      activate_blocked_popup();
      return false;
    }
    modal_scope scope;
    scope.enter(handle());
    const int answer = message_box_utf8(handle(),
                                        "Applying these changes requires Zorv to be restarted. Continue?",
                                        "Zorv preferences", MB_OKCANCEL | MB_ICONQUESTION);
    scope.leave();
    return answer == IDOK && app::request_exit(1);
  }

  static void save_settings_now() {
    for (auto& store : service_list_t<persistent_store>())
      if (auto flush = service_query<persistent_store_flush>(store.get())) flush->save_now();
  }

  void close() {
    if ((combined_state() & preferences_state::busy) != 0 || is_busy()) return;
    DestroyWindow(handle());
  }

  window_placement_keeper keeper_;
  modeless_dialog_registration registration_;
  dialog_resizer resizer_;
  list_view_ctrl tree_control_;
  preferences_tree tree_;
  HWND tree_window_ = nullptr;
  service_ptr<page_callback> callback_;
  service_ptr<preferences_page_instance> current_;
  HWND current_window_ = nullptr;
  GUID current_guid_ = {};
  std::map<GUID, service_ptr<preferences_page_instance>, qiv::guid_less> instances_;
  bool update_posted_ = false;
  bool selection_follows_tree_ = true;
  busy_close_guard busy_guard_;
  GUID requested_ = {};
  bool has_requested_ = false;
};

void page_callback::on_state_changed() {
  if (dialog_ != nullptr) dialog_->on_state_changed();
}

// Asked before the program quits: a busy dialog (a modal child of it open)
// holds the program open and comes forward.
class preferences_quit_guard : public quit_approval {
public:
  bool may_quit_now() override {
    if (open_dialog == nullptr || !open_dialog->is_busy()) return true;
    MessageBeep(0);
    SetForegroundWindow(open_dialog->handle());
    return false;
  }
};
service_factory_single_t<preferences_quit_guard> quit_guard_registration;

// How the core finds a dialog left open after the message loop, to close it.
class preferences_window_source_impl : public preferences_window_source {
public:
  HWND open_window() override { return open_dialog != nullptr ? open_dialog->handle() : nullptr; }
};
service_factory_single_t<preferences_window_source_impl> window_source_registration;

}  // namespace

namespace preferences_dialog {

void open(const GUID* page) {
  if (!is_main_thread()) qiv::crash();
  if (open_dialog == nullptr) {
    auto* dialog = new preferences_window(page);
    try {
      dialog->create_modeless(IDD_PREFERENCES, app::state().ui_main_window);
    } catch (...) {
      if (dialog->handle() == nullptr) delete dialog;
      throw;
    }
    return;
  }
  const HWND window = open_dialog->handle();
  ShowWindow(window, SW_SHOW);
  ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(window);
  if (page != nullptr) open_dialog->select_page(*page);
}

HWND window() noexcept { return open_dialog != nullptr ? open_dialog->handle() : nullptr; }

}  // namespace preferences_dialog

HWND preferences_page_base::create_window(HWND) { throw qiv::exception_not_implemented(); }
