#include "io/read_ahead_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/path_schemes.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;
using io_test::read_text;

file_ptr wrap(const service_ptr<io_test::model_file>& inner, std::uint32_t max_chunk) {
  file_ptr file;
  read_ahead_file::create(file, file_ptr(inner.get()), max_chunk, no_abort());
  return file;
}

// Buffers of closed files are handed to the next ones: a file must never
// show bytes another file left in its buffer, short files and empty ones
// included, nor files that live side by side.
TEST(ReadAheadFile, ABufferHandedOnShowsOnlyItsNewFilesBytes) {
  const std::string long_text = io_test::pattern(200000, 1);
  {
    file_ptr first = wrap(make_model_file(long_text), 65536);
    EXPECT_TRUE(io_test::read_all(*first) == long_text);
  }
  for (const std::string& text : {std::string("short"), std::string(), io_test::pattern(70000, 2)}) {
    file_ptr next = wrap(make_model_file(text), 65536);
    file_ptr beside = wrap(make_model_file(long_text), 65536);
    EXPECT_TRUE(io_test::read_all(*next) == text) << text.size();
    char byte;
    EXPECT_EQ(next->read(&byte, 1, no_abort()), 0u) << "nothing past the end of " << text.size();
    next->seek(0, no_abort());
    EXPECT_EQ(read_text(*next, 3), text.substr(0, 3));
    EXPECT_EQ(read_text(*beside, 10), long_text.substr(0, 10));
  }
}

TEST(ReadAheadFile, FailedWriteLeavesNoStaleBytesAndThePositionWhereItWas) {
  auto inner = make_model_file(std::string(10000, 'A'));
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
  const std::string expected = std::string(10, 'A') + "CB" + std::string(8, 'A');
  EXPECT_EQ(read_text(*file, 20), expected);
  EXPECT_EQ(inner->bytes.substr(0, 20), expected);
}

TEST(ReadAheadFile, AnInnerFailureAtAnyStepLeavesNoStaleBufferBehind) {
  const std::string bytes = io_test::pattern(50000);
  for (int step = 1; step < 12; ++step) {
    auto inner = make_model_file(bytes);
    file_ptr file = wrap(inner, 65536);
    inner->fail_at_step = step;
    for (const std::uint32_t length : {1u, 5000u, 20000u, 30000u}) {
      const std::uint64_t before = file->get_position(no_abort());
      std::string got;
      if (!io_test::failure_of([&] { got = read_text(*file, length); }).empty()) {
        // What was delivered before the failure is behind the position.
        const std::uint64_t now = file->get_position(no_abort());
        ASSERT_TRUE(now >= before && now <= before + length) << step;
        got = bytes.substr(before, now - before) + read_text(*file, length - static_cast<std::uint32_t>(now - before));
      }
      ASSERT_TRUE(got == bytes.substr(before, length)) << "failed at step " << step << ", read from " << before;
    }
  }
}

// Random writes, seeks, resizes and reads through the buffered file must give
// exactly what the same operations give on a plain byte array.
void check_against_byte_model(file_object& file, std::uint32_t seed, int operations, std::uint32_t largest_size,
                              std::string& model) {
  std::mt19937 random(seed);
  const auto pick = [&](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
  };
  std::uint64_t position = 0;
  for (int step = 0; step < operations; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const std::uint32_t choice = pick(0, 9);
    if (choice < 2) {
      const std::string bytes = io_test::pattern(pick(1, pick(0, 3) == 0 ? 70000 : 300), pick(0, 255));
      file.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), no_abort());
      if (model.size() < position + bytes.size()) model.resize(position + bytes.size());
      model.replace(position, bytes.size(), bytes);
      position += bytes.size();
    } else if (choice < 5) {
      // Short hops stay inside the buffered bytes.
      const std::int64_t hop = static_cast<std::int64_t>(pick(0, 8192)) - 4096;
      const std::int64_t end = static_cast<std::int64_t>(model.size());
      position = choice == 4 ? std::clamp<std::int64_t>(static_cast<std::int64_t>(position) + hop, 0, end)
                             : pick(0, static_cast<std::uint32_t>(end));
      file.seek(position, no_abort());
    } else if (choice == 5) {
      // Bytes a file gains by growing are not defined: write them.
      const std::uint32_t old_size = static_cast<std::uint32_t>(model.size()), size = pick(0, largest_size);
      file.resize(size, no_abort());
      model.resize(size, '\0');
      position = std::min<std::uint64_t>(position, size);
      if (size > old_size) {
        file.seek(old_size, no_abort());
        file.write(model.data() + old_size, static_cast<std::uint32_t>(size - old_size), no_abort());
        file.seek(position, no_abort());
      }
    } else {
      const std::uint32_t asked = pick(0, pick(0, 3) == 0 ? 100000 : 600);
      const std::string got = read_text(file, asked);
      ASSERT_TRUE(got == model.substr(position, asked));
      position += got.size();
    }
    ASSERT_EQ(file.get_size(no_abort()), model.size());
    ASSERT_EQ(file.get_position(no_abort()), position);
  }
}

TEST(ReadAheadFile, MixedOperationsOnNativeFilesMatchAPlainByteModel) {
  io_test::build_registry();
  io_test::scratch_folder folder;
  // The buffer native files are handed out with, and the smallest chunks.
  for (const std::uint32_t seed : {1u, 7u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    file_ptr file;
    if (seed == 7) {
      const HANDLE handle = CreateFileW(io_test::wide(folder.path("model.bin")).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        0, nullptr, CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, nullptr);
      read_ahead_file::create(file, make_native_file(handle, true), 4096, no_abort());
    } else {
      open(file, folder.file_url("model.bin").c_str(), open_mode::write_new, no_abort());
      ASSERT_TRUE(service_query<read_ahead_file>(file.get())) << "native files are handed out buffered";
    }
    std::string model;
    check_against_byte_model(*file, seed, 3000, seed == 7 ? 30000 : 400000, model);
    if (HasFatalFailure()) return;
    file.reset();
    EXPECT_TRUE(io_test::read_file(folder.path("model.bin")) == model);
  }
}

}  // namespace
