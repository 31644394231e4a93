#include "io/in_place_steps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_file.h"

namespace {

using namespace vantrel_io;
using io_test::make_model_file;

std::vector<std::uint8_t> byte_vector_of(const std::string& text) { return {text.begin(), text.end()}; }

// The text of the failure a model file's step meets.
std::string failed_step_text() {
  try {
    throw_exception_io_from_win32(ERROR_DEV_NOT_EXIST);
  } catch (const exception_io& e) {
    return e.what();
  }
}

// Staged bytes past the end, the switch (the header readers follow), then
// a tidying change of bytes the switch stopped readers from reading.
in_place_steps switched_steps() {
  in_place_steps steps;
  steps.stage(8, byte_vector_of("NEWTAGS"));
  steps.change(0, byte_vector_of("OLD"), byte_vector_of("NEW"));
  steps.mark_switch();
  steps.change(4, byte_vector_of("tag"), byte_vector_of("---"));
  return steps;
}

// Fails each change in turn: before the switch the caller gets the plain
// failure and readers the old header; from the switch on, readers find the
// new one and the caller is told the tags were written and what failed.
TEST(InPlaceSteps, AFailureAfterTheSwitchSaysTheNewTagsWereWritten) {
  const in_place_steps steps = switched_steps();
  int plain = 0, after_switch = 0;
  for (int fail_at = 1;; ++fail_at) {
    const auto file = make_model_file("OLD-tag-");
    file->fail_at_step = fail_at;
    try {
      steps.run(*file, step_writes::guarded, never_raised_abort_signal());
      EXPECT_EQ(file->bytes, "NEW-----NEWTAGS");
      break;
    } catch (const exception_io_after_tags_written& e) {
      ++after_switch;
      EXPECT_EQ(file->bytes.substr(0, 3), "NEW") << fail_at;
      EXPECT_EQ(std::string(e.what()), "The new tags were written, but a later step failed: " + failed_step_text());
    } catch (const exception_io&) {
      ++plain;
      EXPECT_EQ(file->bytes.substr(0, 3), "OLD") << fail_at;
    }
  }
  EXPECT_GT(plain, 0);
  EXPECT_GT(after_switch, 0);
}

// On a copy or in memory no reader saw the switch: the failure passes as it is.
TEST(InPlaceSteps, PlainWritesReportEveryFailureAsItIs) {
  const in_place_steps steps = switched_steps();
  for (int fail_at = 1; fail_at < 20; ++fail_at) {
    const auto file = make_model_file("OLD-tag-");
    file->fail_at_step = fail_at;
    try {
      steps.run(*file, step_writes::plain, never_raised_abort_signal());
      break;
    } catch (const exception_io_after_tags_written&) {
      ADD_FAILURE() << "change " << fail_at << " reported as written";
    } catch (const exception_io&) {
    }
  }
}

}  // namespace
