#include "foundation/decimal_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/string_fixed.h"

namespace {

template <class Append>
std::string appended(Append append) {
  qiv::string_buffer out("=");
  append(out);
  return out.get_ptr();
}

TEST(DecimalText, ZeroAndExtremesAppendAllDigits) {
  EXPECT_EQ(appended([](auto& s) { s.add_uint(0); }), "=0");
  EXPECT_EQ(appended([](auto& s) { s.add_uint(4294967295u); }), "=4294967295");
  EXPECT_EQ(appended([](auto& s) { qiv::format_uint64(s, std::numeric_limits<std::uint64_t>::max()); }),
            "=18446744073709551615");
  EXPECT_EQ(appended([](auto& s) { qiv::format_int64(s, std::numeric_limits<std::int64_t>::min()); }),
            "=-9223372036854775808");
  EXPECT_EQ(appended([](auto& s) { qiv::format_int32(s, std::numeric_limits<std::int32_t>::min()); }),
            "=-2147483648");
  EXPECT_EQ(appended([](auto& s) { qiv::format_int64(s, -7); }), "=-7");
  EXPECT_EQ(appended([](auto& s) { qiv::format_int32(s, 0); }), "=0");
}

TEST(DecimalText, FixedOutputRefusesDigitsBeyondItsCapacity) {
  qiv::string_fixed33 out;
  out.set_string(std::string(22, '.').c_str());
  qiv::format_uint64(out, 1234567890);  // 32 bytes: fits exactly
  EXPECT_STREQ(out.get_ptr() + 22, "1234567890");
  EXPECT_THROW(out.add_uint(1), qiv::exception_overflow);
}

} // namespace
