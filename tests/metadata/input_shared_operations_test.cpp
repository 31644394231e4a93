// Small operations the format inputs share: content-type matching, shared
// byte blocks and their texts, and seeking inside a file.
#include <gtest/gtest.h>

#include <string>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "metadata/counted_block.h"
#include "metadata/input_file_access.h"
#include "metadata/mime_type_match.h"
#include "tests/io/model_file.h"

namespace {

TEST(MimeTypeMatch, IgnoresParametersTrailingSpacesAndCaseButNotLength) {
  struct {
    const char* given;
    bool matches;
  } const cases[] = {{"audio/FLAC; charset=x", true}, {"audio/flac  ;x", true}, {"AUDIO/FLAC", true},
                     {"audio/flac-x", false},         {"audio/fla", false},      {"", false}};
  for (const auto& c : cases) EXPECT_EQ(mime_type_matches(c.given, "audio/flac"), c.matches) << c.given;
}

TEST(CountedBlock, HoldsACopyOfTheBytes) {
  std::string source = "abc";
  auto made = counted_block::create(source.data(), 3);
  source[0] = 'x';
  ASSERT_EQ(made.data->get_count(), 3u);
  EXPECT_EQ((*made.data)[0], 'a');
  EXPECT_EQ(made.data, &made.block->data());
}

TEST(CountedBlock, TextRunsToTheNulOrTheBlockEnd) {
  const char bytes[] = {'i', 'm', 'a', 'g', 'e', 0, 'd', 'e', 's', 'c'};
  auto made = counted_block::create(bytes, sizeof bytes);
  qiv::string_buffer text;
  counted_block::text_at(*made.block, 0, text);
  EXPECT_STREQ(text.get_ptr(), "image");
  // No NUL after the offset: the text must not run past the block.
  counted_block::text_at(*made.block, 6, text);
  EXPECT_STREQ(text.get_ptr(), "desc");
}

TEST(CountedBlock, TextOffsetAtTheEndIsEmptyAndPastItOverflows) {
  auto made = counted_block::create("ab", 2);
  qiv::string_buffer text("stale");
  counted_block::text_at(*made.block, 2, text);
  EXPECT_STREQ(text.get_ptr(), "");
  EXPECT_THROW(counted_block::text_at(*made.block, 3, text), qiv::exception_overflow);
}

TEST(SeekChecked, PositionPastTheEndIsADataError) {
  auto file = io_test::make_model_file(std::string(100, 'x'));
  raisable_abort_signal abort;
  vantrel_io::seek_checked(*file, 100, abort);
  try {
    vantrel_io::seek_checked(*file, 200, abort);
    FAIL() << "seek past the end succeeded";
  } catch (const vantrel_io::exception_io_seek_out_of_range&) {
    FAIL() << "out-of-range error passed through";
  } catch (const vantrel_io::exception_io_data&) {
  }
}

}  // namespace
