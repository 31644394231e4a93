#include "io/file_object.h"

#include <gtest/gtest.h>

#include <string>

#include "io/file_window.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;

const std::string hundred = io_test::pattern(100);

TEST(Skip, ShortSkipsAndStreamsAreReadThroughLongOnesSeek) {
  const struct {
    std::size_t content;
    bool seekable, size_known;
    std::uint64_t asked, skipped;
    bool reads;
  } cases[] = {
      {500, true, true, 1000, 500, true},     // up to 1 KiB is read, stopping at the end
      {500, true, true, 5000, 500, false},    // longer: one seek, cut at the end
      {3000, false, true, 2000, 2000, true},  // a stream cannot seek
      {3000, true, false, 5000, 3000, true},  // nor can a file seek past an unknown end
  };
  for (const auto& c : cases) {
    auto file = make_model_file(std::string(c.content, 'x'));
    file->seekable = c.seekable;
    file->size_known = c.size_known;
    EXPECT_EQ(file->skip(c.asked, no_abort()), c.skipped) << c.asked;
    EXPECT_EQ(file->position, c.skipped);
    EXPECT_EQ(!file->reads.empty(), c.reads) << c.asked;
    file->position = 0;
    if (c.skipped < c.asked) {
      EXPECT_THROW(file->skip_exact(c.asked, no_abort()), exception_io_data);
    }
  }
}

TEST(FileWindow, NeverShowsBytesBeforeItsStart) {
  auto inner = make_model_file(hundred);
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  window->seek(20, no_abort());
  EXPECT_EQ(io_test::read_text(*window, 64), hundred.substr(40, 10));
  EXPECT_THROW(window->seek(81, no_abort()), exception_io_seek_out_of_range);
  // A position that would wrap past 2^64 lands before the window.
  EXPECT_THROW(window->seek(~std::uint64_t(0) - 10, no_abort()), exception_io_seek_out_of_range);
  // The inner file is shared: another holder may move it before the window.
  inner->position = 5;
  char buffer[8];
  EXPECT_THROW(window->read(buffer, sizeof buffer, no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(inner->position, 5u);
}

}  // namespace
