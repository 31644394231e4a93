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

}  // namespace
