#include "core/fatal_error.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/startup_services.h"
#include "foundation/crash.h"

namespace {

void throw_runtime_error() { throw std::runtime_error("escaped"); }
void throw_through_noexcept() noexcept { throw_runtime_error(); }

// A crash must never look like success to whoever started the program.
TEST(FatalErrorDeathTest, UncaughtExceptionsAndRaisedFatalErrorsEndWithTheFatalErrorCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto fatal = ::testing::ExitedWithCode(static_cast<int>(qiv::crash_exception_code));
  EXPECT_EXIT((crash_handler::install(), install_terminate_handler(), throw_through_noexcept()), fatal, "");
  EXPECT_EXIT((crash_handler::install(), qiv::crash()), fatal, "");
}

}  // namespace
