#include "ui/dialogs/replaygain_panel.h"

#include <commctrl.h>

#include <string>

#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "foundation/code_page_text.h"
#include "foundation/modal_popup.h"
#include "foundation/win32_text.h"
#include "resources/preferences_dialogs.h"
#include "ui/dialogs/replaygain_slider_scale.h"

namespace {

// Where the help link leads when the language table names no address.
constexpr char builtin_help_address[] = "https://en.wikipedia.org/wiki/ReplayGain";

void set_text(HWND dialog, int id, const char* text) {
  SetDlgItemTextW(dialog, id, qiv::utf8_to_utf16(text, std::char_traits<char>::length(text)).c_str());
}

void set_localized_text(HWND dialog, int id, const char* text_id) { set_text(dialog, id, localized_text_get(text_id)); }

int slider_position(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0));
}

}  // namespace

replaygain_panel::replaygain_panel(const playback_gain_settings& record) : initial_(record) {
  // The sliders take the width the panel is given and the values keep to its
  // right edge. The switch, the choice and the link share a row: each gives
  // up part of the room its text does not fill.
  const dialog_anchor anchors[] = {
      {IDC_REPLAYGAIN_ACTIVE, 0, 0, 0.4f, 0},          {IDC_REPLAYGAIN_TRACK, 0.4f, 0, 0.8f, 0},
      {IDC_REPLAYGAIN_ALBUM, 0.4f, 0, 0.8f, 0},        {IDC_REPLAYGAIN_HELP, 0.8f, 0, 1, 0},
      {IDC_REPLAYGAIN_PREAMP_SEPARATOR, 0, 0, 1, 0},   {IDC_REPLAYGAIN_WITH_SLIDER, 0, 0, 1, 0},
      {IDC_REPLAYGAIN_WITH_VALUE, 1, 0, 1, 0},         {IDC_REPLAYGAIN_WITHOUT_SLIDER, 0, 0, 1, 0},
      {IDC_REPLAYGAIN_WITHOUT_VALUE, 1, 0, 1, 0}};
  resizer_.set_anchors(anchors, std::size(anchors));
}

HWND replaygain_panel::create(const playback_gain_settings& record, HWND parent, int control_id) {
  auto* panel = new replaygain_panel(record);
  HWND window;
  try {
    window = panel->create_modeless(IDD_REPLAYGAIN_PANEL, parent);
  } catch (...) {
    delete panel;
    throw;
  }
  SetWindowLongPtrW(window, GWLP_ID, control_id);
  return window;
}

void replaygain_panel::on_initialise() {
  const HWND dialog = handle();
  set_localized_text(dialog, IDC_REPLAYGAIN_ACTIVE, "replaygain_active");
  set_localized_text(dialog, IDC_REPLAYGAIN_TRACK, "replaygain_track");
  set_localized_text(dialog, IDC_REPLAYGAIN_ALBUM, "replaygain_album");
  set_localized_text(dialog, IDC_REPLAYGAIN_PREAMP_SEPARATOR, "replaygain_preamp");
  set_localized_text(dialog, IDC_REPLAYGAIN_WITH_LABEL, "replaygain_label_withrg");
  set_localized_text(dialog, IDC_REPLAYGAIN_WITHOUT_LABEL, "replaygain_label_withoutrg");
  const std::string link = std::string("<a>") + localized_text_get("replaygain_help") + "</a>";
  set_text(dialog, IDC_REPLAYGAIN_HELP, link.c_str());

  HFONT bold;
  font_with_scaled_height_and_weight(bold, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), FW_BOLD,
                                     1.1);
  separator_font_.reset(bold);
  SendDlgItemMessageW(dialog, IDC_REPLAYGAIN_PREAMP_SEPARATOR, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

  for (int slider : {IDC_REPLAYGAIN_WITH_SLIDER, IDC_REPLAYGAIN_WITHOUT_SLIDER})
    SendDlgItemMessageW(dialog, slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, replaygain_slider_scale::range_max));
  fill(initial_);
}

void replaygain_panel::fill(const playback_gain_settings& record) {
  const HWND dialog = handle();
  filled_processing_ = record.processing_mode;
  CheckDlgButton(dialog, IDC_REPLAYGAIN_ACTIVE, record.processing_mode != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(dialog, IDC_REPLAYGAIN_TRACK, IDC_REPLAYGAIN_ALBUM,
                   record.source_mode == 1 ? IDC_REPLAYGAIN_TRACK : IDC_REPLAYGAIN_ALBUM);
  SendDlgItemMessageW(dialog, IDC_REPLAYGAIN_WITH_SLIDER, TBM_SETPOS, TRUE,
                      replaygain_slider_scale::position_of_decibels(record.preamp_with_info_db));
  SendDlgItemMessageW(dialog, IDC_REPLAYGAIN_WITHOUT_SLIDER, TBM_SETPOS, TRUE,
                      replaygain_slider_scale::position_of_decibels(record.preamp_without_info_db));
  update_label(IDC_REPLAYGAIN_WITH_SLIDER, IDC_REPLAYGAIN_WITH_VALUE);
  update_label(IDC_REPLAYGAIN_WITHOUT_SLIDER, IDC_REPLAYGAIN_WITHOUT_VALUE);
}

void replaygain_panel::read(playback_gain_settings& out) const {
  const HWND dialog = handle();
  const bool active = IsDlgButtonChecked(dialog, IDC_REPLAYGAIN_ACTIVE) == BST_CHECKED;
  out.processing_mode = !active ? 0 : filled_processing_ != 0 ? filled_processing_ : 1;
  out.source_mode = IsDlgButtonChecked(dialog, IDC_REPLAYGAIN_TRACK) == BST_CHECKED ? 1 : 2;
  out.preamp_with_info_db =
      replaygain_slider_scale::decibels_of_position(slider_position(dialog, IDC_REPLAYGAIN_WITH_SLIDER));
  out.preamp_without_info_db =
      replaygain_slider_scale::decibels_of_position(slider_position(dialog, IDC_REPLAYGAIN_WITHOUT_SLIDER));
}

void replaygain_panel::update_label(int slider_id, int label_id) {
  const std::string label = replaygain_slider_scale::label_of_position(slider_position(handle(), slider_id));
  set_text(handle(), label_id, label.c_str());
}

void replaygain_panel::notify_parent() {
  const auto id = static_cast<WORD>(GetWindowLongPtrW(handle(), GWLP_ID));
  PostMessageW(GetParent(handle()), WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(handle()));
}

void replaygain_panel::open_help_link() {
  if (!modal_allowed()) {
    activate_blocked_popup();
    return;
  }
  const char* address = localized_text_get("link_replaygain");
  if (*address == '\0') address = builtin_help_address;
  modal_scope scope;
  scope.enter(handle());
  shell_execute_utf8(handle(), nullptr, address);
}

bool replaygain_panel::process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                       DWORD) {
  if (resizer_.process_message(window, message, wparam, lparam, result)) return true;
  switch (message) {
    case WM_INITDIALOG:
      on_initialise();
      result = TRUE;
      return true;
    case WM_HSCROLL: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (id == IDC_REPLAYGAIN_WITH_SLIDER) update_label(id, IDC_REPLAYGAIN_WITH_VALUE);
      else if (id == IDC_REPLAYGAIN_WITHOUT_SLIDER) update_label(id, IDC_REPLAYGAIN_WITHOUT_VALUE);
      else return false;
      notify_parent();
      return true;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_REPLAYGAIN_ACTIVE:
        case IDC_REPLAYGAIN_TRACK:
        case IDC_REPLAYGAIN_ALBUM:
          if (HIWORD(wparam) != BN_CLICKED) return false;
          notify_parent();
          return true;
        default:
          return false;
      }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom != IDC_REPLAYGAIN_HELP || (header->code != NM_CLICK && header->code != NM_RETURN))
        return false;
      open_help_link();
      return true;
    }
    case message_read:
      read(*reinterpret_cast<playback_gain_settings*>(lparam));
      return true;
    case message_write:
      fill(*reinterpret_cast<const playback_gain_settings*>(lparam));
      return true;
    default:
      return false;
  }
}
