#include "io/stream_strings.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "model_file.h"

namespace {

TEST(ReadString, ABogusLengthFailsOnTheDataBeforeItIsAllocatedWhole) {
  auto file = io_test::make_model_file(io_test::pattern(100000));
  qiv::string_buffer text;
  EXPECT_THROW(vantrel_io::stream::read_string(*file, 0x7FFFFFFF, io_test::no_abort(), text),
               vantrel_io::exception_io_data);
  // 64 KiB, then the step to 128 KiB, which the data cannot fill.
  ASSERT_EQ(file->reads.size(), 2u);
  EXPECT_EQ(file->reads[1].asked, 65536u);
}

}  // namespace
