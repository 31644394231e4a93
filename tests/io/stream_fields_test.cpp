#include "io/stream_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io_test_support.h"

namespace {

TEST(StreamFields, GuidsAndNumbersRoundTripInTheirFileLayoutAndShortDataFails) {
  const GUID guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  vantrel_io::stream_writer(*file, io_test::no_abort()).write_guid(guid).write_u32(0xA1B2C3D4);
  EXPECT_EQ(io_test::read_all(*file), std::string("\4\3\2\1\6\5\10\7\11\12\13\14\15\16\17\20\xD4\xC3\xB2\xA1", 20));
  file->seek(0, io_test::no_abort());
  GUID back = {};
  std::uint32_t number = 0;
  vantrel_io::stream_reader(*file, io_test::no_abort()).read_guid(back).read_u32(number);
  EXPECT_EQ(back, guid);
  EXPECT_EQ(number, 0xA1B2C3D4u);
  EXPECT_THROW(vantrel_io::stream_reader(*file, io_test::no_abort()).read_u32(number), vantrel_io::exception_io_data);
}

}  // namespace
