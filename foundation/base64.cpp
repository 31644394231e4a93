#include "foundation/base64.h"

#include <cstdint>
#include <cstring>

#include "foundation/exceptions.h"
#include "foundation/string_object.h"

namespace qiv {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int not_in_alphabet = -1;

int sextet_of(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return not_in_alphabet;
}

struct checked_text {
  std::size_t length;   // whole text, padding included
  std::size_t padding;  // trailing "=", 0 to 2
};

// One check for both the size and the decoding, so the two can never
// disagree: a third "=" would leave a group of 6 bits, which decodes to no
// byte at all while a size of one byte was announced.
checked_text check_text(const char* text) {
  const std::size_t length = std::strlen(text);
  if (length % 4 != 0) throw exception_invalid_params();
  std::size_t padding = 0;
  while (padding < length && padding < 3 && text[length - 1 - padding] == '=') ++padding;
  if (padding > 2) throw exception_invalid_params();
  for (std::size_t i = 0; i < length - padding; ++i)
    if (sextet_of(text[i]) == not_in_alphabet) throw exception_invalid_params();
  return {length, padding};
}

} // namespace

void base64_encode(string_object& output, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // Appended in chunks: a picture runs to megabytes, one call per character
  // would cost a virtual call each.
  char chunk[256];
  std::size_t used = 0;
  auto put = [&](char c) {
    chunk[used++] = c;
    if (used == sizeof chunk) {
      output.add_string(chunk, used);
      used = 0;
    }
  };

  std::uint32_t bits = 0;
  unsigned pending = 0;
  for (std::size_t i = 0; i < size; ++i) {
    bits = (bits << 8) | bytes[i];
    pending += 8;
    while (pending >= 6) {
      pending -= 6;
      put(alphabet[(bits >> pending) & 0x3F]);
    }
  }
  if (pending == 4) {
    put(alphabet[(bits << 2) & 0x3F]);
    put('=');
  } else if (pending == 2) {
    put(alphabet[(bits << 4) & 0x3F]);
    put('=');
    put('=');
  }
  if (used) output.add_string(chunk, used);
}

std::size_t base64_decoded_size(const char* text) {
  const checked_text checked = check_text(text);
  return checked.length / 4 * 3 - checked.padding;
}

void base64_decode(const char* text, void* output) {
  const checked_text checked = check_text(text);
  auto* out = static_cast<unsigned char*>(output);
  std::uint32_t bits = 0;
  unsigned pending = 0;
  for (std::size_t i = 0; i < checked.length - checked.padding; ++i) {
    bits = (bits << 6) | static_cast<std::uint32_t>(sextet_of(text[i]));
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      *out++ = static_cast<unsigned char>(bits >> pending);
    }
  }
}

} // namespace qiv
