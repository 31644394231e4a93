#include "ui/main/main_window_menus.h"

#include "ui/main/item_context_menu.h"
#include "ui/main/main_window.h"
#include "ui/menus/main_menu_popup.h"

namespace {

// The item menu's actions, carried out by the window.
class window_menu_host final : public item_menu_host {
public:
  explicit window_menu_host(main_window& window) : window_(window) {}
  void open_selection() override { window_.open_selection(); }
  void play(play_mode mode) override { window_.play_items(static_cast<int>(mode)); }
  void go_to_folder(const std::wstring& folder, const wide_text_list& names) override {
    window_.go_to_folder(folder, names);
  }

private:
  main_window& window_;
};

}  // namespace

void main_window_popup_main_menu(HWND owner, POINT screen) { service_popup_menu_run(owner, screen); }

void main_window_item_context_menu(main_window& window, POINT screen) {
  nav_node* node = window.shown_node();
  if (node == nullptr) {
    MessageBeep(0);
    return;
  }
  window_menu_host host(window);
  item_context_menu_show(window.handle(), screen, *node, window.selected_names(), host);
}
