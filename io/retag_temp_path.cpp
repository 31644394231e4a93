#include "io/retag_temp_path.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"

namespace vantrel_io {

namespace {

// Hashed after the path so the name belongs to this use alone.
constexpr char name_salt_1[] = "rewrite through temporary file";
constexpr char name_salt_2[] = "zorv retag";

class md5_digest {
public:
  md5_digest() {
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) fail();
    if (!CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_)) fail();
  }
  ~md5_digest() {
    if (hash_) CryptDestroyHash(hash_);
    if (provider_) CryptReleaseContext(provider_, 0);
  }
  md5_digest(const md5_digest&) = delete;
  md5_digest& operator=(const md5_digest&) = delete;

  void add(const char* text) {
    if (!CryptHashData(hash_, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)), 0)) fail();
  }

  void get(BYTE (&out)[16]) {
    DWORD length = sizeof out;
    if (!CryptGetHashParam(hash_, HP_HASHVAL, out, &length, 0) || length != sizeof out) fail();
  }

private:
  [[noreturn]] static void fail() { throw exception_win32(GetLastError()); }

  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

void make_retag_temp_path(const char* target, qiv::string_object& out) {
  const char* name_start = target;
  for (const char* p = target; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == '|' || *p == ':') name_start = p + 1;
  }
  BYTE digest[16];
  {
    md5_digest md5;
    md5.add(target);
    md5.add(name_salt_1);
    md5.add(name_salt_2);
    md5.get(digest);
  }
  static constexpr char hex[] = "0123456789abcdef";
  char digits[33];
  for (int i = 0; i < 16; ++i) {
    digits[2 * i] = hex[digest[i] >> 4];
    digits[2 * i + 1] = hex[digest[i] & 15];
  }
  digits[32] = '\0';
  qiv::string_buffer path(target, static_cast<std::size_t>(name_start - target));
  path.add_string("temp-");
  path.add_string(digits);
  path.add_string(".tmp");
  out.set_string(path.get_ptr());
}

}  // namespace vantrel_io
