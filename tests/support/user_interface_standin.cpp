// For test programs built from the application core alone: a user-interface
// module without a window of its own, so that start-up reaches its command
// line and message loop as in the player. It hands out the hidden main
// window, which start-up only stores.
#include "core/hidden_main_window.h"
#include "core/service_factory.h"
#include "core/user_interface.h"

namespace {
class user_interface_standin : public user_interface {
public:
  void get_name(qiv::string_object& out) override { out.set_string("ZORV"); }
  HWND init(window_message_hook) override { return hidden_main_window::get(); }
  void shutdown() override {}
  void activate() override {}
  void hide() override {}
  bool is_visible() override { return false; }
  GUID get_guid() override { return zorv_module_guid; }
  void reveal_now_playing() override {}
};
service_factory_single_t<user_interface_standin> user_interface_registration;
}  // namespace
