// GUIDs read from their text forms.
#include "foundation/guid_text.h"

#include <gtest/gtest.h>

#include "foundation/guid_equal.h"

namespace {

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

} // namespace
