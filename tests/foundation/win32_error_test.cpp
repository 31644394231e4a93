#include "foundation/win32_error.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/string_buffer.h"

namespace {

// A code no system message table has a text for.
constexpr std::uint32_t unknown_code = 0x01234567;

TEST(Win32ErrorText, CodeZeroIsUndefinedAndKeepsTheLastError) {
  SetLastError(1234);
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(0).get_ptr(), "Undefined error");
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Win32ErrorText, SystemLookupKeepsTheLastError) {
  SetLastError(87);
  qiv::win32_error_text_keep_last_error(2);
  qiv::win32_error_text_keep_last_error(unknown_code);
  EXPECT_EQ(GetLastError(), 87u);
}

TEST(Win32ErrorText, FixedTextsInBothForms) {
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(193).get_ptr(), "Not a valid Win32 application.");
  EXPECT_STREQ(qiv::win32_error_text(193).get_ptr(), "Not a valid Win32 application. (0x000000C1)");
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(217).get_ptr(), "Unable to modify a signed binary.");
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(218).get_ptr(), "Unable to modify a signed binary.");
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(129).get_ptr(), "Application cannot be run in Win32 mode.");
}

TEST(Win32ErrorText, UnknownCodeNamesTheNumber) {
  EXPECT_STREQ(qiv::win32_error_text_keep_last_error(unknown_code).get_ptr(), "Unknown error code (19088743)");
  EXPECT_STREQ(qiv::win32_error_text(unknown_code).get_ptr(), "Unknown error code (0x01234567)");
}

TEST(Win32ErrorText, FailedLookupLeavesTheOutputAlone) {
  qiv::string_buffer out("previous");
  EXPECT_FALSE(qiv::format_win32_error(unknown_code, out));
  EXPECT_STREQ(out.get_ptr(), "previous");
}

TEST(Win32ErrorText, SystemTextHasItsLineBreaksAsSpaces) {
  qiv::string_buffer out;
  ASSERT_TRUE(qiv::format_win32_error(ERROR_FILE_NOT_FOUND, out));
  const std::string text = out.get_ptr();
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(text.back(), ' ');  // where the system's trailing line break was
}

TEST(Win32ErrorText, SuffixIsEightUpperCaseDigits) {
  qiv::string_buffer out("x");
  qiv::format_error_code_suffix(0x8007000E, out);
  EXPECT_STREQ(out.get_ptr(), "x (0x8007000E)");
}

TEST(Win32Exceptions, Win32ExceptionCarriesCodeAndText) {
  SetLastError(5);
  const exception_win32 error(193);
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_EQ(error.code(), 193u);
  EXPECT_STREQ(error.what(), "Not a valid Win32 application.");
  const exception_win32 copy = error;
  EXPECT_EQ(copy.code(), 193u);
  EXPECT_STREQ(copy.what(), "Not a valid Win32 application.");
  const exception_win32 own_text(5, "Win32 error #5");
  EXPECT_EQ(own_text.code(), 5u);
  EXPECT_STREQ(own_text.what(), "Win32 error #5");
}

TEST(Win32Exceptions, ComExceptionEndsWithTheCode) {
  const exception_com error(unknown_code);
  EXPECT_EQ(error.code(), unknown_code);
  EXPECT_STREQ(error.what(), "Unknown error code (0x01234567)");
  const exception_com known(193);
  EXPECT_STREQ(known.what(), "Not a valid Win32 application. (0x000000C1)");
}

TEST(Win32Exceptions, CoInitializeFailureIsAPlainException) {
  try {
    throw_coinitialize_failed();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "CoInitialize() failed");
  }
}

} // namespace
