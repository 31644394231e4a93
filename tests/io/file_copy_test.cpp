#include "io/file_copy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::no_abort;
using io_test::pattern;

TEST(CopyStream, CopiesUpToTheCountOrTheSourceEnd) {
  auto source = make_model_file("0123456789");
  memory_writer destination;
  EXPECT_EQ(copy_stream(*source, destination, 4, no_abort()), 4u);
  EXPECT_EQ(copy_stream(*source, destination, 100, no_abort()), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(destination.get_ptr()), destination.get_size()), "0123456789");
  source->position = 5;
  EXPECT_THROW(copy_exact(*source, destination, 6, no_abort()), exception_io_data);
}

TEST(CopyBytes, OnlyALongCopyExtendsTheDestinationOnceFirst) {
  for (const std::uint64_t count : {1000u, 4096u}) {
    auto source = make_model_file(pattern(8192));
    auto destination = make_model_file(std::string(1000, '.'));
    destination->position = 1000;
    copy_bytes(*source, *destination, count, no_abort());
    EXPECT_EQ(destination->resizes, count > 1024 ? std::vector<std::uint64_t>{1000 + count} : std::vector<std::uint64_t>{});
    EXPECT_EQ(destination->bytes.substr(1000), pattern(count));
  }
}

TEST(CopyWholeFile, ASourceFailingAtAnyStepLeavesTheLongerDestinationWhole) {
  // Emptying or growing the destination before the data is read would lose
  // it on a read error; once copied, the destination is cut to the source.
  const std::string original = pattern(10000, 7);
  bool copied = false;
  for (int step = 1; !copied && step < 20; ++step) {
    auto source = make_model_file(pattern(5000));
    source->fail_at_step = step;
    auto destination = make_model_file(original);
    try {
      copy_whole_file(*source, *destination, no_abort());
      copied = true;
      EXPECT_TRUE(destination->bytes == source->bytes);
    } catch (const exception_io&) {
      EXPECT_TRUE(destination->bytes == original) << "source failed at step " << step;
    }
  }
  EXPECT_TRUE(copied);
}

TEST(CopyWholeFile, AnAbortStopsItOnlyBeforeTheShorterDestinationChanges) {
  auto source = make_model_file(pattern(3 * 1024 * 1024));
  auto destination = make_model_file(pattern(100, 7));
  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(copy_whole_file(*source, *destination, abort), exception_aborted);
  EXPECT_EQ(destination->bytes, pattern(100, 7));

  raisable_abort_signal later;
  source->before_read = [&](std::uint32_t) { later.raise(); };
  copy_whole_file(*source, *destination, later);
  EXPECT_TRUE(destination->bytes == source->bytes);
}

}  // namespace
