// Puts the thread's last-error value back when a scope ends, so that work
// done between a caller's failed call and its GetLastError (building an
// error text, for one) does not replace the caller's error.
#pragma once

#include <windows.h>

namespace qiv {

class last_error_restorer {
public:
  last_error_restorer() noexcept : saved_(GetLastError()) {}
  explicit last_error_restorer(DWORD saved) noexcept : saved_(saved) {}
  ~last_error_restorer() { SetLastError(saved_); }
  last_error_restorer(const last_error_restorer&) = delete;
  last_error_restorer& operator=(const last_error_restorer&) = delete;

private:
  DWORD saved_;
};

} // namespace qiv
