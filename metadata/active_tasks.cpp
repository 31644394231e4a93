#include "metadata/active_tasks.h"

#include <cstring>

registered_close_guard::registered_close_guard() { close_guards().add(this); }

registered_close_guard::~registered_close_guard() { close_guards().remove(this); }

void registered_close_guard::get_description(qiv::string_object& out) { out.set_string("<unnamed task>"); }

int compare_handles_by_path(const track_handle_ptr& a, const track_handle_ptr& b) noexcept {
  const int order = std::strcmp(a->get_location().get_path(), b->get_location().get_path());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void location_display_text(const track_handle* handle, qiv::string_object& out) {
  if (handle == nullptr) {
    out.set_string("[invalid location]");
    return;
  }
  handle->get_location().format_for_display(out);
}
