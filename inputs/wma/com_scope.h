// COM for one WMA object on the thread that opens it. A thread already in
// another apartment (RPC_E_CHANGED_MODE) can use COM as it is: that is not a
// failure, and such a scope must not uninitialise what it did not initialise.
#pragma once

#include <windows.h>

namespace wma {

class com_scope {
public:
  // Other failures throw exception_com.
  com_scope();
  ~com_scope();
  com_scope(const com_scope&) = delete;
  com_scope& operator=(const com_scope&) = delete;

  bool initialised_here() const noexcept { return initialised_; }

private:
  bool initialised_ = false;
  DWORD thread_ = 0;
};

}  // namespace wma
