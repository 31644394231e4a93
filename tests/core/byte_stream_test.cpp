#include "core/byte_stream.h"

#include <gtest/gtest.h>

#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"
#include "support/byte_stream_buffers.h"

namespace {

using namespace test_support;

// The encodings themselves are checked through the records that use them
// (DSP chains, preset lists, configuration items).
TEST(ByteStreamFields, ShortFieldsAndLengthsBeyondTheRemainingBytesAreDamagedData) {
  vector_reader three(bytes{1, 2, 3});
  EXPECT_THROW(three.read_u32(no_abort()), test_data_error);
  vector_reader fifteen(bytes(15, 0));
  EXPECT_THROW(fifteen.read_guid(no_abort()), test_data_error);
  vector_reader in(concat({u32_bytes({0x7FFFFFFF}), bytes{'a', 'b'}}));
  qiv::string_buffer text;
  EXPECT_THROW(in.read_length_prefixed_string(text, no_abort()), test_data_error);
  EXPECT_EQ(in.largest_read(), 4u);  // nothing but the length was asked for
}

TEST(ByteStreamFields, OnAStreamOfUnknownSizeLongTextsAreReadInGrowingSteps) {
  bytes long_text(200000, 'x');
  vector_reader in(concat({u32_bytes({200000}), long_text}), false);
  qiv::string_buffer text;
  in.read_length_prefixed_string(text, no_abort());
  EXPECT_EQ(text.get_length(), 200000u);

  // A false length fails at the end of the data, never asking for it at once.
  vector_reader lying(concat({u32_bytes({0xFFFFFFF0}), long_text}), false);
  EXPECT_THROW(lying.read_length_prefixed_string(text, no_abort()), test_data_error);
  EXPECT_LE(lying.largest_read(), 4u * 200000u);
}

TEST(ByteStreamFields, ATextCutShortLeavesNoPartAndOneTooLongForAFixedTextIsDamagedData) {
  vector_reader cut(concat({u32_bytes({10}), bytes{'a', 'b', 'c'}}), false);
  qiv::string_buffer text;
  text.set_string("previous");
  EXPECT_THROW(cut.read_length_prefixed_string(text, no_abort()), test_data_error);
  EXPECT_EQ(text.get_length(), 0u);

  vector_reader five(concat({u32_bytes({5}), bytes{'a', 'b', 'c', 'd', 'e'}}));
  qiv::string_fixed<4> small;
  EXPECT_THROW(five.read_length_prefixed_string(small, no_abort()), test_data_error);
}

} // namespace
