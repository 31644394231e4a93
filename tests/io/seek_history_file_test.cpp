#include "io/seek_history_file.h"

#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;
using io_test::read_text;

// A remote stream behind a seek-history file.
struct remote_stream {
  explicit remote_stream(std::size_t length, bool seekable = false)
      : content(io_test::pattern(length)), inner(io_test::make_model_file(content)) {
    inner->remote = true;
    inner->seekable = seekable;
    file = file_ptr(inner.get());
    seek_history_file::wrap_if_remote(file);
  }
  std::string read(std::uint64_t position, std::uint32_t bytes) {
    file->seek(position, no_abort());
    const std::string got = read_text(*file, bytes);
    EXPECT_EQ(got, content.substr(position, bytes)) << position;
    return got;
  }
  std::string content;
  service_ptr<io_test::model_file> inner;
  file_ptr file;
};

TEST(SeekHistoryFile, StepsBackWithinTheLastSixteenKibibytesWithoutTouchingTheStream) {
  remote_stream stream(30000);
  ASSERT_NE(stream.file.get(), static_cast<file_object*>(stream.inner.get()));
  stream.read(0, 20000);
  const std::size_t reads = stream.inner->reads.size();
  stream.read(10000, 100);
  stream.read(3616, 16);  // the oldest byte still held: 20,000 - 16,384
  EXPECT_EQ(stream.inner->reads.size(), reads);
  EXPECT_EQ(stream.inner->rewinds, 0);
  // Across the newest held byte the read goes on from the stream.
  stream.read(19990, 30);
  EXPECT_EQ(stream.file->get_position(no_abort()), 20020u);
  stream.read(19000, 1020);
}

TEST(SeekHistoryFile, SeekBeforeTheHistoryRestartsTheStreamAndKeepsWhatItPassesOver) {
  remote_stream stream(30000);
  stream.read(0, 20000);
  stream.inner->reads.clear();
  stream.read(3000, 100);
  EXPECT_EQ(stream.inner->rewinds, 1);
  ASSERT_EQ(stream.inner->reads.size(), 4u);
  EXPECT_EQ(stream.inner->reads[2].asked, 952u);  // 1 KiB steps up to 3,000, then the request
  EXPECT_EQ(stream.inner->reads[3].asked, 100u);
  // What was passed over is held: stepping back to byte 0 costs nothing.
  stream.file->rewind(no_abort());
  EXPECT_EQ(read_text(*stream.file, 10), stream.content.substr(0, 10));
  EXPECT_EQ(stream.inner->reads.size(), 4u);
  EXPECT_EQ(stream.inner->rewinds, 1);
}

TEST(SeekHistoryFile, LongForwardSeeksReadOverTheGapOnAStreamAndSeekNearTheTargetOtherwise) {
  remote_stream stream(1100000);
  stream.file->seek(1000000, no_abort());
  EXPECT_TRUE(stream.inner->reads.empty());
  stream.read(1000000, 8);
  // 976 full steps, one of 576 bytes, then the request itself.
  ASSERT_EQ(stream.inner->reads.size(), 978u);
  EXPECT_EQ(stream.inner->reads[976].asked, 576u);
  stream.read(999000, 8);
  EXPECT_EQ(stream.inner->reads.size(), 978u);

  remote_stream seekable(1100000, true);
  seekable.read(1000000, 8);
  ASSERT_EQ(seekable.inner->reads.size(), 2u);
  EXPECT_EQ(seekable.inner->reads[0].position, 1000000u - 1024u);
  // Even right after that jump, a short step back is served from what was kept.
  seekable.read(999500, 8);
  EXPECT_EQ(seekable.inner->reads.size(), 2u);
}

TEST(SeekHistoryFile, IsReadOnlyBoundedByItsSizeAndOnlyWrapsRemoteFiles) {
  remote_stream stream(500);
  EXPECT_THROW(stream.file->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(stream.file->resize(0, no_abort()), exception_io_denied);
  EXPECT_THROW(stream.file->seek(501, no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(stream.inner->bytes, stream.content);

  auto local = io_test::make_model_file("abc");
  file_ptr file(local.get());
  seek_history_file::wrap_if_remote(file);
  EXPECT_EQ(file.get(), static_cast<file_object*>(local.get()));
}

}  // namespace
