#include "properties/test_show_failure.h"

#include <cstdlib>

#include "foundation/exceptions.h"

void fail_showing_tracks_if_asked() {
  static const unsigned long failing = [] {
    const char* text = std::getenv("ZORV_TEST_PROPERTIES_SHOW_FAILS");
    return text == nullptr ? 0ul : std::strtoul(text, nullptr, 10);
  }();
  // Main thread only, as the dialog.
  static unsigned long shown = 0;
  if (failing != 0 && ++shown == failing) qiv::throw_bad_alloc();
}
