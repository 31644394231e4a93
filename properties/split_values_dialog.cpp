#include "properties/split_values_dialog.h"

#include "core/localized_window_text.h"
#include "foundation/string_buffer.h"
#include "foundation/window_text.h"
#include "properties/sub_dialog_ending.h"
#include "resources/properties_dialogs.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/modeless_dialog_registration.h"

namespace {

class split_values_dialog final : public dialog_object {
public:
  split_values_dialog(service_ptr<metadata_completion> completion, std::shared_ptr<split_settings> settings)
      : completion_(std::move(completion)), settings_(std::move(settings)) {}

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
    registration_.process_message(window, message);
    switch (message) {
    case WM_INITDIALOG:
      set_localized_window_text(window, "properties_split_caption", "Split Values");
      set_localized_item_text(window, IDC_SPLIT_LABEL, "properties_split_separators",
                              "Split by (one separator per line):");
      set_localized_item_text(window, IDC_SPLIT_LINE_BREAKS, "properties_split_line_breaks",
                              "Also split by line-breaks");
      set_localized_item_text(window, IDOK, "dialog_ok", "OK");
      set_localized_item_text(window, IDCANCEL, "dialog_cancel", "Cancel");
      set_window_text_utf8(GetDlgItem(window, IDC_SPLIT_SEPARATORS), settings_->separators.c_str());
      CheckDlgButton(window, IDC_SPLIT_LINE_BREAKS, settings_->split_line_breaks ? BST_CHECKED : BST_UNCHECKED);
      ShowWindow(window, SW_SHOW);
      result = TRUE;  // the dialog manager places the focus
      return true;
    case WM_COMMAND:
      if (HIWORD(wparam) != 0) return false;
      if (LOWORD(wparam) == IDOK) {
        qiv::string_buffer text;
        get_window_text_utf8(GetDlgItem(window, IDC_SPLIT_SEPARATORS), text);
        settings_->separators = text.get_ptr();
        settings_->split_line_breaks = IsDlgButtonChecked(window, IDC_SPLIT_LINE_BREAKS) == BST_CHECKED;
        close(sub_dialog_accepted);
        return true;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        close(sub_dialog_cancelled);
        return true;
      }
      return false;
    default:
      return false;
    }
  }

  void on_final_message(HWND) override { delete this; }

private:
  void close(sub_dialog_result result) { end_sub_dialog(handle(), std::move(completion_), result); }

  service_ptr<metadata_completion> completion_;
  std::shared_ptr<split_settings> settings_;
  modeless_dialog_registration registration_;
};

}  // namespace

HWND open_split_values_dialog(HWND owner, service_ptr<metadata_completion> completion,
                              std::shared_ptr<split_settings> settings) {
  auto dialog = std::make_unique<split_values_dialog>(std::move(completion), std::move(settings));
  const HWND window = dialog->create_modeless(IDD_SPLIT_VALUES, owner);
  dialog.release();
  return window;
}
