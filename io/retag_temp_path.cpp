#include "io/retag_temp_path.h"

#include <cstring>

#include "foundation/code_point_text.h"
#include "foundation/string_buffer.h"
#include "io/md5_hasher.h"

namespace vantrel_io {

namespace {

// Hashed after the path so the name belongs to this use alone.
constexpr char name_salt_1[] = "rewrite through temporary file";
constexpr char name_salt_2[] = "zorv retag";

void hash_text(md5_hasher& hasher, const char* text) {
  hasher.update(text, static_cast<std::uint32_t>(std::strlen(text)));
}

}  // namespace

void make_retag_temp_path(const char* target, qiv::string_object& out) {
  const char* name_start = target;
  for (const char* p = target; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == '|' || *p == ':') name_start = p + 1;
  }
  qiv::string_buffer upper_name;
  qiv::string_to_upper_utf8(upper_name, name_start);
  md5_hasher hasher;
  hash_text(hasher, upper_name.get_ptr());
  hash_text(hasher, name_salt_1);
  hash_text(hasher, name_salt_2);
  const md5_digest digest = hasher.finish();

  static constexpr char hex[] = "0123456789abcdef";
  char digits[33];
  for (int i = 0; i < 16; ++i) {
    digits[2 * i] = hex[digest.bytes[i] >> 4];
    digits[2 * i + 1] = hex[digest.bytes[i] & 15];
  }
  digits[32] = '\0';
  qiv::string_buffer path(target, static_cast<std::size_t>(name_start - target));
  path.add_string("temp-");
  path.add_string(digits);
  path.add_string(".tmp");
  out.set_string(path.get_ptr());
}

}  // namespace vantrel_io
