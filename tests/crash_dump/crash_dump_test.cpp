// A crash of the player leaves a minidump in its profile folder and ends the
// process with a failing exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "support/minidump_check.h"
#include "support/program_copy.h"

namespace {

using test_support::file_exists;
using test_support::program_options;
using test_support::program_result;

constexpr DWORD access_violation = 0xC0000005;

class CrashDump : public ::testing::Test {
protected:
  void SetUp() override {
    if (test_support::built_program("ZORV_CRASHING_EXE").empty()) GTEST_SKIP() << "ZORV_CRASHING_EXE is not set";
    copy_ = std::make_unique<test_support::program_copy>(true, test_support::built_program("ZORV_CRASHING_EXE"));
    copy_->create_profile();
  }
  void TearDown() override {
    if (copy_) test_support::set_folder_read_only(copy_->profile(), false);
  }

  // Not as a debugger: under one the crash handler steps aside.
  program_result run(const wchar_t* arguments) {
    program_options options = test_support::options_for(copy_->exe(), arguments);
    options.as_debugger = false;
    // A whole dump of a crashed program takes most of a minute to write on
    // a machine busy with twice its processors' work.
    options.timeout_ms = 180000;
    return test_support::run_program(options);
  }
  std::wstring dump(int number) const { return copy_->profile() + L"\\failure-" + std::to_wstring(number) + L".dmp"; }

  std::unique_ptr<test_support::program_copy> copy_;
};

TEST_F(CrashDump, AccessViolationLeavesAWholeDumpAndExitsWithItsCode) {
  const program_result result = run(L"/crash");
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, access_violation);
  ASSERT_TRUE(file_exists(dump(1)));
  const test_support::minidump_summary summary = test_support::summarize_minidump(dump(1));
  EXPECT_TRUE(summary.whole);
  EXPECT_TRUE(summary.has_exception);
  EXPECT_EQ(summary.exception_code, access_violation);
  EXPECT_FALSE(file_exists(dump(2)));
}

TEST_F(CrashDump, NextDumpTakesTheSmallestFreeNumber) {
  test_support::write_file(dump(1), "older");
  test_support::write_file(dump(3), "older");
  EXPECT_EQ(run(L"/crash").exit_code, access_violation);
  EXPECT_TRUE(test_support::summarize_minidump(dump(2)).whole);
  EXPECT_FALSE(file_exists(dump(4)));
}

TEST_F(CrashDump, ReadOnlyProfileGetsNoDumpButTheCrashStillFails) {
  ASSERT_TRUE(test_support::set_folder_read_only(copy_->profile(), true));
  const program_result result = run(L"/crash");
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, access_violation);
  EXPECT_FALSE(file_exists(dump(1)));
}

}  // namespace
