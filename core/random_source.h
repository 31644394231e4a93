// Unpredictable numbers from the system's cryptographic generator. Callers
// ask the registry for a random_source; every create gives a fresh counted
// object with its own provider context.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

#include "core/service_object.h"

class random_source : public service_object {
public:
  static constexpr GUID class_guid = {0xC303A0F1, 0x8E88, 0x4539, {0x87, 0xE5, 0x9E, 0x45, 0x5B, 0x7D, 0x54, 0x8C}};
  using service_parent = service_object;

  // Callers pass something like the low word of the time-stamp counter; the
  // system generator needs no seed, so it is ignored.
  virtual void seed(std::uint32_t value) = 0;
  // A number in [0, bound), with the small bias of a 64-bit draw taken
  // modulo the bound; 0 when the bound is 0. Safe to call from several
  // threads on one object. Throws exception_win32 when the generator fails.
  virtual std::uint64_t random(std::uint64_t bound) = 0;
};

// The implementation the registry hands out (a new object per create).
class crypto_random_source : public random_source {
public:
  // Acquires a provider context; throws exception_win32 when there is none.
  crypto_random_source();

  void seed(std::uint32_t) override {}
  std::uint64_t random(std::uint64_t bound) override;

protected:
  ~crypto_random_source();  // only the last release ends it

private:
  HCRYPTPROV provider_ = 0;
};
