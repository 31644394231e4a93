#include "ui/dialogs/install_wizard.h"

#include <shlwapi.h>

#include <exception>

#include "core/localized_text.h"
#include "core/localized_window_text.h"
#include "foundation/string_buffer.h"
#include "foundation/window_text.h"
#include "foundation/code_page_text.h"
#include "resources/install_wizard_dialogs.h"
#include "ui/dialogs/install_to_folder.h"
#include "ui/framework/window_object_property.h"
#include "ui/menus/folder_picker.h"

namespace {

bool is_existing_folder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(qiv::utf8_to_utf16(path.data(), path.size()).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string dialog_item_text(HWND dialog, int control) {
  qiv::string_buffer text;
  get_dlg_item_text_utf8(dialog, control, text);
  return std::string(text.get_ptr(), text.get_length());
}

}  // namespace

// One page: a child dialog that sets its own texts.
class install_wizard::page final : public dialog_object {
public:
  explicit page(int number) noexcept : number_(number) {}

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
    if (message == WM_INITDIALOG) {
      set_texts(window);
      result = FALSE;
      return true;
    }
    if (message == WM_COMMAND && number_ == 2 && LOWORD(wparam) == IDC_INSTALL_BROWSE &&
        HIWORD(wparam) == BN_CLICKED) {
      browse(window);
      result = 0;
      return true;
    }
    return false;
  }

private:
  void set_texts(HWND window) {
    switch (number_) {
      case 1:
        set_localized_item_text(window, IDC_INSTALL_INTRO_1, "install_page1_label1",
                                "This will install Zorv Audio Player into a folder containing music files and "
                                "configure it to index music in its folder only, so it can be easily carried "
                                "between computers.");
        set_localized_item_text(window, IDC_INSTALL_INTRO_2, "install_page1_label2",
                                "Configuration data will be stored inside the target folder as well; no data will be "
                                "stored outside that folder on the computers Zorv runs on.");
        break;
      case 2:
        set_localized_item_text(window, IDC_INSTALL_DESTINATION_LABEL, "install_page2_destination",
                                "Destination folder:");
        // Suggestions are a convenience: the edit works without them.
        SHAutoComplete(GetDlgItem(window, IDC_INSTALL_DESTINATION), SHACF_FILESYS_ONLY);
        break;
      case 3:
        set_localized_item_text(window, IDC_INSTALL_STATUS, "install_page3_working", "Working...");
        break;
      default:
        set_localized_item_text(window, IDC_INSTALL_STATUS, "install_page4_complete", "Installation complete.");
        break;
    }
  }

  void browse(HWND window) {
    qiv::string_buffer title;
    localized_text::get_or("dialog_choose_destination_folder", "Choose destination folder", title);
    qiv::string_buffer folder;
    get_dlg_item_text_utf8(window, IDC_INSTALL_DESTINATION, folder);
    if (pick_folder(window, title.get_ptr(), folder))
      set_dlg_item_text_utf8(window, IDC_INSTALL_DESTINATION, folder.get_ptr());
  }

  int number_;
};

install_wizard::install_wizard() = default;
install_wizard::~install_wizard() = default;

HWND install_wizard::open(HWND owner) {
  auto* wizard = new install_wizard();
  try {
    return wizard->create_modeless(IDD_INSTALL_WIZARD, owner);
  } catch (...) {
    delete wizard;
    throw;
  }
}

install_wizard* install_wizard::from_window(HWND window) noexcept {
  return dynamic_cast<install_wizard*>(window_object_property::get(window));
}

HWND install_wizard::page_window(int number) const noexcept {
  return number >= 1 && number <= 4 && pages_[number - 1] ? pages_[number - 1]->handle() : nullptr;
}

bool install_wizard::process_message(HWND window, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) {
  registration_.process_message(window, message);
  switch (message) {
    case WM_INITDIALOG:
      on_init();
      result = TRUE;
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        on_next();
        result = 0;
        return true;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        DestroyWindow(window);
        result = 0;
        return true;
      }
      return false;
    case WM_CLOSE:
      DestroyWindow(window);
      result = 0;
      return true;
    default:
      return false;
  }
}

void install_wizard::on_init() {
  const HWND wizard = handle();
  set_localized_item_text(wizard, IDOK, "dialog_next", "Next");
  set_localized_item_text(wizard, IDCANCEL, "dialog_cancel", "Cancel");
  set_localized_window_text(wizard, "dialog_install_title", "Install to Removable Medium");
  static constexpr int templates[4] = {IDD_INSTALL_PAGE_INTRO, IDD_INSTALL_PAGE_DESTINATION,
                                       IDD_INSTALL_PAGE_WORKING, IDD_INSTALL_PAGE_DONE};
  for (int i = 0; i < 4; ++i) {
    pages_[i] = std::make_unique<page>(i + 1);
    const HWND window = pages_[i]->create_modeless(templates[i], wizard);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_HIDE);
  }
  advance();
  ShowWindow(wizard, SW_SHOW);
}

void install_wizard::advance() {
  if (const HWND current = page_window(page_)) ShowWindow(current, SW_HIDE);
  ++page_;
  ShowWindow(page_window(page_), SW_SHOW);
  const HWND next = GetDlgItem(handle(), IDOK);
  if (page_ == 3) {
    EnableWindow(next, FALSE);
    job_.destination = dialog_item_text(page_window(2), IDC_INSTALL_DESTINATION);
    job_.error_message.clear();
    job_.start();
  } else if (page_ == 4) {
    EnableWindow(next, TRUE);
    set_localized_window_text(next, "dialog_finish", "Finish");
    EnableWindow(GetDlgItem(handle(), IDCANCEL), FALSE);
    SetFocus(next);
  }
}

void install_wizard::on_next() {
  if (page_ == 2) {
    const HWND destination = GetDlgItem(page_window(2), IDC_INSTALL_DESTINATION);
    if (!is_existing_folder(dialog_item_text(page_window(2), IDC_INSTALL_DESTINATION))) {
      MessageBeep(0);
      SetFocus(destination);
      return;
    }
  }
  if (page_ == 4) {
    DestroyWindow(handle());
    return;
  }
  if (page_ == 3) return;  // "Next" is disabled while the copy runs
  advance();
}

std::int32_t install_wizard::copy_job::run(const abort_signal& abort) {
  try {
    install_to_folder(destination, abort);
    return 1;
  } catch (const std::exception& e) {
    error_message = e.what();
    return 0;
  }
}

void install_wizard::copy_job::on_done(std::int32_t result) { owner_.on_copy_done(result); }

void install_wizard::on_copy_done(std::int32_t result) {
  if (page_ != 3) return;
  if (result != 1) {
    qiv::string_buffer failed;
    localized_text::get_or("dialog_installation_failed", "Installation failed.", failed);
    std::string text(failed.get_ptr(), failed.get_length());
    text += "\r\n";
    text += job_.error_message;
    set_dlg_item_text_utf8(page_window(4), IDC_INSTALL_STATUS, text.c_str());
  }
  advance();
}
