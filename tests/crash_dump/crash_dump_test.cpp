// A crash of the player leaves a minidump in its profile folder and ends the
// process with a failing exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/minidump_check.h"
#include "support/program_run.h"

namespace {

using test_support::file_exists;
using test_support::program_options;
using test_support::program_result;
using test_support::scratch_folder;

constexpr DWORD access_violation = 0xC0000005;

std::wstring crashing_program() {
  const char* path = std::getenv("ZORV_CRASHING_EXE");
  return path ? test_support::windows_path_from_build(path) : std::wstring();
}

class CrashDump : public ::testing::Test {
protected:
  void SetUp() override {
    if (crashing_program().empty()) GTEST_SKIP() << "ZORV_CRASHING_EXE is not set";
    exe_ = folder_ / L"zorv.exe";
    CopyFileW(crashing_program().c_str(), exe_.c_str(), FALSE);
    test_support::write_file(exe_ + L".localconfig.opt", "");  // the profile beside the program
    profile_ = folder_ / L"zorv-configuration";
    CreateDirectoryW(profile_.c_str(), nullptr);
  }
  void TearDown() override { test_support::set_folder_read_only(profile_, false); }

  // Not as a debugger: under one the crash handler steps aside.
  program_result run(const wchar_t* arguments) {
    program_options options;
    options.program = exe_;
    options.arguments = arguments;
    options.as_debugger = false;
    return test_support::run_program(options);
  }
  std::wstring dump(int number) const { return profile_ + L"\\failure-" + std::to_wstring(number) + L".dmp"; }

  scratch_folder folder_;
  std::wstring exe_;
  std::wstring profile_;
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
  ASSERT_TRUE(test_support::set_folder_read_only(profile_, true));
  const program_result result = run(L"/crash");
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, access_violation);
  EXPECT_FALSE(file_exists(dump(1)));
}

}  // namespace
