#include "core/localized_window_text.h"

#include "core/localized_text.h"
#include "foundation/string_buffer.h"
#include "foundation/window_text.h"

void set_localized_window_text(HWND window, const char* id, const char* english) {
  qiv::string_buffer text;
  localized_text::get_or(id, english, text);
  set_window_text_utf8(window, text.get_ptr());
}

void set_localized_item_text(HWND dialog, int control, const char* id, const char* english) {
  if (const HWND item = GetDlgItem(dialog, control)) set_localized_window_text(item, id, english);
}
