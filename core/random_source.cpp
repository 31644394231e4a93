#include "core/random_source.h"

#include "core/service_factory.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"

namespace {

// Failures carry the bare code ("Win32 error #5"): the generator fails only
// when the system's cryptography is broken, and the code is what matters.
[[noreturn]] void throw_last_error() {
  const DWORD code = GetLastError();
  qiv::string_buffer message("Win32 error #");
  message.add_uint(code);
  throw exception_win32(code, message.get_ptr());
}

service_factory_t<crypto_random_source> random_source_registration;

} // namespace

crypto_random_source::crypto_random_source() {
  if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    throw_last_error();
}

crypto_random_source::~crypto_random_source() { CryptReleaseContext(provider_, 0); }

std::uint64_t crypto_random_source::random(std::uint64_t bound) {
  // Any number would be outside an empty range; 0 is the harmless answer
  // rather than a division by zero.
  if (bound == 0) return 0;
  BYTE bytes[8];
  if (!CryptGenRandom(provider_, sizeof bytes, bytes)) throw_last_error();
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value % bound;
}
