#include "io/seek_history_file.h"

#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "recording_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_recording_file;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

std::string pattern(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 131 + i / 256);
  return bytes;
}

std::string read_text(file_object& file, std::uint32_t bytes) {
  std::string text(bytes, '\0');
  text.resize(file.read(text.data(), bytes, no_abort()));
  return text;
}

// A remote stream that cannot seek, behind a seek-history file.
struct remote_stream {
  explicit remote_stream(std::size_t length, bool seekable = false) : content(pattern(length)) {
    inner = make_recording_file(content);
    inner->remote = true;
    inner->seekable = seekable;
    file = file_ptr(inner.get());
    seek_history_file::wrap_if_remote(file);
  }
  std::string content;
  service_ptr<io_test::recording_file> inner;
  file_ptr file;
};

TEST(SeekHistoryFile, StepsBackWithinTheLastSixteenKibibytesWithoutTouchingTheStream) {
  remote_stream stream(30000);
  ASSERT_NE(stream.file.get(), static_cast<file_object*>(stream.inner.get()));
  EXPECT_EQ(read_text(*stream.file, 20000), stream.content.substr(0, 20000));
  const std::size_t reads = stream.inner->reads.size();

  stream.file->seek(10000, no_abort());
  EXPECT_EQ(read_text(*stream.file, 100), stream.content.substr(10000, 100));
  // The oldest byte still held is 20,000 - 16,384 = 3,616.
  stream.file->seek(3616, no_abort());
  EXPECT_EQ(read_text(*stream.file, 16), stream.content.substr(3616, 16));
  EXPECT_EQ(stream.inner->reads.size(), reads);
  EXPECT_EQ(stream.inner->rewinds, 0);
}

TEST(SeekHistoryFile, ReadAcrossTheNewestHeldByteContinuesFromTheStream) {
  remote_stream stream(30000);
  read_text(*stream.file, 20000);
  stream.file->seek(19990, no_abort());
  EXPECT_EQ(read_text(*stream.file, 30), stream.content.substr(19990, 30));
  EXPECT_EQ(stream.file->get_position(no_abort()), 20020u);
  stream.file->seek(19000, no_abort());
  EXPECT_EQ(read_text(*stream.file, 1020), stream.content.substr(19000, 1020));
}

TEST(SeekHistoryFile, SeekBeforeTheHistoryRestartsTheStreamAndKeepsWhatItPassesOver) {
  remote_stream stream(30000);
  read_text(*stream.file, 20000);
  stream.file->seek(3000, no_abort());
  EXPECT_EQ(stream.inner->rewinds, 1);
  stream.inner->reads.clear();
  EXPECT_EQ(read_text(*stream.file, 100), stream.content.substr(3000, 100));
  ASSERT_EQ(stream.inner->reads.size(), 4u);
  EXPECT_EQ(stream.inner->reads[0].asked, 1024u);
  EXPECT_EQ(stream.inner->reads[1].asked, 1024u);
  EXPECT_EQ(stream.inner->reads[2].asked, 952u);
  EXPECT_EQ(stream.inner->reads[3].asked, 100u);
  // What was passed over is held: stepping back to byte 0 costs nothing.
  stream.file->rewind(no_abort());
  EXPECT_EQ(read_text(*stream.file, 10), stream.content.substr(0, 10));
  EXPECT_EQ(stream.inner->reads.size(), 4u);
  EXPECT_EQ(stream.inner->rewinds, 1);
}

TEST(SeekHistoryFile, LongForwardSeekOnAStreamReadsOverTheGapInSteps) {
  remote_stream stream(1100000);
  stream.file->seek(1000000, no_abort());
  EXPECT_TRUE(stream.inner->reads.empty());
  EXPECT_EQ(read_text(*stream.file, 8), stream.content.substr(1000000, 8));
  // 976 full steps, one of 576 bytes, then the request itself.
  EXPECT_EQ(stream.inner->reads.size(), 978u);
  EXPECT_EQ(stream.inner->reads[976].asked, 576u);
  stream.file->seek(999000, no_abort());
  EXPECT_EQ(read_text(*stream.file, 8), stream.content.substr(999000, 8));
  EXPECT_EQ(stream.inner->reads.size(), 978u);
}

TEST(SeekHistoryFile, LongForwardSeekOnASeekableRemoteFileSeeksCloseToTheTarget) {
  remote_stream stream(1100000, true);
  stream.file->seek(1000000, no_abort());
  EXPECT_EQ(read_text(*stream.file, 8), stream.content.substr(1000000, 8));
  ASSERT_EQ(stream.inner->reads.size(), 2u);
  EXPECT_EQ(stream.inner->reads[0].position, 1000000u - 1024u);
  // Even right after that jump, a short step back is served from what was kept.
  stream.file->seek(999500, no_abort());
  EXPECT_EQ(read_text(*stream.file, 8), stream.content.substr(999500, 8));
  EXPECT_EQ(stream.inner->reads.size(), 2u);
}

TEST(SeekHistoryFile, IsReadOnlyAndKnowsTheSizeItWasMadeWith) {
  remote_stream stream(500);
  EXPECT_THROW(stream.file->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(stream.file->resize(0, no_abort()), exception_io_denied);
  EXPECT_EQ(stream.file->get_size(no_abort()), 500u);
  EXPECT_TRUE(stream.file->can_seek());
  EXPECT_THROW(stream.file->seek(501, no_abort()), exception_io_seek_out_of_range);
  EXPECT_TRUE(stream.file->is_remote());
}

TEST(SeekHistoryFile, LocalFilesAreNotWrapped) {
  auto local = make_recording_file("abc");
  file_ptr file(local.get());
  seek_history_file::wrap_if_remote(file);
  EXPECT_EQ(file.get(), static_cast<file_object*>(local.get()));
}

}  // namespace
