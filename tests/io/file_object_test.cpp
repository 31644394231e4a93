#include "io/file_object.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/exceptions.h"
#include "io/file_window.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

std::string hundred_bytes() {
  std::string content;
  for (int i = 0; i < 100; ++i) content += static_cast<char>(i);
  return content;
}

TEST(SeekFromOrigin, MovesFromTheStartThePositionOrTheEnd) {
  auto file = make_model_file(hundred_bytes());
  file->seek_from_origin(-10, 2, no_abort());
  EXPECT_EQ(file->position, 90u);
  file->seek_from_origin(-30, 1, no_abort());
  EXPECT_EQ(file->position, 60u);
  file->seek_from_origin(5, 0, no_abort());
  EXPECT_EQ(file->position, 5u);
  file->rewind(no_abort());
  EXPECT_EQ(file->position, 0u);
}

TEST(SeekFromOrigin, RefusesAnUnknownEndAnUnknownOriginAndAPlaceBeforeTheStart) {
  auto file = make_model_file(hundred_bytes());
  EXPECT_THROW(file->seek_from_origin(0, 3, no_abort()), exception_io_data);
  EXPECT_THROW(file->seek_from_origin(-1, 0, no_abort()), exception_io_seek_out_of_range);
  EXPECT_THROW(file->seek_from_origin(-101, 2, no_abort()), exception_io_seek_out_of_range);
  file->size_known = false;
  EXPECT_THROW(file->seek_from_origin(-10, 2, no_abort()), exception_io_no_length);
}

TEST(ReadExact, AShortReadIsADataError) {
  auto file = make_model_file("abcdef");
  char buffer[8];
  file->read_exact(buffer, 4, no_abort());
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_THROW(file->read_exact(buffer, 3, no_abort()), exception_io_data);
}

TEST(Skip, ShortSkipsAreReadAndLongOnesSeek) {
  auto file = make_model_file(std::string(500, 'x'));
  EXPECT_EQ(file->skip(1000, no_abort()), 500u);
  EXPECT_EQ(file->seeks, 0);
  EXPECT_FALSE(file->read_requests.empty());

  file->position = 0;
  file->read_requests.clear();
  EXPECT_EQ(file->skip(5000, no_abort()), 500u);
  EXPECT_EQ(file->position, 500u);
  EXPECT_TRUE(file->read_requests.empty());

  file->position = 0;
  EXPECT_THROW(file->skip_exact(5000, no_abort()), exception_io_data);
  file->position = 0;
  EXPECT_NO_THROW(file->skip_exact(500, no_abort()));
}

TEST(Skip, StreamsThatCannotSeekAreReadThrough) {
  auto file = make_model_file(std::string(3000, 'x'));
  file->seekable = false;
  EXPECT_EQ(file->skip(2000, no_abort()), 2000u);
  EXPECT_EQ(file->position, 2000u);
  file->size_known = false;
  file->seekable = true;
  EXPECT_EQ(file->skip(5000, no_abort()), 1000u);
  EXPECT_EQ(file->seeks, 0);
}

TEST(FileHelpers, RemainingEndAndTruncation) {
  auto file = make_model_file(hundred_bytes());
  file->position = 30;
  EXPECT_EQ(file->get_remaining(no_abort()), 70u);
  EXPECT_FALSE(file->is_at_end(no_abort()));
  file->position = 100;
  EXPECT_TRUE(file->is_at_end(no_abort()));

  file->truncate_if_larger(200, no_abort());
  EXPECT_TRUE(file->resizes.empty());
  file->truncate_if_larger(40, no_abort());
  EXPECT_EQ(file->bytes.size(), 40u);

  file->size_known = false;
  EXPECT_THROW(file->get_remaining(no_abort()), exception_io_no_length);
  EXPECT_FALSE(file->is_at_end(no_abort()));
  file->truncate_if_larger(10, no_abort());  // an unknown size counts as larger
  EXPECT_EQ(file->bytes.size(), 10u);
}

TEST(FileWindow, ShowsItsBytesAsAWholeFile) {
  auto inner = make_model_file(hundred_bytes());
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  EXPECT_EQ(window->get_size(no_abort()), 30u);
  EXPECT_EQ(window->get_position(no_abort()), 0u);
  unsigned char buffer[64];
  window->read_exact(buffer, 5, no_abort());
  EXPECT_EQ(buffer[0], 20);
  EXPECT_EQ(buffer[4], 24);
  window->rewind(no_abort());
  EXPECT_EQ(inner->position, 20u);
}

TEST(FileWindow, ReadsStopAtTheWindowEnd) {
  auto inner = make_model_file(hundred_bytes());
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  window->seek(20, no_abort());
  unsigned char buffer[64];
  EXPECT_EQ(window->read(buffer, sizeof buffer, no_abort()), 10u);
  EXPECT_EQ(buffer[9], 49);
  EXPECT_EQ(window->read(buffer, sizeof buffer, no_abort()), 0u);
  // Past the window's end, while the inner file is long enough.
  window->seek(40, no_abort());
  EXPECT_EQ(window->read(buffer, sizeof buffer, no_abort()), 0u);
  EXPECT_THROW(window->seek(81, no_abort()), exception_io_seek_out_of_range);
}

TEST(FileWindow, AnInnerFileMovedBeforeTheWindowIsNotReadThrough) {
  // The inner file is shared: another holder may move it before the window.
  auto inner = make_model_file(hundred_bytes());
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  inner->position = 5;
  char buffer[8];
  EXPECT_THROW(window->read(buffer, sizeof buffer, no_abort()), exception_io_seek_out_of_range);
  EXPECT_THROW(window->get_position(no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(inner->position, 5u);
}

TEST(FileWindow, ASeekThatWouldWrapPastTheTopIsRefused) {
  auto inner = make_model_file(hundred_bytes());
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  EXPECT_THROW(window->seek(~std::uint64_t(0) - 10, no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(inner->position, 20u);
}

TEST(FileWindow, IsReadOnlyAndRefusesWindowsPastTheTop) {
  auto inner = make_model_file(hundred_bytes());
  file_ptr window;
  open_file_window(window, file_ptr(inner.get()), 20, 30, no_abort());
  EXPECT_THROW(window->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(window->resize(5, no_abort()), exception_io_denied);
  EXPECT_EQ(inner->bytes, hundred_bytes());

  file_ptr wrapped;
  EXPECT_THROW(open_file_window(wrapped, file_ptr(inner.get()), 10, ~std::uint64_t(0) - 5, no_abort()),
               qiv::exception_overflow);
  EXPECT_FALSE(wrapped);
}

TEST(MemoryWriter, CollectsWritesInOrder) {
  memory_writer writer;
  writer.write("abc", 3, no_abort());
  writer.write("defgh", 5, no_abort());
  ASSERT_EQ(writer.get_size(), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(writer.get_ptr()), 8), "abcdefgh");
  writer.init();
  EXPECT_EQ(writer.get_size(), 0u);
}

}  // namespace
