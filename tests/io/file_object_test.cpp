#include "io/file_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/exceptions.h"
#include "io/file_window.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;

const std::string hundred = io_test::pattern(100);

TEST(SeekFromOrigin, EachOriginAndItsRefusals) {
  const struct {
    std::int64_t offset;
    int origin;
    bool size_known;
    std::string outcome;  // the position reached, or the failure
  } cases[] = {
      {5, 0, true, "5"},       {-30, 1, true, "20"},  // from position 50
      {-10, 2, true, "90"},    {0, 2, true, "100"},           {-1, 0, true, "out of range"},
      {-101, 2, true, "out of range"}, {0, 3, true, "data"}, {-10, 2, false, "no length"},
  };
  for (const auto& c : cases) {
    auto file = make_model_file(hundred);
    file->position = 50;
    file->size_known = c.size_known;
    const std::string failure = io_test::failure_of([&] { file->seek_from_origin(c.offset, c.origin, no_abort()); });
    EXPECT_EQ(failure.empty() ? std::to_string(file->position) : failure, c.outcome) << c.offset << " " << c.origin;
  }
}

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
    if (c.skipped < c.asked) EXPECT_THROW(file->skip_exact(c.asked, no_abort()), exception_io_data);
  }
  char buffer[8];
  EXPECT_THROW(make_model_file("abc")->read_exact(buffer, 4, no_abort()), exception_io_data);
}

TEST(FileHelpers, RemainingEndAndTruncationWithKnownAndUnknownSizes) {
  auto file = make_model_file(hundred);
  file->position = 30;
  EXPECT_EQ(file->get_remaining(no_abort()), 70u);
  EXPECT_FALSE(file->is_at_end(no_abort()));
  file->truncate_if_larger(200, no_abort());
  file->truncate_if_larger(40, no_abort());
  EXPECT_EQ(file->resizes, std::vector<std::uint64_t>{40});
  file->position = 40;
  EXPECT_TRUE(file->is_at_end(no_abort()));
  file->size_known = false;
  EXPECT_THROW(file->get_remaining(no_abort()), exception_io_no_length);
  EXPECT_FALSE(file->is_at_end(no_abort()));
  file->truncate_if_larger(10, no_abort());  // an unknown size counts as larger
  EXPECT_EQ(file->bytes.size(), 10u);
}

TEST(FileWindow, ShowsOnlyItsBytesAndRefusesToBeChanged) {
  // Window [20, 50) of a 100-byte file: position, bytes asked, bytes shown.
  const struct {
    std::uint64_t seek_to;
    std::uint32_t asked;
    std::string shown;
  } cases[] = {{0, 5, hundred.substr(20, 5)}, {20, 64, hundred.substr(40, 10)}, {30, 64, ""}, {40, 64, ""}};
  auto inner = make_model_file(hundred);
  file_ptr window, empty, wrapped;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  EXPECT_EQ(inner->position, 20u);
  for (const auto& c : cases) {
    window->seek(c.seek_to, no_abort());
    EXPECT_EQ(io_test::read_text(*window, c.asked), c.shown) << c.seek_to;
    if (c.shown.size() < c.asked) EXPECT_EQ(io_test::read_text(*window, c.asked), "");
  }
  EXPECT_EQ(window->get_size(no_abort()), 30u);
  EXPECT_THROW(window->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(window->resize(5, no_abort()), exception_io_denied);
  EXPECT_EQ(inner->bytes, hundred);
  open_file_window(empty, file_ptr(inner.get()), 100, 0, no_abort());
  EXPECT_EQ(io_test::read_text(*empty, 10), "");
  EXPECT_THROW(open_file_window(wrapped, file_ptr(inner.get()), 10, ~std::uint64_t(0) - 5, no_abort()),
               qiv::exception_overflow);
  EXPECT_FALSE(wrapped);
}

TEST(FileWindow, NeverShowsBytesBeforeItsStart) {
  auto inner = make_model_file(hundred);
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  EXPECT_THROW(window->seek(81, no_abort()), exception_io_seek_out_of_range);
  // A position that would wrap past 2^64 lands before the window.
  EXPECT_THROW(window->seek(~std::uint64_t(0) - 10, no_abort()), exception_io_seek_out_of_range);
  // The inner file is shared: another holder may move it before the window.
  inner->position = 5;
  char buffer[8];
  EXPECT_THROW(window->read(buffer, sizeof buffer, no_abort()), exception_io_seek_out_of_range);
  EXPECT_THROW(window->get_position(no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(inner->position, 5u);
}

TEST(MemoryWriter, CollectsWritesInOrderAndStopsOnAbort) {
  memory_writer writer;
  writer.write("abc", 3, no_abort());
  writer.write("defgh", 5, no_abort());
  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(writer.write("x", 1, abort), exception_aborted);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.get_ptr()), writer.get_size()), "abcdefgh");
}

}  // namespace
