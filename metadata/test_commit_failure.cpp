#include "metadata/test_commit_failure.h"

#include <cstdlib>

#include "foundation/exceptions.h"

void fail_storing_info_if_asked() {
  static const unsigned long failing = [] {
    const char* text = std::getenv("ZORV_TEST_INFO_COMMIT_FAILS");
    return text == nullptr ? 0ul : std::strtoul(text, nullptr, 10);
  }();
  // Main thread only, as the operations' ends.
  static unsigned long ended = 0;
  if (failing != 0 && ++ended == failing) qiv::throw_bad_alloc();
}
