#include "foundation/crash.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr int seen_by_crash_handler = 42;

// Stands in for the crash handler: it must see the crash code, raised so
// that no handler can resume the program.
LONG CALLBACK crash_handler_stand_in(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == qiv::crash_exception_code && (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
    ExitProcess(seen_by_crash_handler);
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(CrashDeathTest, RaisesTheCrashCodeAsNonContinuable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        AddVectoredExceptionHandler(1, crash_handler_stand_in);
        qiv::crash();
      },
      testing::ExitedWithCode(seen_by_crash_handler), "");
}

TEST(CrashDeathTest, EndsTheProcessEvenWithoutAHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(qiv::crash(), [](int code) { return code != 0; }, "");
}

} // namespace
