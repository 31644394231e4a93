// Byte-wise comparisons of plain text, with and without ASCII case folding.
// Their order is signed bytes, so bytes 128-255 sort before ASCII; this is not
// the unsigned byte order of strcmp_bytes that keys the string maps, and not
// the code-point order of stricmp_utf8. All return -1, 0 or 1 unless said.
#pragma once

#include <cstddef>

namespace qiv {

// Two texts of exact lengths (NUL bytes included), compared as signed bytes;
// a text that is a prefix of the other orders first.
int strcmp_lengths(const char* a, std::size_t length_a, const char* b, std::size_t length_b);

// Each text ends at its first NUL or at its maximum; then strcmp_lengths.
int strcmp_n(const char* a, std::size_t max_a, const char* b, std::size_t max_b);

// Bytes beyond a text's length count as NUL; A-Z fold to a-z; signed bytes.
int stricmp_ascii_n(const char* a, std::size_t length_a, const char* b, std::size_t length_b);

// NUL-terminated texts; bytes 1-127 fold A-Z to a-z, bytes 128-255 compare
// unfolded as negative values. The order of the XML attribute maps.
int stricmp_ascii(const char* a, const char* b);

bool stricmp_ascii_equal(const char* a, const char* b);

} // namespace qiv
