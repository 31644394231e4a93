// Small operations the format inputs share, at their edges: content-type
// matching, texts inside shared byte blocks, and seeking inside a file.
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

// A text without a NUL after its offset must not run past the block.
TEST(CountedBlock, TextEndsAtTheNulOrTheBlockAndAnOffsetPastItOverflows) {
  const char bytes[] = {'i', 'm', 'a', 'g', 'e', 0, 'd', 'e', 's', 'c'};
  auto made = counted_block::create(bytes, sizeof bytes);
  qiv::string_buffer text;
  const std::pair<std::uint32_t, const char*> cases[] = {{0, "image"}, {6, "desc"}, {10, ""}};
  for (const auto& [offset, expected] : cases) {
    counted_block::text_at(*made.block, offset, text);
    EXPECT_STREQ(text.get_ptr(), expected) << offset;
  }
  EXPECT_THROW(counted_block::text_at(*made.block, 11, text), qiv::exception_overflow);
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
