#include "foundation/clipboard_text.h"

#include <windows.h>

#include <cwchar>

#include "foundation/exceptions.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_handles.h"
#include "foundation/win32_text.h"

bool set_clipboard_text_utf8(const char* text) {
  clipboard_scope clipboard;
  if (!clipboard.open()) return false;
  EmptyClipboard();

  const qiv::wide_buffer wide = qiv::string_to_wide(text ? text : "");
  const std::size_t units = wide.text_length();
  // Clipboard memory must be movable; it belongs to Windows once it is set.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, (units + 1) * sizeof(wchar_t));
  if (!memory) qiv::throw_bad_alloc();
  {
    global_lock_scope lock;
    auto* data = static_cast<wchar_t*>(lock.lock(memory));
    if (!data) {
      GlobalFree(memory);
      qiv::throw_bad_alloc();
    }
    std::wmemcpy(data, wide.get_ptr(), units);
    data[units] = L'\0';
  }
  if (!SetClipboardData(CF_UNICODETEXT, memory)) {
    GlobalFree(memory);
    qiv::throw_bug_check();
  }
  return true;
}

bool get_clipboard_text_utf8(qiv::string_object& output) {
  clipboard_scope clipboard;
  if (!clipboard.open()) return false;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return false;
  return get_global_text_utf8(data, output);
}

bool get_global_text_utf8(HGLOBAL memory, qiv::string_object& output) {
  global_lock_scope lock;
  const auto* units = static_cast<const wchar_t*>(lock.lock(memory));
  if (!units) return false;
  wide_to_utf8(units, GlobalSize(memory) / sizeof(wchar_t), output);
  return true;
}
