// A UTF-8 text argument in the UTF-16 form a wide Win32 call takes, for the
// length of that call. Windows lets several arguments (a caption, a menu item,
// a resource name) be either a text or an integer id below 0x10000 in a
// pointer; such an id, like a null pointer, is passed on unchanged.
#pragma once

#include "foundation/wide_buffer.h"

class text_or_resource_id {
public:
  explicit text_or_resource_id(const char* text);
  text_or_resource_id(const text_or_resource_id&) = delete;
  text_or_resource_id& operator=(const text_or_resource_id&) = delete;

  const wchar_t* get() const { return pointer_; }

private:
  qiv::wide_buffer text_;
  const wchar_t* pointer_ = nullptr;
};
