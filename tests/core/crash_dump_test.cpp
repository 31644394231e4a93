#include "core/crash_dump.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/minidump_check.h"

namespace {

constexpr DWORD sample_code = 0xE0001234;

class CrashDumpWriter : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int test_number = 0;
    folder_ = std::wstring(temp) + L"zorv-dumps-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++test_number);
    CreateDirectoryW(folder_.c_str(), nullptr);
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, folder_.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);
    profile_ = std::string("file://") + narrow;

    // What the system hands the crash filter, made up here.
    record_.ExceptionCode = sample_code;
    RtlCaptureContext(&context_);
    pointers_.ExceptionRecord = &record_;
    pointers_.ContextRecord = &context_;
  }
  void TearDown() override {
    for (int n = 1; n <= 4; ++n) DeleteFileW(dump(n).c_str());
    RemoveDirectoryW(folder_.c_str());
  }

  std::wstring dump(int number) const { return folder_ + L"\\failure-" + std::to_wstring(number) + L".dmp"; }
  static void touch(const std::wstring& path) {
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }

  std::wstring folder_;
  std::string profile_;
  EXCEPTION_RECORD record_ = {};
  CONTEXT context_ = {};
  EXCEPTION_POINTERS pointers_ = {};
};

TEST_F(CrashDumpWriter, WritesAWholeDumpCarryingTheFailingThreadsException) {
  crash_dump_prepare(profile_.c_str(), false);
  EXPECT_EQ(crash_dump_write(&pointers_), 1u);
  const test_support::minidump_summary summary = test_support::summarize_minidump(dump(1));
  EXPECT_TRUE(summary.whole);
  EXPECT_TRUE(summary.has_exception);
  EXPECT_EQ(summary.exception_code, sample_code);
  EXPECT_EQ(summary.exception_thread, GetCurrentThreadId());
}

TEST_F(CrashDumpWriter, NextDumpTakesTheSmallestFreeNumber) {
  crash_dump_prepare((profile_ + "\\").c_str(), false);  // a trailing backslash is not doubled
  touch(dump(1));
  touch(dump(2));
  EXPECT_EQ(crash_dump_write(&pointers_), 3u);
  EXPECT_TRUE(test_support::summarize_minidump(dump(3)).whole);
  DeleteFileW(dump(1).c_str());
  EXPECT_EQ(crash_dump_write(&pointers_), 1u);
  EXPECT_TRUE(test_support::summarize_minidump(dump(1)).whole);
  EXPECT_EQ(GetFileAttributesW(dump(4).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CrashDumpWriter, ReadOnlyProfileGetsNone) {
  crash_dump_prepare(profile_.c_str(), true);
  EXPECT_EQ(crash_dump_write(&pointers_), 0u);
  EXPECT_EQ(GetFileAttributesW(dump(1).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
