#include "io/md5_hasher.h"

#include "foundation/win32_error.h"

namespace vantrel_io {

namespace {

[[noreturn]] void throw_crypto_error() { throw exception_win32(GetLastError()); }

// Acquiring a context costs tens of milliseconds under Wine, and every tag
// write names a file through a digest: one context serves the whole
// process, its hash objects used on several threads at once. A failed
// acquisition is tried again by the next hasher.
HCRYPTPROV shared_provider() {
  static const HCRYPTPROV provider = [] {
    HCRYPTPROV acquired = 0;
    if (!CryptAcquireContextW(&acquired, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
      throw_crypto_error();
    return acquired;
  }();
  return provider;
}

}  // namespace

md5_hasher::md5_hasher() : provider_(shared_provider()) {}

md5_hasher::~md5_hasher() {
  if (hash_ != 0) CryptDestroyHash(hash_);
}

// Created on first use, so a hasher that is never fed costs no hash object.
void md5_hasher::create_hash() {
  if (hash_ == 0 && !CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_)) throw_crypto_error();
}

void md5_hasher::update(const void* bytes, std::uint32_t count) {
  create_hash();
  if (count != 0 && !CryptHashData(hash_, static_cast<const BYTE*>(bytes), count, 0)) throw_crypto_error();
}

md5_digest md5_hasher::finish() {
  create_hash();
  md5_digest digest;
  DWORD size = sizeof(digest.bytes);
  if (!CryptGetHashParam(hash_, HP_HASHVAL, digest.bytes, &size, 0)) throw_crypto_error();
  return digest;
}

}  // namespace vantrel_io
