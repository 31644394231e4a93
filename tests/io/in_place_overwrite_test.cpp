#include "io/in_place_overwrite.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::pattern;

const std::uint8_t* bytes_of(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

TEST(InPlaceOverwrite, OnlyASpanWithinOneAlignedPageCountsAsOneWrite) {
  EXPECT_TRUE(lies_within_one_page(0, 4096));
  EXPECT_TRUE(lies_within_one_page(8192 + 100, 3996));
  EXPECT_TRUE(lies_within_one_page(123456, 0));
  EXPECT_FALSE(lies_within_one_page(4095, 2));
  EXPECT_FALSE(lies_within_one_page(0, 4097));
  EXPECT_FALSE(lies_within_one_page(0x100000000ull - 1, 2));

  // What counts is the differing span, wherever the compared range starts.
  const std::string old_bytes = pattern(20000);
  std::string changed = old_bytes;
  changed[5000] ^= 1;
  changed[8000] ^= 1;
  EXPECT_TRUE(change_fits_one_write(0, bytes_of(old_bytes), bytes_of(changed), old_bytes.size()));
  EXPECT_FALSE(change_fits_one_write(200, bytes_of(old_bytes), bytes_of(changed), old_bytes.size()));
  changed[9000] ^= 1;
  EXPECT_FALSE(change_fits_one_write(0, bytes_of(old_bytes), bytes_of(changed), old_bytes.size()));
  EXPECT_TRUE(change_fits_one_write(7, bytes_of(old_bytes), bytes_of(old_bytes), old_bytes.size()));
}

TEST(InPlaceOverwrite, AChangeOverPagesIsRefusedBeforeAnythingIsWritten) {
  const std::string original = pattern(12000, 3);
  std::string wanted = original.substr(1000, 9000);
  wanted[0] ^= 1;
  wanted[8999] ^= 1;
  auto file = make_model_file(original);
  EXPECT_THROW(overwrite_changed_bytes(*file, 1000, bytes_of(wanted), wanted.size(), io_test::no_abort()),
               qiv::exception_bug_check);
  EXPECT_TRUE(file->bytes == original);

  // Within one page: the differing bytes alone are written, with one write.
  wanted = original.substr(1000, 9000);
  wanted[3000] ^= 1;
  wanted[3090] ^= 1;
  int writes = 0;
  file->before_write = [&](std::uint32_t size) {
    ++writes;
    EXPECT_EQ(size, 91u);
  };
  EXPECT_TRUE(overwrite_changed_bytes(*file, 1000, bytes_of(wanted), wanted.size(), io_test::no_abort()));
  EXPECT_EQ(writes, 1);
  EXPECT_TRUE(file->bytes == original.substr(0, 1000) + wanted + original.substr(10000));
  EXPECT_FALSE(overwrite_changed_bytes(*file, 1000, bytes_of(wanted), wanted.size(), io_test::no_abort()));
}

TEST(InPlaceOverwrite, ARunThatEndsTheFileGrowsInOneWriteWithinOnePageOnly) {
  const std::string original = pattern(4000, 5);
  const std::string old_tail = original.substr(3000);
  std::string grown = old_tail + std::string(90, 'g');
  grown[500] ^= 1;
  EXPECT_TRUE(change_fits_one_write(3000, bytes_of(old_tail), old_tail.size(), bytes_of(grown), grown.size()));
  // From the first differing byte to the new end crosses the page boundary.
  EXPECT_FALSE(change_fits_one_write(3000, bytes_of(old_tail), old_tail.size(), bytes_of(grown + std::string(10, 'h')),
                                     grown.size() + 10));
  EXPECT_FALSE(change_fits_one_write(3000, bytes_of(old_tail), old_tail.size(), bytes_of(grown), 900));

  auto file = make_model_file(original);
  EXPECT_THROW(overwrite_changed_bytes(*file, 3000, bytes_of(old_tail), old_tail.size(),
                                       bytes_of(grown + std::string(10, 'h')), grown.size() + 10, io_test::no_abort()),
               qiv::exception_bug_check);
  // A run that does not end the file cannot lengthen it.
  EXPECT_THROW(overwrite_changed_bytes(*file, 2000, bytes_of(old_tail), old_tail.size(), bytes_of(grown),
                                       grown.size(), io_test::no_abort()),
               qiv::exception_bug_check);
  EXPECT_TRUE(file->bytes == original);
  EXPECT_TRUE(overwrite_changed_bytes(*file, 3000, bytes_of(old_tail), old_tail.size(), bytes_of(grown), grown.size(),
                                      io_test::no_abort()));
  EXPECT_TRUE(file->bytes == original.substr(0, 3000) + grown);
  ASSERT_EQ(file->changes.size(), 1u);
  EXPECT_EQ(file->changes[0].position, 3500u);
}

}  // namespace
