#include "io/file_copy.h"

#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;
using io_test::pattern;

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
      copy_whole_file(*source, *destination, io_test::no_abort());
      copied = true;
      EXPECT_TRUE(destination->bytes == source->bytes);
    } catch (const exception_io&) {
      EXPECT_TRUE(destination->bytes == original) << "source failed at step " << step;
    }
  }
  EXPECT_TRUE(copied);
}

TEST(CopyWholeFile, AShorterDestinationIsGrownFirstSoAFullDiskChangesNothing) {
  const std::string original = pattern(3000, 7);
  struct grow_case {
    const char* why;
    std::uint64_t capacity;
    int source_fails_at;
  };
  const grow_case cases[] = {
      {"the disk holds less than the copy", 4000, 0},
      {"the disk holds nothing more", 3000, 0},
      {"the source fails at its first read", ~std::uint64_t(0), 2},
  };
  for (const grow_case& c : cases) {
    auto source = make_model_file(pattern(5000));
    source->fail_at_step = c.source_fails_at;
    auto destination = make_model_file(original);
    destination->capacity = c.capacity;
    EXPECT_THROW(copy_whole_file(*source, *destination, io_test::no_abort()), exception_io) << c.why;
    EXPECT_TRUE(destination->bytes == original) << c.why;
  }
}

}  // namespace
