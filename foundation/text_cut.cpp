#include "foundation/text_cut.h"

#include <windows.h>

#include <cstdint>

#include "foundation/code_page_text.h"
#include "foundation/utf8.h"

namespace qiv {

std::size_t utf8_cut_length(const char* text, std::size_t length, std::size_t max_bytes) noexcept {
  if (length <= max_bytes) return length;
  // The character the limit falls in starts at most 5 bytes before it.
  std::size_t start = max_bytes;
  while (start > 0 && max_bytes - start < utf8_max_sequence - 1 &&
         (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
    --start;
  std::uint32_t code_point = 0;
  const std::size_t sequence = utf8_decode_char_n(text + start, length - start, code_point);
  return sequence != 0 && start + sequence > max_bytes ? start : max_bytes;
}

std::string utf8_to_code_page_cut(const char* text, std::size_t length, unsigned code_page, std::size_t max_bytes) {
  const std::wstring wide = utf8_to_utf16(text, length);
  // Each character is measured on its own, which needs no knowledge of the
  // code page's lead bytes and holds for every code page without shift states.
  std::size_t units = 0, bytes = 0;
  while (units < wide.size()) {
    const bool pair = units + 1 < wide.size() && IS_HIGH_SURROGATE(wide[units]) && IS_LOW_SURROGATE(wide[units + 1]);
    const int char_units = pair ? 2 : 1;
    const int size = WideCharToMultiByte(code_page, 0, wide.data() + units, char_units, nullptr, 0, nullptr, nullptr);
    if (size <= 0 || bytes + std::size_t(size) > max_bytes) break;
    bytes += std::size_t(size);
    units += std::size_t(char_units);
  }
  const std::string whole_characters = utf16_to_utf8(wide.data(), units);
  return utf8_to_code_page(whole_characters.data(), whole_characters.size(), code_page);
}

}  // namespace qiv
