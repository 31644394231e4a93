#include "foundation/file_size_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string size_text(std::uint64_t bytes) { return qiv::format_file_size(bytes).text.get_ptr(); }

constexpr std::uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;

TEST(FormatFileSize, PicksTheLargestUnitNotAboveTheSize) {
  EXPECT_EQ(size_text(0), "0 B");
  EXPECT_EQ(size_text(500), "500 B");
  EXPECT_EQ(size_text(1023), "1023 B");
  EXPECT_EQ(size_text(1024), "1 KB");
  EXPECT_EQ(size_text(1048575), "1023 KB");
  EXPECT_EQ(size_text(10 * MB), "10 MB");
  EXPECT_EQ(size_text(3 * GB), "3 GB");
  EXPECT_EQ(size_text(2048 * TB), "2048 TB");  // no unit above TB
  EXPECT_EQ(size_text(UINT64_MAX), "16777215 TB");
}

TEST(FormatFileSize, ReportsTheUnitItChose) {
  EXPECT_EQ(qiv::format_file_size(500).unit_bytes, 1u);
  EXPECT_EQ(qiv::format_file_size(1536).unit_bytes, KB);
  EXPECT_EQ(qiv::format_file_size(5 * TB).unit_bytes, TB);
}

TEST(FormatFileSize, ThreeSignificantDigitsTruncatedWithoutTrailingZeros) {
  EXPECT_EQ(size_text(1536), "1.5 KB");
  EXPECT_EQ(size_text(1024 + 51), "1.04 KB");    // 1.0498: truncated, not rounded
  EXPECT_EQ(size_text(1024 + 10), "1 KB");       // 1.0097: both digits are zero
  EXPECT_EQ(size_text(KB + KB / 20 + 1), "1.05 KB");
  EXPECT_EQ(size_text(15 * MB + MB / 2), "15.5 MB");
  EXPECT_EQ(size_text(99 * GB + GB - 1), "99.9 GB");
  EXPECT_EQ(size_text(100 * GB + GB / 2), "100 GB");  // three whole digits: no fraction
}

} // namespace
