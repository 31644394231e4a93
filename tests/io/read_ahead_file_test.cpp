#include "io/read_ahead_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/native_file.h"
#include "io/path_schemes.h"
#include "io_test_support.h"
#include "recording_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_recording_file;
using io_test::read_call;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

std::string pattern(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

std::string read_text(file_object& file, std::uint32_t bytes) {
  std::string text(bytes, '\0');
  text.resize(file.read(text.data(), bytes, no_abort()));
  return text;
}

file_ptr wrap(const service_ptr<io_test::recording_file>& inner, std::uint32_t max_chunk) {
  file_ptr file;
  read_ahead_file::create(file, file_ptr(inner.get()), max_chunk, no_abort());
  return file;
}

bool same_calls(const std::vector<read_call>& calls, const std::vector<read_call>& expected) {
  if (calls.size() != expected.size()) return false;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].position != expected[i].position || calls[i].asked != expected[i].asked ||
        calls[i].got != expected[i].got)
      return false;
  }
  return true;
}

TEST(ReadAheadFile, ChunksDoubleFromFourKibibytesAndServeSmallReadsFromTheBuffer) {
  const std::string content = pattern(10000);
  auto inner = make_recording_file(content);
  file_ptr file = wrap(inner, 262144);

  EXPECT_EQ(read_text(*file, 1), content.substr(0, 1));
  EXPECT_TRUE(same_calls(inner->reads, {{0, 4096, 4096}}));
  EXPECT_EQ(read_text(*file, 5000), content.substr(1, 5000));
  // 4,095 bytes came from the buffer, 905 from the next chunk of 8,192.
  EXPECT_TRUE(same_calls(inner->reads, {{0, 4096, 4096}, {4096, 8192, 5904}}));
  EXPECT_EQ(file->get_position(no_abort()), 5001u);
}

TEST(ReadAheadFile, RequestsOfAWholeChunkOrMoreSkipTheBuffer) {
  const std::string content = pattern(300000);
  auto inner = make_recording_file(content);
  file_ptr file = wrap(inner, 65536);
  EXPECT_EQ(read_text(*file, 10), content.substr(0, 10));
  EXPECT_EQ(read_text(*file, 100000), content.substr(10, 100000));
  // The buffered rest of the first chunk, then one read for all the others.
  EXPECT_TRUE(same_calls(inner->reads, {{0, 4096, 4096}, {4096, 95914, 95914}}));
  EXPECT_EQ(read_text(*file, 10), content.substr(100010, 10));
  EXPECT_EQ(inner->reads.back().position, 100010u);
  EXPECT_EQ(file->get_position(no_abort()), 100020u);
}

TEST(ReadAheadFile, SeeksInsideTheBufferCostNothingAndOthersStartTheChunksAgain) {
  const std::string content = pattern(100000);
  auto inner = make_recording_file(content);
  file_ptr file = wrap(inner, 65536);
  read_text(*file, 3000);
  file->seek(2900, no_abort());
  EXPECT_EQ(read_text(*file, 100), content.substr(2900, 100));
  file->seek(4096, no_abort());  // the very end of the buffered bytes
  EXPECT_EQ(inner->reads.size(), 1u);

  file->seek(50000, no_abort());
  EXPECT_EQ(read_text(*file, 10), content.substr(50000, 10));
  EXPECT_TRUE(same_calls(inner->reads, {{0, 4096, 4096}, {50000, 4096, 4096}}));
  EXPECT_THROW(file->seek(100001, no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(file->get_position(no_abort()), 50010u);
}

TEST(ReadAheadFile, WrappingReusesMemoryFilesAndExistingBuffersRaisingTheirMaximum) {
  file_ptr memory = make_memory_file();
  file_ptr same;
  read_ahead_file::create(same, memory, 65536, no_abort());
  EXPECT_EQ(same.get(), memory.get());

  file_ptr buffered = wrap(make_recording_file("abc"), 65536);
  file_ptr again = buffered;
  read_ahead_file::wrap(again, 262144, no_abort());
  EXPECT_EQ(again.get(), buffered.get());
  EXPECT_EQ(service_query<read_ahead_file>(again.get())->get_max_chunk(), 262144u);
  read_ahead_file::wrap(again, 16384, no_abort());
  EXPECT_EQ(service_query<read_ahead_file>(again.get())->get_max_chunk(), 262144u);
}

TEST(ReadAheadFile, OnlyLocalSeekableFilesAreWrappedForLocalReading) {
  auto remote = make_recording_file("abc");
  remote->remote = true;
  auto stream = make_recording_file("abc");
  stream->seekable = false;
  auto local = make_recording_file("abc");
  for (auto* inner : {&remote, &stream, &local}) {
    file_ptr file((*inner).get());
    read_ahead_file::wrap_if_local(file, no_abort());
    const bool wrapped = file.get() != (*inner).get();
    EXPECT_EQ(wrapped, inner == &local);
    if (wrapped) {
      EXPECT_EQ(service_query<read_ahead_file>(file.get())->get_max_chunk(), 262144u);
    }
  }
}

TEST(ReadAheadFile, UnseekableStreamIsReadInOrderAndRefusesSeeks) {
  const std::string content = pattern(20000);
  auto inner = make_recording_file(content);
  inner->seekable = false;
  file_ptr file = wrap(inner, 65536);
  EXPECT_FALSE(file->can_seek());
  EXPECT_EQ(read_text(*file, 15000), content.substr(0, 15000));
  EXPECT_THROW(file->seek(0, no_abort()), exception_io_object_not_seekable);
  file->rewind(no_abort());
  EXPECT_EQ(inner->rewinds, 1);
  EXPECT_EQ(read_text(*file, 10), content.substr(0, 10));
}

TEST(ReadAheadFile, FailedWriteLeavesNoStaleBytesAndThePositionWhereItWas) {
  auto inner = make_recording_file(std::string(10000, 'A'));
  file_ptr file = wrap(inner, 65536);
  read_text(*file, 100);  // the buffer holds the first 4 KiB
  file->seek(10, no_abort());
  inner->fail_write_after = 2;
  EXPECT_THROW(file->write("BBBB", 4, no_abort()), exception_io_device_full);
  inner->fail_write_after = ~std::uint64_t(0);
  EXPECT_EQ(file->get_position(no_abort()), 10u);
  // The inner file moved two bytes; the next transfer must not trust where
  // the wrapper last saw it.
  file->write("C", 1, no_abort());
  file->seek(0, no_abort());
  EXPECT_EQ(read_text(*file, 20), std::string(10, 'A') + "CB" + std::string(8, 'A'));
  EXPECT_EQ(inner->content().substr(0, 20), std::string(10, 'A') + "CB" + std::string(8, 'A'));
}

TEST(ReadAheadFile, WrappingKeepsThePositionTheInnerFileHad) {
  auto inner = make_recording_file(pattern(5000));
  inner->seek(1000, no_abort());
  file_ptr file = wrap(inner, 65536);
  EXPECT_EQ(file->get_position(no_abort()), 1000u);
  EXPECT_EQ(read_text(*file, 5), pattern(5000).substr(1000, 5));
}

// Mixed writes, seeks, resizes and reads through the buffered file must give
// exactly what the same operations give on a plain byte array.
class buffered_file_model_check {
public:
  buffered_file_model_check(file_ptr file, std::uint32_t seed) : file_(std::move(file)), random_(seed) {}

  void run(int operations, std::uint32_t largest_size) {
    for (int step = 0; step < operations; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      switch (pick(0, 9)) {
        case 0:
        case 1: write(pick(1, pick(0, 3) == 0 ? 70000 : 300)); break;
        case 2:
        case 3: seek(pick(0, static_cast<std::uint32_t>(model_.size()))); break;
        case 4: seek_near_position(); break;
        case 5: resize(pick(0, largest_size)); break;
        default: read(pick(0, pick(0, 3) == 0 ? 100000 : 600)); break;
      }
      ASSERT_EQ(file_->get_size(no_abort()), model_.size());
      ASSERT_EQ(file_->get_position(no_abort()), position_);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  const std::string& model() const { return model_; }
  // Closes the file, so that its content can be compared on disk.
  void close() { file_.reset(); }

private:
  std::uint32_t pick(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random_);
  }

  void write(std::uint32_t length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(pick(0, 255));
    file_->write(bytes.data(), length, no_abort());
    if (model_.size() < position_ + length) model_.resize(position_ + length);
    model_.replace(position_, length, bytes);
    position_ += length;
  }

  void seek(std::uint64_t position) {
    file_->seek(position, no_abort());
    position_ = position;
  }

  // Short hops back and forth stay inside the buffered bytes.
  void seek_near_position() {
    const std::int64_t hop = static_cast<std::int64_t>(pick(0, 8192)) - 4096;
    const std::int64_t target = std::clamp<std::int64_t>(static_cast<std::int64_t>(position_) + hop, 0,
                                                         static_cast<std::int64_t>(model_.size()));
    seek(static_cast<std::uint64_t>(target));
  }

  void resize(std::uint32_t size) {
    file_->resize(size, no_abort());
    // Bytes a file gains by growing are not defined; the model makes them
    // zeros and only a file that wrote them is compared there, so write them.
    const std::size_t old_size = model_.size();
    model_.resize(size, '\0');
    position_ = std::min<std::uint64_t>(position_, size);
    if (size > old_size) {
      const std::uint64_t keep = position_;
      file_->seek(old_size, no_abort());
      file_->write(model_.data() + old_size, static_cast<std::uint32_t>(size - old_size), no_abort());
      file_->seek(keep, no_abort());
    }
  }

  void read(std::uint32_t length) {
    std::string bytes(length, '\0');
    const std::uint32_t got = file_->read(bytes.data(), length, no_abort());
    const std::uint64_t expected_count = std::min<std::uint64_t>(length, model_.size() - position_);
    ASSERT_EQ(got, expected_count);
    ASSERT_EQ(bytes.substr(0, got), model_.substr(position_, got));
    position_ += got;
  }

  file_ptr file_;
  std::mt19937 random_;
  std::string model_;
  std::uint64_t position_ = 0;
};

TEST(ReadAheadFile, MixedOperationsOnANativeFileMatchAPlainByteModel) {
  file_scheme_handler();  // links the "file://" scheme's registration
  io_test::build_registry();
  io_test::scratch_folder folder;
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    file_ptr file;
    open(file, folder.file_url("model.bin").c_str(), open_mode::write_new, no_abort());
    ASSERT_TRUE(service_query<read_ahead_file>(file.get())) << "native files are handed out buffered";
    buffered_file_model_check check(file, seed);
    check.run(3000, 400000);
    if (HasFatalFailure()) return;
    file.reset();
    check.close();
    EXPECT_EQ(io_test::read_file(folder.path("model.bin")), check.model());
  }
}

TEST(ReadAheadFile, MixedOperationsWithTheSmallestChunksMatchAPlainByteModel) {
  io_test::scratch_folder folder;
  const std::string path = folder.path("small.bin");
  const HANDLE handle = CreateFileW(io_test::wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  file_ptr file;
  read_ahead_file::create(file, make_native_file(handle, true), 4096, no_abort());
  buffered_file_model_check check(file, 7);
  check.run(4000, 30000);
  if (HasFatalFailure()) return;
  file.reset();
  check.close();
  EXPECT_EQ(io_test::read_file(path), check.model());
}

}  // namespace
