#include "foundation/guid_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qiv {

namespace {

unsigned hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 0;
}

// Walks the text group by group; the caller stops at the first group that
// does not fit before the end.
class guid_text_reader {
public:
  guid_text_reader(const char* begin, const char* end) : pos_(begin), end_(end) {}

  bool skip_dashes_and_fit(std::size_t digits) {
    while (pos_ < end_ && *pos_ == '-') ++pos_;
    return fits(digits);
  }

  bool fits(std::size_t digits) const { return static_cast<std::size_t>(end_ - pos_) >= digits; }

  std::uint32_t read(std::size_t digits) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) value = (value << 4) | hex_digit_value(*pos_++);
    return value;
  }

private:
  const char* pos_;
  const char* end_;
};

} // namespace

GUID guid_from_string(const char* text) {
  GUID guid{};
  if (*text == '{') ++text;
  const char* close = std::strchr(text, '}');
  guid_text_reader reader(text, close ? close : text + std::strlen(text));

  if (!reader.fits(8)) return guid;
  guid.Data1 = reader.read(8);
  if (!reader.skip_dashes_and_fit(4)) return guid;
  guid.Data2 = static_cast<unsigned short>(reader.read(4));
  if (!reader.skip_dashes_and_fit(4)) return guid;
  guid.Data3 = static_cast<unsigned short>(reader.read(4));
  if (!reader.skip_dashes_and_fit(4)) return guid;
  for (int i = 0; i < 2; ++i) guid.Data4[i] = static_cast<unsigned char>(reader.read(2));
  if (!reader.skip_dashes_and_fit(12)) return guid;
  for (int i = 2; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(reader.read(2));
  return guid;
}

} // namespace qiv
