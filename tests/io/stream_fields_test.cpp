// The field encodings over the file layer's streams.
#include <gtest/gtest.h>

#include <string>

#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "io/memory_writer.h"
#include "io/stream_fields.h"

namespace {

const abort_signal& no_abort = never_raised_abort_signal();

std::string written(const vantrel_io::memory_writer& out) {
  return std::string(reinterpret_cast<const char*>(out.get_ptr()), out.get_size());
}

TEST(StreamFields, StringsAreTheirLengthThenTheBytesUpToTheFirstNul) {
  vantrel_io::memory_writer out;
  vantrel_io::stream_writer fields(out, no_abort);
  fields.write_string(qiv::string_buffer("")).write_string(qiv::string_buffer("abc"));
  EXPECT_EQ(written(out), std::string("\0\0\0\0\3\0\0\0abc", 11));
}

TEST(StreamFields, GuidsAndNumbersRoundTripInTheirFileLayout) {
  const GUID guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  vantrel_io::stream_writer(*file, no_abort).write_guid(guid).write_u32(0xA1B2C3D4);
  file->seek(0, no_abort);
  char raw[20];
  file->read_exact(raw, 20, no_abort);
  EXPECT_EQ(std::string(raw, 20), std::string("\4\3\2\1\6\5\10\7\11\12\13\14\15\16\17\20\xD4\xC3\xB2\xA1", 20));

  file->seek(0, no_abort);
  GUID back = {};
  std::uint32_t number = 0;
  vantrel_io::stream_reader(*file, no_abort).read_guid(back).read_u32(number);
  EXPECT_EQ(back, guid);
  EXPECT_EQ(number, 0xA1B2C3D4u);
  EXPECT_THROW(vantrel_io::stream_reader(*file, no_abort).read_u32(number), vantrel_io::exception_io_data);
}

} // namespace
