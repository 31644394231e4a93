// The user-interface module "ZORV": start-up chooses it by its GUID and asks
// it for the main window; afterwards the rest of the program reaches the
// window only through this service.
#include <memory>

#include "core/media_keys.h"
#include "core/service_factory.h"
#include "core/user_interface.h"
#include "ui/main/main_window.h"

namespace {

class zorv_user_interface : public user_interface {
public:
  void get_name(qiv::string_object& out) override { out.set_string("ZORV"); }

  HWND init(window_message_hook hook) override {
    if (window_) return window_->handle();
    auto window = std::make_unique<main_window>(hook);
    window->create();
    window_ = std::move(window);
    play_pause_key::set_handler(&main_window::post_play_pause);
    return window_->handle();
  }

  void shutdown() override {
    if (!window_) return;
    play_pause_key::set_handler(nullptr);
    DestroyWindow(window_->handle());
    window_.reset();
  }

  void activate() override {
    if (window_) ShowWindow(window_->handle(), SW_RESTORE);
  }

  void hide() override {
    if (window_) ShowWindow(window_->handle(), SW_MINIMIZE);
  }

  // A minimised window counts as hidden.
  bool is_visible() override {
    return window_ && IsWindowVisible(window_->handle()) && !IsIconic(window_->handle());
  }

  GUID get_guid() override { return zorv_module_guid; }

  void reveal_now_playing() override {
    if (window_) window_->reveal_now_playing();
  }

private:
  std::unique_ptr<main_window> window_;
};

service_factory_single_t<zorv_user_interface> user_interface_registration;

}  // namespace
