// MD5 through the system's CryptoAPI: the digest that guards "config.dat"
// and names the temporary file of a tag rewrite.
// A failing CryptoAPI call throws exception_win32 with its error code.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

namespace vantrel_io {

struct md5_digest {
  std::uint8_t bytes[16] = {};
  bool operator==(const md5_digest&) const = default;
};

class md5_hasher {
public:
  // Hashes in the process's verify-only context, acquired on first use;
  // nothing is stored and no key is used.
  md5_hasher();
  ~md5_hasher();
  md5_hasher(const md5_hasher&) = delete;
  md5_hasher& operator=(const md5_hasher&) = delete;

  void update(const void* bytes, std::uint32_t count);
  md5_digest finish();

private:
  void create_hash();

  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace vantrel_io
