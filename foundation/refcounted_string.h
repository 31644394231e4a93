// An immutable counted text that threads may share: its count changes by
// locked operations and its text never changes after creation. Holders keep a
// refcounted_string_ref, whose companion is the text itself, so reading the
// text takes no virtual call and no indirection through the object.
#pragma once

#include <cstddef>

#include "foundation/refcounted.h"
#include "foundation/string_object.h"
#include "foundation/string_small.h"

namespace qiv {

class refcounted_string;

using refcounted_string_ref = refptr_pair<refcounted_string, const char*>;

class refcounted_string final : public refcounted_object {
public:
  // Store a new counted copy of the text (at most n bytes, up to its NUL)
  // into `holder`, releasing what it held before. An allocation failure
  // leaves the holder as it was.
  static void create(refcounted_string_ref& holder, const char* text);
  static void from_text(refcounted_string_ref& holder, const char* text, std::size_t n);

  // The text that holders carry as their companion.
  const char* payload() const noexcept { return text_.get_ptr(); }
  std::size_t get_length() const noexcept { return text_.get_length(); }

private:
  refcounted_string(const char* text, std::size_t n) : text_(text, n) {}
  ~refcounted_string() override = default;

  const string_small text_;
};

// The text of a holder; the empty text for an empty holder.
inline const char* text_of(const refcounted_string_ref& holder) noexcept {
  return holder ? holder.companion() : empty_text;
}

} // namespace qiv
