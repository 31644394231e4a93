#include "foundation/exceptions.h"

#include <cstring>
#include <new>

namespace qiv {

exception_with_message::exception_with_message(const char* static_text) noexcept
    : text_(static_text ? static_text : "") {}

exception_with_message::exception_with_message(copy_message_t, const char* text)
    : exception_with_message(copy_message, text, text ? std::strlen(text) : 0) {}

exception_with_message::exception_with_message(copy_message_t, const char* text, std::size_t length) {
  std::shared_ptr<char[]> copy(new char[length + 1]);
  if (length) std::memcpy(copy.get(), text, length);
  copy[length] = '\0';
  text_ = copy.get();
  owned_ = std::move(copy);
}

void throw_bug_check() { throw exception_bug_check_v2(); }
void throw_overflow() { throw exception_overflow(); }
void throw_not_implemented() { throw exception_not_implemented(); }
void throw_bad_alloc() { throw exception_bad_alloc(); }
void throw_invalid_params() { throw exception_invalid_params(); }

} // namespace qiv
