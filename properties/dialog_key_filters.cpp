#include "properties/dialog_key_filters.h"

#include "core/message_loop.h"
#include "foundation/win32_error.h"

context_help_filter::context_help_filter(HWND window) : window_(window) { message_loop::get().add_filter(this); }

context_help_filter::~context_help_filter() { message_loop::get().remove_filter(this); }

bool context_help_filter::filter(MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_F1 || GetActiveWindow() != window_) return false;
  PostMessageW(window_, WM_SYSCOMMAND, SC_CONTEXTHELP, -1);
  return true;
}

tab_key_filter::tab_key_filter()
    : table_(LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(properties_accelerator_table))) {
  if (table_ == nullptr) throw exception_win32(GetLastError());
  message_loop::get().add_filter(this);
}

tab_key_filter::~tab_key_filter() {
  message_loop::get().remove_filter(this);
  DestroyAcceleratorTable(table_);
}

bool tab_key_filter::filter(MSG& message) {
  return window_ != nullptr && GetActiveWindow() == window_ && TranslateAcceleratorW(window_, table_, &message) != 0;
}
