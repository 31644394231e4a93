#include "core/close_confirmation.h"

#include <cstdint>

#include "core/app_state.h"
#include "core/close_guard_registry.h"
#include "core/localized_text.h"
#include "core/modal_scope.h"
#include "foundation/avl_tree.h"
#include "foundation/modal_popup.h"
#include "foundation/string_buffer.h"
#include "foundation/string_small.h"
#include "foundation/win32_text.h"

void close_confirmation_text(qiv::string_object& out) {
  // Equal descriptions are counted, so that many tasks of one kind make one line.
  qiv::avl_map<qiv::string_small, std::uint32_t, qiv::text_order> counts;
  // What a close does to the tasks, each kind said once.
  qiv::avl_set<qiv::string_small, qiv::text_order> notices;
  qiv::string_buffer description;
  for (close_guard* guard : active_close_guards()) {
    description.set_string("");
    guard->get_description(description);
    ++counts.insert(description.get_ptr()).node->value;
    notices.insert(guard->close_notice_id());
  }

  qiv::string_buffer text;
  localized_text::get("dialog_appclose_header", text);
  text.add_c_str("\n");
  for (auto* node = counts.first(); node != nullptr; node = decltype(counts)::step(node, true)) {
    text.add_c_str(node->key.get_ptr());
    if (node->value > 1) {
      text.add_c_str(" (");
      text.add_uint(node->value);
      text.add_c_str(")");
    }
    text.add_c_str("\n");
  }
  qiv::string_buffer notice;
  for (auto* node = notices.first(); node != nullptr; node = decltype(notices)::step(node, true)) {
    localized_text::get(node->key.get_ptr(), notice);
    text.add_c_str("\n");
    text.add_c_str(notice.get_ptr());
  }
  out.set_string(text.get_ptr());
}

bool app_close_confirm() {
  if (active_close_guards().is_empty()) return true;
  if (!modal_scope::none_active()) {
    activate_blocked_popup();
    return false;
  }
  qiv::string_buffer text;
  close_confirmation_text(text);
  qiv::string_buffer caption;
  localized_text::get("dialog_appclose_caption", caption);

  const HWND owner = app::state().ui_main_window;
  // The question is itself a modal window: a second request arriving while
  // it is open (the session ending, an exit forwarded by another instance)
  // brings it forward instead of stacking another question on top.
  modal_scope scope;
  scope.enter(owner);
  const int answer = message_box_utf8(owner, text.get_ptr(), caption.get_ptr(), MB_YESNO | MB_ICONQUESTION);
  scope.leave();
  return answer == IDYES;
}
