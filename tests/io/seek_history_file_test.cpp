#include "io/seek_history_file.h"

#include <gtest/gtest.h>

#include <string>

#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;

TEST(SeekHistoryFile, StepsBackWithinTheLastSixteenKibibytesWithoutTouchingTheStream) {
  const std::string content = io_test::pattern(30000);
  auto inner = io_test::make_model_file(content);
  inner->remote = true;
  inner->seekable = false;
  file_ptr file(inner.get());
  seek_history_file::wrap_if_remote(file);
  const auto read = [&](std::uint64_t position, std::uint32_t bytes) {
    file->seek(position, no_abort());
    EXPECT_EQ(io_test::read_text(*file, bytes), content.substr(position, bytes)) << position;
  };
  read(0, 20000);
  const std::size_t reads = inner->reads.size();
  read(3616, 16);  // the oldest byte still held: 20,000 - 16,384
  EXPECT_EQ(inner->reads.size(), reads);
  EXPECT_EQ(inner->rewinds, 0);
  read(19990, 30);  // across the newest held byte the stream goes on
  read(3615, 1);    // one byte older starts the stream again
  EXPECT_EQ(inner->rewinds, 1);
}

}  // namespace
