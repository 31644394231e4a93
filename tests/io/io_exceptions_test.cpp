#include "io/io_exceptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

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

TEST(Win32ErrorMapping, EveryMappedCodeGivesItsClassAndText) {
  const struct {
    std::vector<std::uint32_t> codes;
    const std::type_info& type;
    const char* text;  // "#" stands for the code
  } table[] = {
      {{2, 3}, typeid(exception_io_not_found), "Object not found"},
      {{5, 65}, typeid(exception_io_denied), "Access denied"},
      {{19}, typeid(exception_io_write_protected), "The media is write protected"},
      {{23, 1392, 1393}, typeid(exception_io_file_corrupted), "The file is corrupted"},
      {{32, 33, 148, 170}, typeid(exception_io_sharing_violation), "File is already in use"},
      {{39, 112}, typeid(exception_io_device_full), "Device full"},
      {{80, 183}, typeid(exception_io_already_exists), "Object already exists"},
      {{111}, typeid(exception_io_name_too_long), "File name is too long"},
      {{145}, typeid(exception_io_directory_not_empty), "Directory not empty"},
      {{0, 1117, 4294967295u}, typeid(exception_io_win32_ex), "I/O error #"},
  };
  for (const auto& row : table) {
    for (const std::uint32_t code : row.codes) {
      const auto [type, text] = throw_code(code);
      ASSERT_NE(type, nullptr) << code;
      EXPECT_TRUE(*type == row.type) << code;
      const std::string expected = row.text;
      EXPECT_EQ(text, expected.back() == '#' ? expected + std::to_string(code) : expected);
    }
  }
  // A loaded language fills the code into its own text.
  localized_text::set("exception_io_with_code", "E/A-Fehler Nr. {code}");
  EXPECT_EQ(throw_code(1117).second, "E/A-Fehler Nr. 1117");
  localized_text::clear();
}

TEST(IoExceptions, HandlersForABaseClassTakeItsSubclassesButNotACancellation) {
  // Write protection is a kind of denial: a writer that reports "Access
  // denied" must also catch it.
  EXPECT_THROW(throw_exception_io_from_win32(19), exception_io_denied);
  EXPECT_THROW(throw exception_io_unsupported_format(), exception_io_data);
  // Code that tolerates I/O failures must not swallow a user's abort.
  bool caught_as_io = false;
  try {
    try {
      throw exception_aborted();
    } catch (const exception_io&) {
      caught_as_io = true;
    }
  } catch (const exception_aborted&) {
  }
  EXPECT_FALSE(caught_as_io);
}

}  // namespace
