// Files that another program holds open (a tag editor, a virus scanner, the
// indexer) fail with a sharing violation for a moment; these calls wait in
// short steps instead of failing at once.
#include <windows.h>

#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/retry_step.h"

namespace vantrel_io {

namespace {

constexpr double move_timeout_seconds = 300;

template <class Operation>
void run_retrying(Operation operation, const abort_signal& abort, double timeout_seconds) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    try {
      operation();
      return;
    } catch (const exception_io_sharing_violation&) {
      const double elapsed = static_cast<double>(GetTickCount64() - start) / 1000.0;
      if (elapsed > timeout_seconds) throw;
    }
    abort.sleep(retry_step_seconds);
  }
}

}  // namespace

void open_retrying(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort, double timeout_seconds) {
  run_retrying([&] { open(out, path, mode, abort); }, abort, timeout_seconds);
}

void remove_retrying(const char* path, const abort_signal& abort, double timeout_seconds) {
  run_retrying([&] { remove(path, abort); }, abort, timeout_seconds);
}

void move_retrying(const char* from, const char* to, const abort_signal& abort) {
  run_retrying([&] { move(from, to, abort); }, abort, move_timeout_seconds);
}

}  // namespace vantrel_io
