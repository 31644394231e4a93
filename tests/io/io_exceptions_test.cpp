#include "io/io_exceptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <typeinfo>

#include "core/localized_text.h"

namespace {

using namespace vantrel_io;

// What throw_exception_io_from_win32 threw, caught by the root class.
std::string text_of_code(std::uint32_t code) {
  try {
    throw_exception_io_from_win32(code);
  } catch (const exception_io& e) {
    return e.what();
  }
  return "nothing thrown";
}

template <class Expected>
bool code_throws(std::uint32_t code) {
  try {
    throw_exception_io_from_win32(code);
  } catch (const exception_io& e) {
    return typeid(e) == typeid(Expected);
  }
  return false;
}

TEST(Win32ErrorMapping, EveryMappedCodeGivesItsClass) {
  EXPECT_TRUE(code_throws<exception_io_not_found>(2));
  EXPECT_TRUE(code_throws<exception_io_not_found>(3));
  EXPECT_TRUE(code_throws<exception_io_denied>(5));
  EXPECT_TRUE(code_throws<exception_io_denied>(65));
  EXPECT_TRUE(code_throws<exception_io_write_protected>(19));
  EXPECT_TRUE(code_throws<exception_io_file_corrupted>(23));
  EXPECT_TRUE(code_throws<exception_io_file_corrupted>(1392));
  EXPECT_TRUE(code_throws<exception_io_file_corrupted>(1393));
  EXPECT_TRUE(code_throws<exception_io_sharing_violation>(32));
  EXPECT_TRUE(code_throws<exception_io_sharing_violation>(33));
  EXPECT_TRUE(code_throws<exception_io_sharing_violation>(148));
  EXPECT_TRUE(code_throws<exception_io_sharing_violation>(170));
  EXPECT_TRUE(code_throws<exception_io_device_full>(39));
  EXPECT_TRUE(code_throws<exception_io_device_full>(112));
  EXPECT_TRUE(code_throws<exception_io_already_exists>(80));
  EXPECT_TRUE(code_throws<exception_io_already_exists>(183));
  EXPECT_TRUE(code_throws<exception_io_name_too_long>(111));
  EXPECT_TRUE(code_throws<exception_io_directory_not_empty>(145));
  EXPECT_TRUE(code_throws<exception_io_win32_ex>(0));
  EXPECT_TRUE(code_throws<exception_io_win32_ex>(1117));
}

TEST(Win32ErrorMapping, EveryMappedCodeCarriesItsEnglishText) {
  EXPECT_EQ(text_of_code(2), "Object not found");
  EXPECT_EQ(text_of_code(3), "Object not found");
  EXPECT_EQ(text_of_code(5), "Access denied");
  EXPECT_EQ(text_of_code(65), "Access denied");
  EXPECT_EQ(text_of_code(19), "The media is write protected");
  EXPECT_EQ(text_of_code(23), "The file is corrupted");
  EXPECT_EQ(text_of_code(1392), "The file is corrupted");
  EXPECT_EQ(text_of_code(1393), "The file is corrupted");
  EXPECT_EQ(text_of_code(32), "File is already in use");
  EXPECT_EQ(text_of_code(33), "File is already in use");
  EXPECT_EQ(text_of_code(148), "File is already in use");
  EXPECT_EQ(text_of_code(170), "File is already in use");
  EXPECT_EQ(text_of_code(39), "Device full");
  EXPECT_EQ(text_of_code(112), "Device full");
  EXPECT_EQ(text_of_code(80), "Object already exists");
  EXPECT_EQ(text_of_code(183), "Object already exists");
  EXPECT_EQ(text_of_code(111), "File name is too long");
  EXPECT_EQ(text_of_code(145), "Directory not empty");
}

TEST(Win32ErrorMapping, UnmappedCodesNameTheCodeInDecimal) {
  EXPECT_EQ(text_of_code(1117), "I/O error #1117");
  EXPECT_EQ(text_of_code(0), "I/O error #0");
  EXPECT_EQ(text_of_code(4294967295u), "I/O error #4294967295");
}

TEST(IoExceptions, HandlersForABaseClassTakeItsSubclasses) {
  // Write protection is a kind of denial: a writer that reports "Access
  // denied" must also catch it.
  EXPECT_THROW(throw_exception_io_from_win32(19), exception_io_denied);
  EXPECT_THROW(throw exception_io_unsupported_format(), exception_io_data);
  EXPECT_THROW(throw_exception_io_from_win32(1117), exception_io);
}

TEST(IoExceptions, CancellationIsNotAnIoFailure) {
  // Code that tolerates I/O failures must not swallow a user's abort.
  bool caught_as_io = false;
  try {
    try {
      throw exception_aborted();
    } catch (const exception_io&) {
      caught_as_io = true;
    }
  } catch (const exception_aborted& e) {
    EXPECT_STREQ(e.what(), "User abort");
  }
  EXPECT_FALSE(caught_as_io);
}

TEST(IoExceptions, ClassesWithoutWin32CodeCarryTheirEnglishText) {
  EXPECT_STREQ(make_exception_io().what(), "I/O error");
  EXPECT_STREQ(exception_io_data().what(), "Unsupported format or corrupted file");
  EXPECT_STREQ(exception_io_unsupported_format().what(), "Unsupported file format");
  EXPECT_STREQ(exception_io_no_handler_for_path().what(), "Invalid path");
  EXPECT_STREQ(exception_io_no_length().what(), "Unknown length");
  EXPECT_STREQ(exception_io_object_not_seekable().what(), "Object is not seekable");
  EXPECT_STREQ(exception_io_seek_out_of_range().what(), "Seek offset out of range");
  EXPECT_STREQ(exception_io_object_is_remote().what(), "This operation is not supported on remote objects");
}

TEST(IoExceptions, ALoadedLanguageReplacesTheEnglishText) {
  localized_text::set("exception_io_sharing_violation", "Datei wird bereits verwendet");
  localized_text::set("exception_io_with_code", "E/A-Fehler Nr. {code}");
  EXPECT_EQ(text_of_code(32), "Datei wird bereits verwendet");
  EXPECT_EQ(text_of_code(1117), "E/A-Fehler Nr. 1117");
  // Ids the language lacks still read in English.
  EXPECT_EQ(text_of_code(2), "Object not found");
  localized_text::clear();
  EXPECT_EQ(text_of_code(32), "File is already in use");
}

TEST(IoExceptions, OtherLayersGiveTheirOwnDefaultText) {
  class exception_tag_sample : public exception_io_data {
  public:
    exception_tag_sample() : exception_io_data(io_message("exception_tag_sample", "Tag sample")) {}
  };
  EXPECT_STREQ(exception_tag_sample().what(), "Tag sample");
  EXPECT_THROW(throw exception_tag_sample(), exception_io_data);
}

}  // namespace
