// The internal-error family, the texts every exception carries, allocation
// that throws instead of answering null, and the Win32 error text that
// failures show to the user.
#include "foundation/exceptions.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "foundation/checked_alloc.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"

namespace {

// A code no system message table has a text for.
constexpr std::uint32_t unknown_code = 0x01234567;

template <class Throw>
std::string message_of(Throw do_throw) {
  try {
    do_throw();
  } catch (const qiv::exception_bug_check& e) {
    return std::string("bug check: ") + e.what();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(Exceptions, EachFailureHasItsTextAndOnlyInternalErrorsAreBugChecks) {
  struct { std::string got, expected; } cases[] = {
      {message_of([] { qiv::throw_bug_check(); }), "bug check: Bug check"},
      {message_of([] { qiv::throw_invalid_params(); }), "bug check: Invalid parameters"},
      {message_of([] { qiv::dynamic_assert(false); }), "bug check: dynamic_assert failure"},
      {message_of([] { qiv::dynamic_assert(true); }), "(nothing thrown)"},
      {message_of([] { qiv::throw_overflow(); }), "Overflow"},
      {message_of([] { qiv::throw_bad_alloc(); }), "bad allocation"},
      {message_of([] { throw exception_com(unknown_code); }), "Unknown error code (0x01234567)"},
      {message_of([] { throw exception_com(193); }), "Not a valid Win32 application. (0x000000C1)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
  EXPECT_THROW(qiv::throw_bad_alloc(), std::bad_alloc);

  std::string text = "made at run time";
  const qiv::exception_with_message error(qiv::copy_message, text.c_str());
  text.assign("changed");
  const qiv::exception_with_message copy = error;
  EXPECT_STREQ(copy.what(), "made at run time");
}

TEST(Win32ErrorText, FixedUnknownAndSystemTextsInBothFormsAndFailedLookupsKeepTheLastErrorAndTheOutput) {
  struct { std::string got, expected; } cases[] = {
      {qiv::win32_error_text_keep_last_error(0).get_ptr(), "Undefined error"},
      {qiv::win32_error_text_keep_last_error(193).get_ptr(), "Not a valid Win32 application."},
      {qiv::win32_error_text_keep_last_error(unknown_code).get_ptr(), "Unknown error code (19088743)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
  qiv::string_buffer out("x");
  qiv::format_error_code_suffix(0x8007000E, out);
  EXPECT_STREQ(out.get_ptr(), "x (0x8007000E)");

  SetLastError(87);
  for (std::uint32_t code : {0u, 2u, 193u, unknown_code}) qiv::win32_error_text_keep_last_error(code);
  const exception_win32 error(193);
  EXPECT_EQ(GetLastError(), 87u);
  EXPECT_EQ(error.code(), 193u);
  EXPECT_STREQ(error.what(), "Not a valid Win32 application.");

  out.set_string("previous");
  EXPECT_FALSE(qiv::format_win32_error(unknown_code, out));
  EXPECT_STREQ(out.get_ptr(), "previous");
  ASSERT_TRUE(qiv::format_win32_error(ERROR_FILE_NOT_FOUND, out));
  const std::string text = out.get_ptr();
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(text.back(), ' ');  // where the system's trailing line break was
}

// More than a process can ever get in one block, without overflowing.
constexpr std::size_t impossible_bytes = std::numeric_limits<std::size_t>::max() - 15;

// Products and sizes that cannot be met are driven through the array growth tests.
TEST(CheckedAlloc, AFailedResizeKeepsTheOldBlock) {
  auto* block = static_cast<char*>(qiv::mem_realloc_checked(nullptr, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(qiv::mem_realloc_checked(block, 100000));
  EXPECT_STREQ(block, "abc");
  EXPECT_THROW(qiv::mem_realloc_checked(block, impossible_bytes), std::bad_alloc);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(qiv::mem_realloc_checked(block, 0), nullptr);
}

} // namespace
