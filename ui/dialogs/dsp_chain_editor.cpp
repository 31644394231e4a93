#include "ui/dialogs/dsp_chain_editor.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <cstring>

#include "core/localized_window_text.h"
#include "core/service_registry.h"
#include "foundation/code_page_text.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/string_small.h"
#include "foundation/window_text.h"
#include "resources/dsp_dialogs.h"
#include "ui/framework/list_view_operations.h"
#include "ui/framework/window_object_property.h"

namespace {

constexpr const char* missing_effect_name = "<ERROR>";

bool find_effect(const GUID& guid, service_ptr<dsp_effect_type>& out) { return find_dsp_effect_type(guid, out); }

void list_view_set_text(HWND list, int item, const std::string& text) {
  list_view_set_item_text(list, item, 0, text.c_str());
}

}  // namespace

bool dsp_chain_editor::guid_less::operator()(const GUID& a, const GUID& b) const noexcept {
  return std::memcmp(&a, &b, sizeof(GUID)) < 0;
}

dsp_chain_editor::dsp_chain_editor(const dsp_chain& chain, UINT control_id, bool in_modal_frame,
                                   dsp_preset_list& presets, question ask)
    : chain_(chain), control_id_(control_id), in_modal_frame_(in_modal_frame), presets_(presets),
      ask_(std::move(ask)) {
  static const dialog_anchor anchors[] = {
      {IDC_DSP_ACTIVE_LIST, 0, 0, 0.5f, 1},
      {IDC_DSP_CONFIGURE, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_AVAILABLE_LABEL, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_ADD, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_REMOVE, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_UP, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_DOWN, 0.5f, 0, 0.5f, 0},
      {IDC_DSP_AVAILABLE_LIST, 0.5f, 0, 1, 1},
      {IDC_DSP_PRESETS_GROUP, 0, 1, 1, 1},
      {IDC_DSP_PRESET_NAME, 0, 1, 1, 1},
      {IDC_DSP_PRESET_LOAD, 1, 1, 1, 1},
      {IDC_DSP_PRESET_SAVE, 1, 1, 1, 1},
      {IDC_DSP_PRESET_DELETE, 1, 1, 1, 1},
  };
  resizer_.set_anchors(anchors, std::size(anchors));
}

HWND dsp_chain_editor::create(const dsp_chain& chain, HWND parent, UINT control_id, bool in_modal_frame,
                              dsp_preset_list& presets, question ask) {
  auto* editor = new dsp_chain_editor(chain, control_id, in_modal_frame, presets, std::move(ask));
  HWND window;
  try {
    window = editor->create_modeless(IDD_DSP_CHAIN_EDITOR, parent);
  } catch (...) {
    delete editor;
    throw;
  }
  ShowWindow(window, SW_SHOWNA);
  return window;
}

dsp_chain_editor* dsp_chain_editor::from_window(HWND window) noexcept {
  return dynamic_cast<dsp_chain_editor*>(window_object_property::get(window));
}

bool dsp_chain_editor::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                       DWORD) {
  registration_.process_message(window, message);
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  switch (message) {
    case WM_INITDIALOG:
      on_init();
      result = FALSE;  // no default focus
      return true;
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam));
      result = 0;
      return true;
    case WM_NOTIFY:
      on_notify(*reinterpret_cast<const NMHDR*>(lparam));
      result = 0;
      return true;
    case WM_ENABLE:
      update_states();
      return false;
    case message_get_chain:
      *reinterpret_cast<dsp_chain*>(lparam) = chain_;
      result = 0;
      return true;
    case message_set_chain:
      chain_ = *reinterpret_cast<const dsp_chain*>(lparam);
      refill_lists();
      result = 0;
      return true;
    default:
      return false;
  }
}

void dsp_chain_editor::on_init() {
  const HWND editor = handle();
  set_localized_item_text(editor, IDC_DSP_ACTIVE_LABEL, "dsp_active", "Active DSPs");
  set_localized_item_text(editor, IDC_DSP_CONFIGURE, "dsp_configure", "Configure selected");
  set_localized_item_text(editor, IDC_DSP_ADD, "dialog_add", "Add");
  set_localized_item_text(editor, IDC_DSP_REMOVE, "dialog_remove", "Remove");
  set_localized_item_text(editor, IDC_DSP_UP, "dsp_up", "Up");
  set_localized_item_text(editor, IDC_DSP_DOWN, "dsp_down", "Down");
  set_localized_item_text(editor, IDC_DSP_AVAILABLE_LABEL, "dsp_available", "Available DSPs");
  set_localized_item_text(editor, IDC_DSP_PRESETS_GROUP, "dsp_presets", "DSP chain presets");
  set_localized_item_text(editor, IDC_DSP_PRESET_LOAD, "dsp_preset_load", "Load");
  set_localized_item_text(editor, IDC_DSP_PRESET_SAVE, "dsp_preset_save", "Save");
  set_localized_item_text(editor, IDC_DSP_PRESET_DELETE, "dsp_preset_delete", "Delete");
  HFONT bold = nullptr;
  font_with_scaled_height_and_weight(bold, reinterpret_cast<HFONT>(SendMessageW(editor, WM_GETFONT, 0, 0)), FW_BOLD,
                                     1.1);
  if (bold != nullptr) {
    label_font_.reset(bold);
    for (int id : {IDC_DSP_ACTIVE_LABEL, IDC_DSP_AVAILABLE_LABEL, IDC_DSP_PRESETS_GROUP})
      SendDlgItemMessageW(editor, id, WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
  }
  const LONG_PTR ex_style = GetWindowLongPtrW(editor, GWL_EXSTYLE);
  if (!(ex_style & WS_EX_CONTROLPARENT)) SetWindowLongPtrW(editor, GWL_EXSTYLE, ex_style | WS_EX_CONTROLPARENT);
  SetWindowLongPtrW(editor, GWLP_ID, static_cast<LONG_PTR>(control_id_));
  const HWND chain_list = GetDlgItem(editor, IDC_DSP_ACTIVE_LIST);
  const HWND available_list = GetDlgItem(editor, IDC_DSP_AVAILABLE_LIST);
  chain_view_.attach_to(chain_list);
  available_view_.attach_to(available_list);
  for (HWND list : {chain_list, available_list}) {
    SetWindowTheme(list, L"explorer", nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ~0u, LVS_EX_DOUBLEBUFFER);
  }
  refill_lists();
  fill_preset_names();
  update_states();
  set_button_png_icon(GetDlgItem(editor, IDC_DSP_ADD), IDR_DSP_ADD_ICON, add_icon_);
  set_button_png_icon(GetDlgItem(editor, IDC_DSP_REMOVE), IDR_DSP_REMOVE_ICON, remove_icon_);
}

std::string dsp_chain_editor::effect_name(const GUID& guid) const {
  service_ptr<dsp_effect_type> effect;
  if (!find_effect(guid, effect)) return missing_effect_name;
  qiv::string_small name;
  effect->get_name(name);
  return std::string(name.get_ptr(), name.get_length());
}

void dsp_chain_editor::refill_lists() {
  const HWND chain_list = GetDlgItem(handle(), IDC_DSP_ACTIVE_LIST);
  const HWND available_list = GetDlgItem(handle(), IDC_DSP_AVAILABLE_LIST);
  SendMessageW(chain_list, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(available_list, LVM_DELETEALLITEMS, 0, 0);
  for (std::uint32_t i = 0; i < chain_.get_count(); ++i)
    list_view_append_item(chain_list, -1, effect_name(chain_.get_item(i).get_guid()).c_str(), 0);
  for (const service_ptr<dsp_effect_type>& effect : service_list_t<dsp_effect_type>()) {
    const auto placed = available_guids_.insert(effect->get_guid()).first;
    qiv::string_small name;
    effect->get_name(name);
    list_view_append_item(available_list, -1, name.get_ptr(), reinterpret_cast<LPARAM>(&*placed));
  }
  update_states();
  configure_stale_ = true;
}

void dsp_chain_editor::fill_preset_names() {
  const HWND combo = GetDlgItem(handle(), IDC_DSP_PRESET_NAME);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (std::uint32_t i = 0; i < presets_.get_count(); ++i)
    send_message_text(combo, CB_ADDSTRING, 0, presets_.get_item(i).name.get_ptr());
}

int dsp_chain_editor::selected_active() const {
  return static_cast<int>(
      SendDlgItemMessageW(handle(), IDC_DSP_ACTIVE_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int dsp_chain_editor::selected_available() const {
  return static_cast<int>(SendDlgItemMessageW(handle(), IDC_DSP_AVAILABLE_LIST, LVM_GETNEXTITEM,
                                              static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::string dsp_chain_editor::combo_text() const {
  qiv::string_buffer text;
  get_dlg_item_text_utf8(handle(), IDC_DSP_PRESET_NAME, text);
  return std::string(text.get_ptr(), text.get_length());
}

int dsp_chain_editor::find_preset(const std::string& name) const {
  for (std::uint32_t i = 0; i < presets_.get_count(); ++i) {
    const qiv::string_small& stored = presets_.get_item(i).name;
    if (stored.get_length() == name.size() && std::memcmp(stored.get_ptr(), name.data(), name.size()) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

void dsp_chain_editor::update_states() {
  const HWND editor = handle();
  if (editor == nullptr) return;
  if (!IsWindowEnabled(editor)) {
    for (HWND child = GetWindow(editor, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
      EnableWindow(child, FALSE);
    return;
  }
  const std::string name = combo_text();
  const int a = selected_active();
  const int b = selected_available();
  const int c = static_cast<int>(SendDlgItemMessageW(editor, IDC_DSP_ACTIVE_LIST, LVM_GETITEMCOUNT, 0, 0));
  const bool preset_exists = find_preset(name) >= 0;
  bool configurable = false;
  if (a >= 0 && static_cast<std::uint32_t>(a) < chain_.get_count()) {
    service_ptr<dsp_effect_type> effect;
    configurable = find_effect(chain_.get_item(static_cast<std::uint32_t>(a)).get_guid(), effect) &&
                   effect->has_config_popup();
  }
  for (HWND child = GetWindow(editor, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    bool enabled = true;
    switch (GetDlgCtrlID(child)) {
      case IDC_DSP_PRESET_LOAD:
      case IDC_DSP_PRESET_DELETE: enabled = preset_exists; break;
      case IDC_DSP_PRESET_SAVE: enabled = !name.empty(); break;
      case IDC_DSP_CONFIGURE: enabled = configurable; break;
      case IDC_DSP_REMOVE: enabled = a >= 0; break;
      case IDC_DSP_ADD: enabled = b >= 0; break;
      case IDC_DSP_UP: enabled = a > 0; break;
      case IDC_DSP_DOWN: enabled = a >= 0 && a + 1 < c; break;
      default: break;
    }
    EnableWindow(child, enabled);
  }
}

void dsp_chain_editor::notify_parent() {
  PostMessageW(GetParent(handle()), WM_COMMAND, MAKEWPARAM(control_id_, 0), reinterpret_cast<LPARAM>(handle()));
}

bool dsp_chain_editor::blocked_by_other_modal_window() const {
  if (in_modal_frame_ || modal_allowed()) return false;
  activate_blocked_popup();
  return true;
}

void dsp_chain_editor::on_command(WORD id, WORD code) {
  switch (id) {
    case IDC_DSP_ADD: if (code == BN_CLICKED) add(); break;
    case IDC_DSP_REMOVE: if (code == BN_CLICKED) remove(); break;
    case IDC_DSP_UP: if (code == BN_CLICKED) move(selected_active(), selected_active() - 1); break;
    case IDC_DSP_DOWN: if (code == BN_CLICKED) move(selected_active(), selected_active() + 1); break;
    case IDC_DSP_CONFIGURE: if (code == BN_CLICKED) configure(); break;
    case IDC_DSP_PRESET_LOAD: if (code == BN_CLICKED) load_preset(); break;
    case IDC_DSP_PRESET_SAVE: if (code == BN_CLICKED) save_preset(); break;
    case IDC_DSP_PRESET_DELETE: if (code == BN_CLICKED) delete_preset(); break;
    case IDC_DSP_PRESET_NAME:
      // The edit field shows the chosen name only after this notification.
      if (code == CBN_SELCHANGE)
        PostMessageW(handle(), WM_COMMAND, MAKEWPARAM(IDC_DSP_PRESET_NAME, CBN_EDITCHANGE), 0);
      else if (code == CBN_EDITCHANGE)
        update_states();
      break;
    default: break;
  }
}

void dsp_chain_editor::on_notify(const NMHDR& header) {
  if (header.code == LVN_ITEMCHANGED) {
    if (header.idFrom == IDC_DSP_ACTIVE_LIST || header.idFrom == IDC_DSP_AVAILABLE_LIST) update_states();
  } else if (header.code == NM_DBLCLK) {
    if (header.idFrom == IDC_DSP_AVAILABLE_LIST) add();
    else if (header.idFrom == IDC_DSP_ACTIVE_LIST) remove();
  }
}

void dsp_chain_editor::add() {
  const int b = selected_available();
  if (b < 0) return;
  const auto* guid = reinterpret_cast<const GUID*>(
      list_view_get_item_data(GetDlgItem(handle(), IDC_DSP_AVAILABLE_LIST), b));
  if (guid == nullptr) return;
  dsp_preset entry;
  bool found = false;
  for (auto at = parked_.begin(); at != parked_.end(); ++at) {
    const GUID owner = at->get_guid();
    if (std::memcmp(&owner, guid, sizeof(GUID)) == 0) {
      entry = std::move(*at);
      parked_.erase(at);
      found = true;
      break;
    }
  }
  service_ptr<dsp_effect_type> effect;
  if (!found && !(find_effect(*guid, effect) && effect->get_default_preset(entry))) return;
  const HWND chain_list = GetDlgItem(handle(), IDC_DSP_ACTIVE_LIST);
  const int row = list_view_append_item(chain_list, -1, effect_name(*guid).c_str(), 0);
  chain_.add_item(entry);
  list_view_select_only(chain_list, row);
  update_states();
  notify_parent();
}

void dsp_chain_editor::remove() {
  const int a = selected_active();
  if (a < 0 || static_cast<std::uint32_t>(a) >= chain_.get_count()) return;
  const HWND chain_list = GetDlgItem(handle(), IDC_DSP_ACTIVE_LIST);
  SendMessageW(chain_list, LVM_DELETEITEM, a, 0);
  const dsp_preset entry = chain_.get_item(static_cast<std::uint32_t>(a));
  const GUID owner = entry.get_guid();
  // Re-adding the effect in this editor brings back these settings.
  for (dsp_preset& parked : parked_) {
    const GUID parked_owner = parked.get_guid();
    if (std::memcmp(&parked_owner, &owner, sizeof(GUID)) == 0) parked = entry;
  }
  parked_.push_back(entry);
  qiv::bit_array mask(chain_.get_count());
  mask.set(static_cast<std::uint32_t>(a), true);
  chain_.remove_mask(mask);

  const HWND available_list = GetDlgItem(handle(), IDC_DSP_AVAILABLE_LIST);
  int shown = -1;
  const int count = static_cast<int>(SendMessageW(available_list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count && shown < 0; ++i) {
    const auto* guid = reinterpret_cast<const GUID*>(list_view_get_item_data(available_list, i));
    if (guid != nullptr && std::memcmp(guid, &owner, sizeof(GUID)) == 0) shown = i;
  }
  service_ptr<dsp_effect_type> effect;
  if (shown < 0 && find_effect(owner, effect)) {
    const auto placed = available_guids_.insert(owner).first;
    shown = list_view_append_item(available_list, -1, effect_name(owner).c_str(), reinterpret_cast<LPARAM>(&*placed));
  }
  if (shown >= 0) list_view_select_only(available_list, shown);
  notify_parent();
  update_states();
}

void dsp_chain_editor::move(int from, int to) {
  const int count = static_cast<int>(chain_.get_count());
  if (from < 0 || to < 0 || from >= count || to >= count) return;
  const dsp_preset entry = chain_.get_item(static_cast<std::uint32_t>(from));
  qiv::bit_array mask(chain_.get_count());
  mask.set(static_cast<std::uint32_t>(from), true);
  chain_.remove_mask(mask);
  chain_.insert_item(entry, static_cast<std::uint32_t>(to));
  const HWND chain_list = GetDlgItem(handle(), IDC_DSP_ACTIVE_LIST);
  for (int row : {from, to}) list_view_set_text(chain_list, row, effect_name(chain_.get_item(row).get_guid()));
  list_view_select_only(chain_list, to);
  notify_parent();
  update_states();
}

void dsp_chain_editor::configure() {
  if (blocked_by_other_modal_window()) return;
  const int a = selected_active();
  if (a < 0 || static_cast<std::uint32_t>(a) >= chain_.get_count() || configuring_index_ != -1) {
    MessageBeep(0);
    return;
  }
  const dsp_preset entry = chain_.get_item(static_cast<std::uint32_t>(a));
  service_ptr<dsp_effect_type> effect;
  if (!find_effect(entry.get_guid(), effect) || !effect->has_config_popup()) {
    MessageBeep(0);
    return;
  }
  configure_stale_ = false;
  const int previous = configuring_index_;
  configuring_index_ = a;
  try {
    effect->show_config_popup_notify(entry, handle(), *this);
  } catch (...) {
    configuring_index_ = previous;
    throw;
  }
  configuring_index_ = previous;
}

void dsp_chain_editor::on_preset_changed(const dsp_preset& preset) {
  // A change that arrives after the lists were refilled (a preset loaded
  // meanwhile) belongs to an entry that is gone.
  if (configuring_index_ == -1 || configure_stale_) return;
  const auto index = static_cast<std::uint32_t>(configuring_index_);
  if (index >= chain_.get_count() || chain_.get_item(index).equals(preset)) return;
  chain_.set_item(index, preset);
  notify_parent();
}

void dsp_chain_editor::load_preset() {
  const int found = find_preset(combo_text());
  if (found < 0) {
    MessageBeep(0);
    return;
  }
  chain_ = presets_.get_item(static_cast<std::uint32_t>(found)).chain;
  refill_lists();
  notify_parent();
}

void dsp_chain_editor::save_preset() {
  const std::string name = combo_text();
  if (name.empty()) return;
  const int found = find_preset(name);
  if (found >= 0) {
    if (blocked_by_other_modal_window()) return;
    const std::string text = "DSP configuration preset named \"" + name + "\" already exists. Overwrite?";
    if (ask_(handle(), text.c_str(), "Preset already exists", MB_YESNO) != IDYES) return;
  }
  qiv::ref_ptr<dsp_named_preset> preset(new dsp_named_preset);
  preset->name.set_string(name.c_str());
  preset->chain = chain_;
  if (found >= 0) {
    presets_.set_item(static_cast<std::uint32_t>(found), preset.get());
  } else {
    presets_.add_item(preset.get());
    send_message_text(GetDlgItem(handle(), IDC_DSP_PRESET_NAME), CB_ADDSTRING, 0, name.c_str());
  }
  update_states();
}

void dsp_chain_editor::delete_preset() {
  const std::string name = combo_text();
  const int found = find_preset(name);
  if (found >= 0) {
    if (blocked_by_other_modal_window()) return;
    const std::string text = "Preset \"" + name + "\" will be deleted. Continue?";
    if (ask_(handle(), text.c_str(), "Confirm preset deletion", MB_YESNO) == IDYES) {
      presets_.remove_item(static_cast<std::uint32_t>(found));
      const HWND combo = GetDlgItem(handle(), IDC_DSP_PRESET_NAME);
      const LRESULT at = send_message_text(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), name.c_str());
      if (at != CB_ERR) SendMessageW(combo, CB_DELETESTRING, at, 0);
      // Deleting the list entry can empty the edit field; the name stays.
      set_dlg_item_text_utf8(handle(), IDC_DSP_PRESET_NAME, name.c_str());
    }
  }
  update_states();
}
