#include "foundation/clipboard_text.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "foundation/exceptions.h"
#include "foundation/wide_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/win32_handles.h"
#include "foundation/win32_text.h"

void clipboard_set_data(UINT format, const void* bytes, std::size_t size) {
  // Clipboard memory must be movable; it belongs to Windows once it is set.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
  if (!memory) qiv::throw_bad_alloc();
  {
    global_lock_scope lock;
    void* data = lock.lock(memory);
    if (!data) {
      GlobalFree(memory);
      qiv::throw_bad_alloc();
    }
    if (size != 0) std::memcpy(data, bytes, size);
  }
  if (!SetClipboardData(format, memory)) {
    const DWORD error = GetLastError();
    GlobalFree(memory);
    throw exception_win32(error);
  }
}

void clipboard_set_text(const char* text) {
  const qiv::wide_buffer wide = qiv::string_to_wide(text ? text : "");
  const std::size_t units = wide.text_length();
  // get_ptr ends with its terminator, which the clipboard text carries too.
  clipboard_set_data(CF_UNICODETEXT, wide.get_ptr(), (units + 1) * sizeof(wchar_t));
}

bool clipboard_get_text(qiv::string_object& output) {
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return false;
  return get_global_text_utf8(data, output);
}

bool set_clipboard_text_utf8(const char* text) {
  clipboard_scope clipboard;
  if (!clipboard.open()) return false;
  EmptyClipboard();
  clipboard_set_text(text);
  return true;
}

bool get_clipboard_text_utf8(qiv::string_object& output) {
  clipboard_scope clipboard;
  if (!clipboard.open()) return false;
  return clipboard_get_text(output);
}

bool get_global_text_utf8(HGLOBAL memory, qiv::string_object& output) {
  global_lock_scope lock;
  const auto* units = static_cast<const wchar_t*>(lock.lock(memory));
  if (!units) return false;
  wide_to_utf8(units, GlobalSize(memory) / sizeof(wchar_t), output);
  return true;
}
