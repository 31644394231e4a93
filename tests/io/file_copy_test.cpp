#include "io/file_copy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

std::string pattern(std::size_t size, char seed) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(seed + i % 61);
  return content;
}

TEST(CopyStream, CopiesUpToTheCountOrTheSourceEnd) {
  auto source = make_model_file("0123456789");
  memory_writer destination;
  EXPECT_EQ(copy_stream(*source, destination, 4, no_abort()), 4u);
  EXPECT_EQ(copy_stream(*source, destination, 100, no_abort()), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(destination.get_ptr()), destination.get_size()), "0123456789");
  source->position = 5;
  EXPECT_THROW(copy_exact(*source, destination, 6, no_abort()), exception_io_data);
}

TEST(CopyBytes, ALongCopyExtendsTheDestinationOnceFirst) {
  auto source = make_model_file(pattern(8192, 'a'));
  auto destination = make_model_file(std::string(1000, '.'));
  destination->position = 1000;
  copy_bytes(*source, *destination, 4096, no_abort());
  EXPECT_EQ(destination->resizes, (std::vector<std::uint64_t>{5096}));
  EXPECT_EQ(destination->bytes.substr(1000), pattern(4096, 'a'));

  auto small = make_model_file(std::string(1000, '.'));
  small->position = 1000;
  source->position = 0;
  copy_bytes(*source, *small, 1000, no_abort());
  EXPECT_TRUE(small->resizes.empty());
  EXPECT_EQ(small->bytes.size(), 2000u);
}

TEST(CopyWholeFile, AShorterSourceCutsTheDestinationAfterwards) {
  auto source = make_model_file(pattern(3000, 'a'));
  auto destination = make_model_file(pattern(10000, 'k'));
  copy_whole_file(*source, *destination, no_abort());
  EXPECT_EQ(destination->bytes, source->bytes);
  EXPECT_EQ(destination->resizes, (std::vector<std::uint64_t>{3000}));
}

TEST(CopyWholeFile, AFailingSourceLeavesTheDestinationWhole) {
  // Emptying the destination before copying would lose it whole on any read
  // error.
  auto source = make_model_file(pattern(5000, 'a'));
  source->before_read = [](std::uint64_t) { throw_exception_io_from_win32(ERROR_CRC); };
  const std::string original = pattern(10000, 'k');
  auto destination = make_model_file(original);
  EXPECT_THROW(copy_whole_file(*source, *destination, no_abort()), exception_io_file_corrupted);
  EXPECT_EQ(destination->bytes, original);
  EXPECT_TRUE(destination->resizes.empty());
}

TEST(CopyWholeFile, AnAbortRaisedOnceTheDestinationChangesDoesNotCutTheCopyShort) {
  auto source = make_model_file(pattern(3 * 1024 * 1024, 'a'));
  auto destination = make_model_file(pattern(100, 'k'));
  raisable_abort_signal abort;
  source->before_read = [&](std::uint64_t) { abort.raise(); };
  copy_whole_file(*source, *destination, abort);
  EXPECT_EQ(destination->bytes == source->bytes, true);
}

TEST(CopyWholeFile, AnAbortRaisedBeforehandLeavesTheDestinationUntouched) {
  auto source = make_model_file(pattern(3000, 'a'));
  const std::string original = pattern(100, 'k');
  auto destination = make_model_file(original);
  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(copy_whole_file(*source, *destination, abort), exception_aborted);
  EXPECT_EQ(destination->bytes, original);
}

}  // namespace
