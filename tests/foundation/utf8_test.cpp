#include "foundation/utf8.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::size_t decode(const char* bytes, std::uint32_t& code_point) { return qiv::utf8_decode_char(bytes, code_point); }

std::string encode(std::uint32_t code_point) {
  char out[6];
  return std::string(out, qiv::utf8_encode_char(code_point, out));
}

std::wstring to_wide(const char* text) {
  std::wstring out(qiv::estimate_utf8_to_wide(text), L'#');
  out.resize(qiv::convert_utf8_to_wide(out.data(), out.size(), text, std::strlen(text)));
  return out;
}

std::string to_utf8(const std::wstring& units) {
  std::string out(qiv::estimate_wide_to_utf8(units.data(), units.size()), '#');
  out.resize(qiv::convert_wide_to_utf8(out.data(), out.size(), units.data(), units.size()));
  return out;
}

// Bytes placed flush against an inaccessible page: reading one byte past them
// faults, so a bounded walk that overreads crashes the test.
class bytes_before_guard_page {
public:
  explicit bytes_before_guard_page(const char* bytes, std::size_t count) {
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page, page, PAGE_NOACCESS, &old);
    data_ = base_ + page - count;
    std::memcpy(data_, bytes, count);
  }
  ~bytes_before_guard_page() { VirtualFree(base_, 0, MEM_RELEASE); }
  const char* data() const { return data_; }

private:
  static constexpr std::size_t page = 4096;
  char* base_;
  char* data_;
};

TEST(Utf8Encoding, LengthGrowsAtEachBoundaryAndStopsAfter31Bits) {
  const std::uint32_t values[] = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x1FFFFF,
                                  0x200000, 0x3FFFFFF, 0x4000000, 0x7FFFFFFF, 0x80000000};
  const std::size_t lengths[] = {1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 0};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    char out[6];
    EXPECT_EQ(qiv::utf8_encode_char(values[i], nullptr), lengths[i]) << std::hex << values[i];
    EXPECT_EQ(qiv::utf8_encode_char(values[i], out), lengths[i]) << std::hex << values[i];
  }
}

TEST(Utf8Encoding, EveryLengthDecodesBackToTheSameCodePoint) {
  EXPECT_EQ(encode(0x80), "\xC2\x80");
  EXPECT_EQ(encode(0x20AC), "\xE2\x82\xAC");
  EXPECT_EQ(encode(0x7FFFFFFF), "\xFD\xBF\xBF\xBF\xBF\xBF");
  for (std::uint32_t value : {0x1u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xD800u, 0xFFFFu, 0x10000u, 0x10FFFFu,
                              0x1FFFFFu, 0x200000u, 0x3FFFFFFu, 0x4000000u, 0x7FFFFFFFu}) {
    const std::string bytes = encode(value);
    std::uint32_t decoded;
    EXPECT_EQ(decode(bytes.c_str(), decoded), bytes.size()) << std::hex << value;
    EXPECT_EQ(decoded, value);
  }
}

TEST(Utf8Decoding, RefusesOverlongFormsBadLeadsAndBrokenContinuations) {
  const char* refused[] = {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80",
                           "\xF8\x80\x80\x80\x80", "\xFC\x80\x80\x80\x80\x80",  // overlong
                           "\x80", "\xBF", "\xFE", "\xFF",                        // cannot lead
                           "\xC3\x41", "\xE2\x82", "\xE2\x82\xC3\xA9",             // broken continuation
                           ""};
  for (const char* bytes : refused) {
    std::uint32_t code_point = 12345;
    EXPECT_EQ(decode(bytes, code_point), 0u) << testing::PrintToString(bytes);
    EXPECT_EQ(code_point, 0u);
  }
}

TEST(Utf8Decoding, AcceptsSurrogatesAndTheLargestSixByteForm) {
  std::uint32_t code_point;
  EXPECT_EQ(decode("\xC2\x80", code_point), 2u);
  EXPECT_EQ(code_point, 0x80u);
  EXPECT_EQ(decode("\xED\xA0\x80", code_point), 3u);
  EXPECT_EQ(code_point, 0xD800u);
  EXPECT_EQ(decode("\xFD\xBF\xBF\xBF\xBF\xBF", code_point), 6u);
  EXPECT_EQ(code_point, 0x7FFFFFFFu);
}

TEST(Utf8Decoding, BoundedWalksNeverReadPastTheirLimit) {
  const bytes_before_guard_page cut("a\xE2\x82", 3);  // the euro sign without its last byte
  std::uint32_t code_point;
  EXPECT_EQ(qiv::utf8_decode_char_n(cut.data() + 1, 2, code_point), 0u);
  EXPECT_EQ(qiv::utf8_char_length(cut.data(), 0), 0u);
  EXPECT_EQ(qiv::utf8_strlen(cut.data(), 3), 1u);
  EXPECT_FALSE(qiv::is_valid_utf8(cut.data(), 3));
  EXPECT_EQ(qiv::estimate_utf8_to_wide_n(cut.data(), 3), 2u);
  wchar_t out[8];
  EXPECT_EQ(qiv::convert_utf8_to_wide(out, 8, cut.data(), 3), 1u);

  const bytes_before_guard_page whole("\xE2\x82\xAC", 3);
  EXPECT_EQ(qiv::utf8_decode_char_n(whole.data(), 3, code_point), 3u);
  EXPECT_TRUE(qiv::is_valid_utf8(whole.data(), 3));
  EXPECT_EQ(qiv::utf8_strlen(whole.data(), 3), 1u);
}

TEST(Utf8Measuring, WalksStopAtNulInvalidSequenceOrLimit) {
  const char* text = "a\xC3\xA9z\xFFq";  // a, e-acute, z, a bad byte, q
  EXPECT_EQ(qiv::utf8_strlen(text, ~std::size_t(0)), 3u);
  EXPECT_EQ(qiv::utf8_strlen(text, 2), 1u);  // the e-acute is cut by the limit
  EXPECT_EQ(qiv::utf8_chars_to_bytes(text, 2), 3u);
  EXPECT_EQ(qiv::utf8_chars_to_bytes(text, 10), 4u);
  EXPECT_EQ(qiv::utf8_chars_to_bytes("ab\0cd", 10), 2u);
  EXPECT_EQ(qiv::utf8_char_length(text + 1, 2), 2u);
  EXPECT_EQ(qiv::utf8_char_length(text + 1, 1), 0u);

  EXPECT_TRUE(qiv::is_valid_utf8("", 0));
  EXPECT_TRUE(qiv::is_valid_utf8(text, 4));
  EXPECT_FALSE(qiv::is_valid_utf8(text, 5));
  EXPECT_FALSE(qiv::is_valid_utf8(text, 2));
  EXPECT_TRUE(qiv::is_valid_utf8("ok\0\xFF", 4));  // nothing after the NUL counts
  EXPECT_EQ(qiv::wide_strlen(L"\xD83D\xDE00x"), 3u);
}

TEST(Utf16Conversion, SupplementaryCharactersBecomeSurrogatePairsAndBack) {
  EXPECT_EQ(to_wide("\xF0\x9F\x98\x80"), L"\xD83D\xDE00");  // U+1F600
  EXPECT_EQ(to_wide("\xF4\x8F\xBF\xBF"), L"\xDBFF\xDFFF");  // U+10FFFF
  EXPECT_EQ(to_utf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(to_wide("\xF4\x90\x80\x80"), L"?");  // U+110000 has no UTF-16 form
  EXPECT_EQ(to_wide("K\xC3\xB6ln \xE2\x82\xAC"), L"K\x00F6ln \x20AC");
}

TEST(Utf16Conversion, LoneSurrogatesAreKeptAsTheyStand) {
  EXPECT_EQ(to_utf8(L"\xDC00"), "\xED\xB0\x80");
  EXPECT_EQ(to_utf8(L"\xD83Dx"), "\xED\xA0\xBDx");
  // A pair cut by the count: the high half is the last unit and stands alone.
  const wchar_t pair[] = L"\xD83D\xDE00";
  char out[8];
  EXPECT_EQ(qiv::convert_wide_to_utf8(out, sizeof out, pair, 1), 3u);
  EXPECT_STREQ(out, "\xED\xA0\xBD");
}

TEST(Utf16Conversion, ConversionsStopAtNulOrInvalidSequenceAndEstimatesMatch) {
  const char* texts[] = {"", "plain", "a\xFF" "b", "\xF0\x9F\x98\x80\xF0\x9F\x98\x81", "x\xE2\x82"};
  for (const char* text : texts) {
    const std::wstring wide = to_wide(text);
    EXPECT_EQ(qiv::estimate_utf8_to_wide(text), wide.size() + 1) << text;
    std::wstring unchecked(qiv::estimate_utf8_to_wide(text), L'#');
    EXPECT_EQ(qiv::convert_utf8_to_wide_unchecked(unchecked.data(), text), wide.size());
    EXPECT_EQ(unchecked.c_str(), wide);
  }
  EXPECT_EQ(to_wide("a\xFF" "b"), L"a");
  EXPECT_EQ(to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(qiv::estimate_wide_to_utf8(L"ab\0cd", 5), 3u);
}

TEST(Utf16Conversion, SmallOutputsAreCutOnWholeCharactersAndTerminated) {
  wchar_t wide[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 0, "abc", 3), 0u);
  EXPECT_EQ(wide[0], L'#');  // nothing written, not even a terminator
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 1, "abc", 3), 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 3, "abc", 3), 2u);  // a full output gives its last unit to the terminator
  EXPECT_EQ(std::wstring(wide), L"ab");
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 3, "a\xF0\x9F\x98\x80", 5), 1u);  // no half pair
  EXPECT_EQ(std::wstring(wide), L"a");

  char bytes[4];
  EXPECT_EQ(qiv::convert_wide_to_utf8(bytes, 4, L"a\x20AC", 2), 1u);  // the euro sign needs 3 bytes, 2 remain
  EXPECT_STREQ(bytes, "a");
  EXPECT_EQ(qiv::convert_wide_to_utf8(bytes, 4, L"abcd", 4), 3u);
  EXPECT_STREQ(bytes, "abc");
}

TEST(Utf16Conversion, CopyOfAFixedResultBufferEndsAtItsFirstZeroUnit) {
  // As a Windows call leaves it: the text, its terminator, then stale units.
  const wchar_t result[8] = {L'C', L':', L'\\', 0x00E9, 0, L'x', L'y', L'z'};
  const qiv::byte_array text = qiv::utf8_from_wide(result, 8);
  ASSERT_EQ(text.get_count(), 6u);  // exactly the text and its terminator
  EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "C:\\\xC3\xA9");

  const qiv::byte_array empty = qiv::utf8_from_wide(result + 4, 4);
  ASSERT_EQ(empty.get_count(), 1u);
  EXPECT_EQ(empty[0], 0);
}

} // namespace
