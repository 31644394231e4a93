// Base64 with the standard alphabet and "=" padding, no line breaks, as used
// by picture fields inside tags.
#pragma once

#include <cstddef>

namespace qiv {

class string_object;

// Appends the encoded form of `size` bytes to `output`; nothing for 0 bytes.
void base64_encode(string_object& output, const void* data, std::size_t size);

// The exact number of bytes that base64_decode writes for `text`. Text from a
// file is untrusted, so the whole text is checked here: its length must be a
// multiple of 4, every character must be in the alphabet except for at most
// two "=" that end it; anything else throws exception_invalid_params.
std::size_t base64_decoded_size(const char* text);

// Decodes `text` into `output`, which holds base64_decoded_size(text) bytes;
// refuses what base64_decoded_size refuses, before writing anything. Bits
// left over after the last whole byte are ignored.
void base64_decode(const char* text, void* output);

} // namespace qiv
