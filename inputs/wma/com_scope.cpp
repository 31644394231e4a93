#include "inputs/wma/com_scope.h"

#include "foundation/win32_error.h"

namespace wma {

com_scope::com_scope() : thread_(GetCurrentThreadId()) {
  const HRESULT result = CoInitialize(nullptr);
  if (result == RPC_E_CHANGED_MODE) return;
  if (FAILED(result)) throw exception_com(static_cast<std::uint32_t>(result));
  initialised_ = true;
}

com_scope::~com_scope() {
  // CoUninitialize belongs to the thread whose count it lowers; from another
  // thread it would end that thread's COM instead.
  if (initialised_ && GetCurrentThreadId() == thread_) CoUninitialize();
}

}  // namespace wma
