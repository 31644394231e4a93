// The buffered adapters: every byte arrives once and in order, whatever the
// sizes of the calls, and the source or target sees few calls.
#include "ui/support/buffered_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "core/io_exception_base.h"

namespace {

class counting_source final : public vantrel_io::reader {
public:
  explicit counting_source(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint32_t read(void* buffer, std::uint32_t count, const abort_signal&) override {
    ++calls;
    const std::size_t now = std::min<std::size_t>(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, now);
    position_ += now;
    return static_cast<std::uint32_t>(now);
  }
  int calls = 0;

private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class recording_target final : public vantrel_io::writer {
public:
  void write(const void* buffer, std::uint32_t count, const abort_signal&) override {
    writes.emplace_back(static_cast<const char*>(buffer), count);
  }
  std::string all() const {
    std::string out;
    for (const auto& w : writes) out += w;
    return out;
  }
  std::vector<std::string> writes;
};

const abort_signal& no_abort() { return never_raised_abort_signal(); }

TEST(BufferedReader, AShortSourceAnswersWhatItHadAndLaterReadsAnswerNothing) {
  counting_source source("abcdefghi");
  buffered_reader reader(source, 4);
  char out[16] = {};
  EXPECT_EQ(reader.read(out, 10, no_abort()), 9u);
  EXPECT_EQ(std::string(out, 9), "abcdefghi");
  EXPECT_EQ(reader.read(out, 3, no_abort()), 0u);
}

TEST(BufferedReader, SmallReadsAreServedFromTheBufferInOrder) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>('a' + i % 26);
  counting_source source(data);
  buffered_reader reader(source, 256);
  std::string got;
  char out[7];
  while (const std::uint32_t n = reader.read(out, sizeof(out), no_abort())) got.append(out, n);
  EXPECT_EQ(got, data);
  EXPECT_LE(source.calls, 6) << "one source read per buffer, plus one for each call that meets the end";
}

TEST(BufferedReader, ARaisedSignalStopsTheReadBeforeItTouchesTheSource) {
  counting_source source("abc");
  buffered_reader reader(source, 4);
  raisable_abort_signal abort;
  abort.raise();
  char out[3];
  EXPECT_THROW(reader.read(out, 3, abort), vantrel_io::exception_aborted);
  EXPECT_EQ(source.calls, 0);
}

TEST(BufferedWriter, SmallWritesGatherAndABlockOfTheBufferSizeFlushesPendingBytesFirst) {
  recording_target target;
  buffered_writer writer(target, 8);
  writer.write("abc", 3, no_abort());
  writer.write("de", 2, no_abort());
  EXPECT_TRUE(target.writes.empty());
  writer.write("12345678", 8, no_abort());
  ASSERT_EQ(target.writes.size(), 2u);
  EXPECT_EQ(target.writes[0], "abcde");
  EXPECT_EQ(target.writes[1], "12345678");
  // Filling the buffer exactly sends it at once.
  writer.write("wxyz", 4, no_abort());
  writer.write("WXYZ", 4, no_abort());
  ASSERT_EQ(target.writes.size(), 3u);
  EXPECT_EQ(target.writes[2], "wxyzWXYZ");
  writer.write("q", 1, no_abort());
  writer.flush(no_abort());
  writer.flush(no_abort());
  EXPECT_EQ(target.all(), "abcde12345678wxyzWXYZq");
  EXPECT_EQ(target.writes.size(), 4u) << "an empty buffer flushes nothing";
}

TEST(BufferedWriter, WritesThatStraddleTheBufferEndKeepEveryByteInOrder) {
  recording_target target;
  buffered_writer writer(target, 5);
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::string piece(static_cast<std::size_t>(i % 4 + 1), static_cast<char>('a' + i % 26));
    writer.write(piece.data(), static_cast<std::uint32_t>(piece.size()), no_abort());
    expected += piece;
  }
  writer.flush(no_abort());
  EXPECT_EQ(target.all(), expected);
}

}  // namespace
