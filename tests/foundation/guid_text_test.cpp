// GUIDs read from their text forms and compared byte by byte.
#include "foundation/guid_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/guid_equal.h"

namespace {

TEST(GuidText, ReadsEveryFieldWhateverBracesDashesOrDigitCase) {
  const GUID g = qiv::guid_from_string("{53229DFC-A273-45cd-A3A4-161FA9FC6414}");
  EXPECT_EQ(g.Data1, 0x53229DFCu);
  EXPECT_EQ(g.Data2, 0xA273);
  EXPECT_EQ(g.Data3, 0x45CD);
  const unsigned char data4[8] = {0xA3, 0xA4, 0x16, 0x1F, 0xA9, 0xFC, 0x64, 0x14};
  EXPECT_EQ(std::memcmp(g.Data4, data4, 8), 0);
  for (const char* same : {"53229DFC-A273-45cd-A3A4-161FA9FC6414", "{53229DFCA27345cdA3A4161FA9FC6414}",
                           "53229dfc-a273-45CD-a3a4-161fa9fc6414", "53229DFC--A273-45cd---A3A4-161FA9FC6414",
                           "{53229DFC-A273-45cd-A3A4-161FA9FC6414}trailing"})
    EXPECT_TRUE(qiv::guid_equal(g, qiv::guid_from_string(same))) << same;
}

TEST(GuidText, DamagedTextReadsAsZeroWhereItFailsAndNeverPastItsEnd) {
  const GUID short_text = qiv::guid_from_string("{12345678-9ABC-DEF0-12}");
  EXPECT_EQ(short_text.Data3, 0xDEF0);
  for (unsigned char b : short_text.Data4) EXPECT_EQ(b, 0);
  EXPECT_TRUE(qiv::guid_equal(qiv::guid_from_string(""), GUID{}));
  const GUID bad_digits = qiv::guid_from_string("XY229DFC-A273-45cd-A3A4-161FA9FC64zz");
  EXPECT_EQ(bad_digits.Data1, 0x00229DFCu);
  EXPECT_EQ(bad_digits.Data4[6], 0x64);
  EXPECT_EQ(bad_digits.Data4[7], 0x00);
}

TEST(GuidEqual, EveryByteCounts) {
  const GUID a = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  GUID b = a;
  EXPECT_TRUE(qiv::guid_equal(a, b));
  b.Data4[7] = 17;
  EXPECT_FALSE(qiv::guid_equal(a, b));
  b = a;
  b.Data1 ^= 0x80000000;
  EXPECT_FALSE(qiv::guid_equal(a, b));
}

} // namespace
