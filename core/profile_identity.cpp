#include "core/profile_identity.h"

#include "foundation/case_folding.h"
#include "foundation/crc32.h"
#include "foundation/string_buffer.h"

std::uint32_t profile_identity(const char* profile_path) {
  // Every instance must fold exactly the same way, or two of them would run
  // on one profile: the shared folding is the one the rest of the system
  // compares paths with.
  qiv::string_buffer folded;
  qiv::string_add_lower(folded, profile_path, qiv::until_nul);
  return qiv::crc32(folded.get_ptr(), folded.get_length());
}

void profile_mutex_name(std::uint32_t identity, wchar_t (&name)[profile_mutex_name_size]) {
  static constexpr wchar_t digits[] = L"0123456789ABCDEF";
  const wchar_t prefix[] = L"ZORV_";
  for (int i = 0; i < 5; ++i) name[i] = prefix[i];
  for (int i = 0; i < 8; ++i) name[5 + i] = digits[(identity >> (28 - 4 * i)) & 0xF];
  name[13] = L'\0';
}
