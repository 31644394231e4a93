#include "foundation/code_point_text.h"

#include "foundation/case_folding.h"
#include "foundation/string_object.h"
#include "foundation/utf8.h"

namespace qiv {

void string_add_char_utf8(string_object& text, std::uint32_t code_point) {
  char sequence[utf8_max_sequence];
  const std::size_t length = utf8_encode_char(code_point, sequence);
  if (length != 0) text.add_string(sequence, length);
}

void string_to_upper_utf8(string_object& output, const char* text) { string_add_upper(output, text); }

int stricmp_utf8(const char* a, const char* b) {
  for (;;) {
    std::uint32_t ca = 0, cb = 0;
    const std::size_t length_a = utf8_decode_char(a, ca);
    const std::size_t length_b = utf8_decode_char(b, cb);
    const bool end_a = *a == '\0', end_b = *b == '\0';
    const bool invalid_a = length_a == 0 && !end_a, invalid_b = length_b == 0 && !end_b;

    if (end_a || end_b) return end_a == end_b ? 0 : (end_a ? -1 : 1);
    if (invalid_a || invalid_b) {
      if (!invalid_a) return 1;
      if (!invalid_b) return -1;
      // Both invalid: the raw bytes decide, one byte at a time, so that the
      // order stays total and the walk can go on past them.
      const unsigned char byte_a = static_cast<unsigned char>(*a), byte_b = static_cast<unsigned char>(*b);
      if (byte_a != byte_b) return byte_a < byte_b ? -1 : 1;
      ++a;
      ++b;
      continue;
    }

    const std::uint32_t lower_a = char_lower(ca), lower_b = char_lower(cb);
    if (lower_a != lower_b) return lower_a < lower_b ? -1 : 1;
    a += length_a;
    b += length_b;
  }
}

} // namespace qiv
