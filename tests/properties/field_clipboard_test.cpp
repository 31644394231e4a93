// Whole fields on the clipboard: the exact bytes other instances read, the
// round trip through the real clipboard, and blocks that must be refused.
#include "properties/field_clipboard.h"

#include <gtest/gtest.h>

#include <map>

namespace {

edited_field_ptr field(const char* name, std::uint32_t tracks, std::map<std::uint32_t, value_list> values) {
  auto made = std::make_shared<edited_field>(name, tracks);
  for (auto& [track, list] : values) made->set_values(track, std::move(list));
  return made;
}

// Two fields of two tracks: ARTIST with two values in track 0 and none in
// track 1, then an empty-valued "c" in track 1.
const std::string fixture(
    "\x02\x00\x00\x00"
    "\x02\x00\x00\x00" "\x06\x00\x00\x00" "ARTIST"
    "\x02\x00\x00\x00" "\x01\x00\x00\x00" "a" "\x03\x00\x00\x00" "b\xC3\xA9"
    "\x00\x00\x00\x00"
    "\x02\x00\x00\x00" "\x01\x00\x00\x00" "c"
    "\x00\x00\x00\x00"
    "\x01\x00\x00\x00" "\x00\x00\x00\x00",
    59);

const edited_field_list fixture_fields = {field("ARTIST", 2, {{0, {"a", "b\xC3\xA9"}}}),
                                          field("c", 2, {{1, {""}}})};

// Read back, a block gives the same block again.
void expect_fixture_fields(const edited_field_list& read) {
  ASSERT_EQ(read.size(), 2u);
  EXPECT_TRUE(read[0]->values(1).empty());
  EXPECT_EQ(serialize_fields(read), fixture);
}

TEST(FieldClipboard, BlockHasTheExactLayoutAndReadsBackWithTrailingBytesIgnored) {
  EXPECT_EQ(serialize_fields(fixture_fields), fixture);
  edited_field_list read;
  ASSERT_TRUE(parse_fields(fixture.data(), fixture.size(), read));
  expect_fixture_fields(read);
  const std::string padded = fixture + std::string(11, '\x7F');
  ASSERT_TRUE(parse_fields(padded.data(), padded.size(), read));
  expect_fixture_fields(read);
}

TEST(FieldClipboard, TruncatedOrOversizedBlocksAreRefusedWithNoFields) {
  edited_field_list read = fixture_fields;
  for (std::size_t cut = 0; cut < fixture.size(); ++cut) {
    EXPECT_FALSE(parse_fields(fixture.data(), cut, read)) << cut;
    EXPECT_TRUE(read.empty());
  }
  std::string huge = fixture;
  huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';  // four billion tracks
  EXPECT_FALSE(parse_fields(huge.data(), huge.size(), read));
  std::string long_value = fixture;
  long_value[27] = '\xF0';  // the value "b\xC3\xA9" claims more than the block
  EXPECT_FALSE(parse_fields(long_value.data(), long_value.size(), read));
}

TEST(FieldClipboard, FieldsWhoseNamesNoTagCanHoldAreLeftOut) {
  const std::string block = serialize_fields({field("A=B", 1, {{0, {"x"}}}), field("", 1, {}),
                                              field("MOOD", 1, {{0, {"y"}}}), field("%t%", 1, {})});
  edited_field_list read;
  ASSERT_TRUE(parse_fields(block.data(), block.size(), read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0]->name, "MOOD");
}

TEST(FieldClipboard, RoundTripsThroughTheClipboardInItsOwnFormat) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  write_field_clipboard(fixture_fields);
  CloseClipboard();
  EXPECT_TRUE(IsClipboardFormatAvailable(field_clipboard_format()));
  EXPECT_EQ(field_clipboard_format(), RegisterClipboardFormatW(L"{9E67E09D-115C-43d1-8359-6A4B0C1DAFE4}"));

  ASSERT_TRUE(OpenClipboard(nullptr));
  edited_field_list read, after_empty;
  const bool found = read_field_clipboard(read);
  EmptyClipboard();
  EXPECT_FALSE(read_field_clipboard(after_empty));
  CloseClipboard();
  EXPECT_TRUE(found);
  expect_fixture_fields(read);
}

}  // namespace
