// UTF-8 code points and the conversions to and from UTF-16.
//
// All text inside the program is UTF-8; every Windows call takes UTF-16.
// Code points follow the original 31-bit UTF-8 (sequences of 1 to 6 bytes,
// values up to 0x7FFFFFFF), so that text written by older tools still reads.
// A NUL byte ends a text for every decoder here: it decodes to length 0,
// exactly like an invalid sequence, and every walk stops at either.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/array.h"

namespace qiv {

static_assert(sizeof(wchar_t) == 2, "UTF-16 text is held in wchar_t");

// The longest sequence the decoder and encoder handle.
inline constexpr std::size_t utf8_max_sequence = 6;

// Decodes the sequence at `text`. Returns its length in bytes, or 0 at a NUL
// or an invalid sequence (then `code_point` is 0). Bad lead bytes, malformed
// or missing continuation bytes and overlong forms are invalid; surrogate
// code points are not refused.
std::size_t utf8_decode_char(const char* text, std::uint32_t& code_point) noexcept;

// As utf8_decode_char, but never reads more than `max_bytes` bytes (nor more
// than 6): a sequence cut by that limit is invalid.
std::size_t utf8_decode_char_n(const char* text, std::size_t max_bytes, std::uint32_t& code_point) noexcept;

// Writes the UTF-8 form of `code_point` into `output` (room for 6 bytes) and
// returns its length; with a null `output` only the length is returned.
// Values above 0x7FFFFFFF have no form: 0 and nothing written.
std::size_t utf8_encode_char(std::uint32_t code_point, char* output) noexcept;

// Writes one UTF-16 unit, or a surrogate pair for 0x10000-0x10FFFF, into
// `output` (room for 2 units) and returns the count. Larger values become "?".
std::size_t utf16_encode_char(std::uint32_t code_point, wchar_t* output) noexcept;

// Length of the first sequence within `max_bytes`; 0 when `max_bytes` is 0,
// at a NUL or when the sequence is invalid.
std::size_t utf8_char_length(const char* text, std::size_t max_bytes) noexcept;

// Byte offset just after `char_count` code points, or earlier where a NUL or
// an invalid sequence stops the walk.
std::size_t utf8_chars_to_bytes(const char* text, std::size_t char_count) noexcept;

// Number of code points within `max_bytes`, stopping at a NUL or the first
// invalid sequence.
std::size_t utf8_strlen(const char* text, std::size_t max_bytes) noexcept;

// True when every sequence before `max_bytes` or the first NUL is valid and
// none is cut by the limit. An empty range is valid.
bool is_valid_utf8(const char* text, std::size_t max_bytes) noexcept;

// UTF-16 units before the terminator.
std::size_t wide_strlen(const wchar_t* text) noexcept;

// UTF-16 units that converting the text writes, plus 1 for the terminator:
// the exact capacity to hand to convert_utf8_to_wide.
std::size_t estimate_utf8_to_wide(const char* text) noexcept;
std::size_t estimate_utf8_to_wide_n(const char* text, std::size_t max_bytes) noexcept;

// UTF-8 bytes that converting the units writes, plus 1 for the terminator:
// the exact capacity to hand to convert_wide_to_utf8.
std::size_t estimate_wide_to_utf8(const wchar_t* units, std::size_t count) noexcept;

// Converts at most `max_bytes` of UTF-8, stopping at a NUL or an invalid
// sequence, into `output` of `capacity` units, always terminated when the
// capacity is not 0. Returns the units written before the terminator. When
// the output is too small the text is cut before the first character that
// does not fit whole, so a surrogate pair is never split.
std::size_t convert_utf8_to_wide(wchar_t* output, std::size_t capacity, const char* text,
                                 std::size_t max_bytes) noexcept;

// The same for an output the caller sized with estimate_utf8_to_wide.
std::size_t convert_utf8_to_wide_unchecked(wchar_t* output, const char* text) noexcept;

// Converts at most `count` UTF-16 units, stopping at a unit 0, into `output`
// of `capacity` bytes, always terminated when the capacity is not 0. A high
// surrogate followed by a low one is joined; every other unit, lone
// surrogates included, is encoded as it stands. Returns the bytes written
// before the terminator. When the output is too small the text is cut before
// the first character that does not fit whole.
std::size_t convert_wide_to_utf8(char* output, std::size_t capacity, const wchar_t* units,
                                 std::size_t count) noexcept;

// A UTF-8 copy of a UTF-16 result (a buffer filled by a Windows call, or a
// byte size halved into units), up to its first unit 0 or `count`. The array
// is sized exactly to estimate_wide_to_utf8 and ends with the terminator, so
// its data reads as a NUL-terminated text.
byte_array utf8_from_wide(const wchar_t* units, std::size_t count);

} // namespace qiv
