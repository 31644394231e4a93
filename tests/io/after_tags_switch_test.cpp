#include "io/after_tags_switch.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "io/io_exceptions.h"

namespace {

using namespace vantrel_io;

std::string text_after_switch_of(void (*fail)()) {
  try {
    after_tags_switch(fail);
  } catch (const exception_io_after_tags_written& e) {
    return e.what();
  }
  return "no exception_io_after_tags_written";
}

// What failed after the switch is said in the user's words, after the words
// that the tags were written; a failure already told so is not told twice.
TEST(AfterTagsSwitch, SaysWhatFailedAfterTheTagsWereWritten) {
  EXPECT_EQ(text_after_switch_of([] { throw exception_io_device_full(); }),
            "The new tags were written, but a later step failed: Device full");
  EXPECT_EQ(text_after_switch_of([] { throw std::bad_alloc(); }),
            "The new tags were written, but a later step failed: not enough memory");
  EXPECT_EQ(text_after_switch_of([] { throw exception_io_after_tags_written("Device full"); }),
            "The new tags were written, but a later step failed: Device full");
}

}  // namespace
