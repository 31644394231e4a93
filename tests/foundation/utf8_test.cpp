// Code points, UTF-8 validity, and conversions to and from UTF-16.
#include "foundation/utf8.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "foundation/text_or_resource_id.h"
#include "foundation/wide_buffer.h"

namespace {

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

// Bytes placed flush against an inaccessible page: a bounded walk that reads
// one byte past them crashes the test.
struct bytes_before_guard_page {
  bytes_before_guard_page(const char* bytes, std::size_t count)
      : base(static_cast<char*>(VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {
    DWORD old;
    VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &old);
    std::memcpy(data = base + 4096 - count, bytes, count);
  }
  ~bytes_before_guard_page() { VirtualFree(base, 0, MEM_RELEASE); }
  char* base;
  char* data;
};

TEST(Utf8Encoding, LengthsAtEachBoundaryAndEveryLengthDecodesBack) {
  struct { std::uint32_t code_point; std::size_t length; } cases[] = {
      {0x1, 1}, {0x7F, 1}, {0x80, 2}, {0x7FF, 2}, {0x800, 3}, {0xD800, 3}, {0xFFFF, 3}, {0x10000, 4},
      {0x10FFFF, 4}, {0x1FFFFF, 4}, {0x200000, 5}, {0x3FFFFFF, 5}, {0x4000000, 6}, {0x7FFFFFFF, 6},
      {0x80000000, 0},  // beyond 31 bits
  };
  for (const auto& c : cases) {
    char out[6];
    EXPECT_EQ(qiv::utf8_encode_char(c.code_point, nullptr), c.length) << std::hex << c.code_point;
    ASSERT_EQ(qiv::utf8_encode_char(c.code_point, out), c.length) << std::hex << c.code_point;
    if (c.length == 0) continue;
    const std::string bytes(out, c.length);
    std::uint32_t decoded;
    EXPECT_EQ(qiv::utf8_decode_char(bytes.c_str(), decoded), c.length) << std::hex << c.code_point;
    EXPECT_EQ(decoded, c.code_point);
  }
}

TEST(Utf8Decoding, AcceptsSurrogatesAndRefusesOverlongBadLeadsAndBrokenContinuations) {
  struct { const char* bytes; std::size_t length; std::uint32_t code_point; } cases[] = {
      {"\xC2\x80", 2, 0x80},
      {"\xED\xA0\x80", 3, 0xD800},                     // surrogates are not refused
      {"\xFD\xBF\xBF\xBF\xBF\xBF", 6, 0x7FFFFFFF},     // the largest six-byte form
      {"\xC0\x80", 0, 0}, {"\xC1\xBF", 0, 0}, {"\xE0\x80\x80", 0, 0}, {"\xF0\x80\x80\x80", 0, 0},
      {"\xF8\x80\x80\x80\x80", 0, 0}, {"\xFC\x80\x80\x80\x80\x80", 0, 0},  // overlong
      {"\x80", 0, 0}, {"\xBF", 0, 0}, {"\xFE", 0, 0}, {"\xFF", 0, 0},      // cannot lead
      {"\xC3\x41", 0, 0}, {"\xE2\x82", 0, 0}, {"\xE2\x82\xC3\xA9", 0, 0},  // broken continuation
      {"", 0, 0},                                                          // NUL ends like a bad sequence
  };
  for (const auto& c : cases) {
    std::uint32_t code_point = 12345;
    EXPECT_EQ(qiv::utf8_decode_char(c.bytes, code_point), c.length) << testing::PrintToString(c.bytes);
    EXPECT_EQ(code_point, c.code_point) << testing::PrintToString(c.bytes);
  }
}

TEST(Utf8Decoding, WalksStopAtNulInvalidSequenceOrLimitAndNeverReadPastIt) {
  const bytes_before_guard_page cut("a\xE2\x82", 3);  // the euro sign without its last byte
  std::uint32_t code_point;
  EXPECT_EQ(qiv::utf8_decode_char_n(cut.data + 1, 2, code_point), 0u);
  EXPECT_EQ(qiv::utf8_strlen(cut.data, 3), 1u);
  EXPECT_FALSE(qiv::is_valid_utf8(cut.data, 3));
  EXPECT_EQ(qiv::estimate_utf8_to_wide_n(cut.data, 3), 2u);
  wchar_t out[8];
  EXPECT_EQ(qiv::convert_utf8_to_wide(out, 8, cut.data, 3), 1u);

  const bytes_before_guard_page whole("\xE2\x82\xAC", 3);
  EXPECT_EQ(qiv::utf8_decode_char_n(whole.data, 3, code_point), 3u);
  EXPECT_TRUE(qiv::is_valid_utf8(whole.data, 3));
  EXPECT_EQ(qiv::utf8_strlen(whole.data, 3), 1u);
  const char* text = "a\xC3\xA9z\xFFq";  // a, e-acute, z, a bad byte, q
  struct { std::size_t got, expected; const char* why; } cases[] = {
      {qiv::utf8_strlen(text, ~std::size_t(0)), 3, "stops at the bad byte"},
      {qiv::utf8_strlen(text, 2), 1, "the e-acute is cut by the limit"},
      {qiv::utf8_chars_to_bytes(text, 2), 3, ""},
      {qiv::is_valid_utf8(text, 2), false, "cut by the limit"},
      {qiv::is_valid_utf8("ok\0\xFF", 4), true, "nothing after the NUL counts"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.why;
}

TEST(Utf16Conversion, PairsLoneSurrogatesStopsAtNulOrInvalidSequenceAndEveryEstimateMatches) {
  for (const char* text : {"", "plain", "a\xFF" "b", "\xF0\x9F\x98\x80\xF0\x9F\x98\x81", "x\xE2\x82",
                           "a\xF8\x88\x80\x80\x80" "b", "\xFD\xBF\xBF\xBF\xBF\xBF"}) {  // beyond UTF-16: one "?"
    const std::wstring wide = to_wide(text);
    EXPECT_EQ(qiv::estimate_utf8_to_wide(text), wide.size() + 1) << text;
    std::wstring unchecked(qiv::estimate_utf8_to_wide(text), L'#');
    EXPECT_EQ(qiv::convert_utf8_to_wide_unchecked(unchecked.data(), text), wide.size());
    EXPECT_EQ(unchecked.c_str(), wide);
    const qiv::wide_buffer buffer = qiv::string_to_wide(text);  // sized exactly, terminator included
    EXPECT_EQ(buffer.get_size(), wide.size() + 1) << text;
    EXPECT_EQ(buffer.get_ptr(), wide);
  }
  EXPECT_EQ(to_wide("a\xFF" "b"), L"a");
  EXPECT_EQ(to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(qiv::estimate_wide_to_utf8(L"ab\0cd", 5), 3u);
  EXPECT_EQ(to_wide("\xF0\x9F\x98\x80"), L"\xD83D\xDE00");  // U+1F600
  EXPECT_EQ(to_wide("\xF4\x8F\xBF\xBF"), L"\xDBFF\xDFFF");  // U+10FFFF
  EXPECT_EQ(to_utf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(to_wide("\xF4\x90\x80\x80"), L"?");  // U+110000
  EXPECT_EQ(to_utf8(L"\xD83Dx"), "\xED\xA0\xBDx");
  char cut_pair[8];  // a pair cut by the count: the high half stands alone
  EXPECT_EQ(qiv::convert_wide_to_utf8(cut_pair, sizeof cut_pair, L"\xD83D\xDE00", 1), 3u);
  EXPECT_STREQ(cut_pair, "\xED\xA0\xBD");
}

TEST(Utf16Conversion, SmallOutputsAreCutOnWholeCharactersAndTerminated) {
  wchar_t wide[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 0, "abc", 3), 0u);
  EXPECT_EQ(wide[0], L'#');  // nothing written, not even a terminator
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 1, "abc", 3), 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 3, "abc", 3), 2u);
  EXPECT_EQ(std::wstring(wide), L"ab");
  EXPECT_EQ(qiv::convert_utf8_to_wide(wide, 3, "a\xF0\x9F\x98\x80", 5), 1u);  // no half pair
  EXPECT_EQ(std::wstring(wide), L"a");
  char bytes[4];
  EXPECT_EQ(qiv::convert_wide_to_utf8(bytes, 4, L"a\x20AC", 2), 1u);  // the euro sign needs 3 bytes, 2 remain
  EXPECT_STREQ(bytes, "a");
  EXPECT_EQ(qiv::convert_wide_to_utf8(bytes, 4, L"abcd", 4), 3u);
  EXPECT_STREQ(bytes, "abc");
}

// As a Windows call leaves a fixed buffer: the text, its terminator, then stale units.
TEST(Utf16Conversion, CopyOfAFixedResultBufferEndsAtItsFirstZeroUnit) {
  const wchar_t result[8] = {L'C', L':', L'\\', 0x00E9, 0, L'x', L'y', L'z'};
  const qiv::byte_array text = qiv::utf8_from_wide(result, 8);
  ASSERT_EQ(text.get_count(), 6u);
  EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "C:\\\xC3\xA9");
}

TEST(WideBuffer, ExactSizeKeepsContentsAssignsFromItselfAndRefusesWrappingSizes) {
  qiv::wide_buffer buffer;
  buffer.assign(L"hello world", 11);
  buffer.assign(buffer.get_ptr() + 6, 5);
  EXPECT_STREQ(buffer.get_ptr(), L"world");
  EXPECT_EQ(buffer.get_size(), 6u);
  buffer.set_size(3);
  EXPECT_EQ(buffer.text_length(), 3u);  // unterminated: the length stays inside the buffer
  EXPECT_EQ(std::wstring(buffer.get_buffer(), 3), L"wor");
  EXPECT_THROW(buffer.set_size(0x80000000u), std::bad_alloc);  // the byte count would wrap
  EXPECT_EQ(buffer.get_size(), 3u);
  buffer.set_size(0);
  EXPECT_EQ(buffer.get_buffer(), nullptr);
  EXPECT_STREQ(buffer.get_ptr(), L"");
}

TEST(TextOrResourceId, PassesIdsAndNullUnchangedAndNeverShortensADamagedName) {
  const char* ids[] = {nullptr, MAKEINTRESOURCEA(234), MAKEINTRESOURCEA(0xFFFF)};
  for (const char* id : ids) EXPECT_EQ(text_or_resource_id(id).get(), reinterpret_cast<const wchar_t*>(id));
  struct { const char* text; const wchar_t* wide; } texts[] = {
      {"", L""},  // an empty text stays a text, not null
      {"\xC3\x85sa \xF0\x9F\x8E\xB5", L"\u00C5sa \U0001F3B5"},
      // A Latin-1 byte from an old playlist must not turn this name into "Caf".
      {"C:\\Music\\Caf\xE9 Song.mp3", L"C:\\Music\\Caf\uFFFD Song.mp3"},
      // Beyond UTF-16: not the '?' that file searches read as a wildcard.
      {"a\xF8\x88\x80\x80\x80" "b", L"a\uFFFDb"},
  };
  for (const auto& t : texts) {
    const text_or_resource_id converted(t.text);
    ASSERT_NE(converted.get(), nullptr);
    EXPECT_STREQ(converted.get(), t.wide);
  }
}

} // namespace
