#include "io/io_exceptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "core/localized_text.h"

namespace {

using namespace vantrel_io;

// The class and text of what throw_exception_io_from_win32 threw.
std::pair<const std::type_info*, std::string> throw_code(std::uint32_t code) {
  try {
    throw_exception_io_from_win32(code);
  } catch (const exception_io& e) {
    return {&typeid(e), e.what()};
  }
  return {nullptr, "nothing thrown"};
}

// The codes the file tests meet for real (not found, denied, in use, already
// exists, not empty, disk full) are checked there; these are the others.
TEST(Win32ErrorMapping, RareAndUnknownCodesGiveTheirClassAndText) {
  const struct {
    std::uint32_t code;
    const std::type_info& type;
    std::string text;
  } table[] = {
      {19, typeid(exception_io_write_protected), "The media is write protected"},
      {1392, typeid(exception_io_file_corrupted), "The file is corrupted"},
      {0, typeid(exception_io_win32_ex), "I/O error #0"},
  };
  for (const auto& row : table) {
    const auto [type, text] = throw_code(row.code);
    ASSERT_NE(type, nullptr) << row.code;
    EXPECT_TRUE(*type == row.type) << row.code;
    EXPECT_EQ(text, row.text);
  }
  // A loaded language fills the code into its own text.
  localized_text::set("exception_io_with_code", "E/A-Fehler Nr. {code}");
  EXPECT_EQ(throw_code(1117).second, "E/A-Fehler Nr. 1117");
  localized_text::clear();
}

// A writer that reports "Access denied" must also catch write protection;
// code that tolerates I/O failures must not swallow a user's abort.
static_assert(std::is_base_of_v<exception_io_denied, exception_io_write_protected>);
static_assert(std::is_base_of_v<exception_io_data, exception_io_unsupported_format>);
static_assert(!std::is_base_of_v<exception_io, exception_aborted>);

}  // namespace
