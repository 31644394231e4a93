#include "foundation/guid_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

TEST(GuidText, ReadsEveryFieldInTextOrder) {
  const GUID g = qiv::guid_from_string("{53229DFC-A273-45cd-A3A4-161FA9FC6414}");
  EXPECT_EQ(g.Data1, 0x53229DFCu);
  EXPECT_EQ(g.Data2, 0xA273);
  EXPECT_EQ(g.Data3, 0x45CD);
  const unsigned char data4[8] = {0xA3, 0xA4, 0x16, 0x1F, 0xA9, 0xFC, 0x64, 0x14};
  EXPECT_EQ(std::memcmp(g.Data4, data4, 8), 0);
}

TEST(GuidText, BracesDashesAndDigitCaseAreOptional) {
  const GUID g = qiv::guid_from_string("{53229DFC-A273-45cd-A3A4-161FA9FC6414}");
  EXPECT_TRUE(same(g, qiv::guid_from_string("53229DFC-A273-45cd-A3A4-161FA9FC6414")));
  EXPECT_TRUE(same(g, qiv::guid_from_string("{53229DFCA27345cdA3A4161FA9FC6414}")));
  EXPECT_TRUE(same(g, qiv::guid_from_string("53229dfc-a273-45CD-a3a4-161fa9fc6414")));
  EXPECT_TRUE(same(g, qiv::guid_from_string("53229DFC--A273-45cd---A3A4-161FA9FC6414")));
  EXPECT_TRUE(same(g, qiv::guid_from_string("{53229DFC-A273-45cd-A3A4-161FA9FC6414}trailing")));
}

TEST(GuidText, ShortTextLeavesTheUnreachedFieldsZero) {
  const GUID g = qiv::guid_from_string("{12345678-9ABC-DEF0-12}");
  EXPECT_EQ(g.Data1, 0x12345678u);
  EXPECT_EQ(g.Data2, 0x9ABC);
  EXPECT_EQ(g.Data3, 0xDEF0);
  for (unsigned char b : g.Data4) EXPECT_EQ(b, 0);
  EXPECT_TRUE(same(qiv::guid_from_string(""), GUID{}));
  EXPECT_TRUE(same(qiv::guid_from_string("{}"), GUID{}));
}

TEST(GuidText, NonHexCharactersReadAsZero) {
  const GUID g = qiv::guid_from_string("XY229DFC-A273-45cd-A3A4-161FA9FC64zz");
  EXPECT_EQ(g.Data1, 0x00229DFCu);
  EXPECT_EQ(g.Data4[7], 0x00);
  EXPECT_EQ(g.Data4[6], 0x64);
}

} // namespace
