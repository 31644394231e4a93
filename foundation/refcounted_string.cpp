#include "foundation/refcounted_string.h"

namespace qiv {

void refcounted_string::create(refcounted_string_ref& holder, const char* text) {
  from_text(holder, text, until_nul);
}

void refcounted_string::from_text(refcounted_string_ref& holder, const char* text, std::size_t n) {
  // Built completely before the holder changes: the text may be the one the
  // holder's old object carries.
  holder.assign_with_payload(new refcounted_string(text, n));
}

} // namespace qiv
