// The movie-box rewrite with one allocation failing, each one in turn: the
// write fails with every byte as it was, or it succeeds.
#include <gtest/gtest.h>

#include "mp4_memory_file.h"
#include "mp4_test_boxes.h"
#include "tests/support/allocation_failures.h"

namespace {

using namespace mp4_test;

TEST(Mp4TagWritingOutOfMemory, AWriteFailsWithTheFileAsItWasOrSucceeds) {
  const bytes titled = box("moov", mvhd(1000, 93) + simple_track() +
                                       box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) +
                                                                           box("ilst", box("\xA9nam", full_box("data", 1, be32(0) + "old"))))));
  const bytes media = box("mdat", bytes(3000, 'a'));
  const char* title = "a new title much longer than the old one, to grow the movie box";
  for (const bytes& source : {ftyp() + media + titled, ftyp() + titled + media}) {
    int failures = 0;
    for (long failing = 1;; ++failing) {
      memory_file f(source);
      f.records_changes = false;
      allocation_failures::arm({failing});
      bool written = true;
      try {
        retag(f, title);
      } catch (const std::exception&) {
        written = false;
      }
      allocation_failures::disarm();
      if (!allocation_failures::met) {
        ASSERT_TRUE(written);
        break;
      }
      if (!written) {
        ++failures;
        ASSERT_TRUE(f.data == source) << source.size() << ": allocation " << failing << " failed";
      } else {
        ASSERT_EQ(title, title_of(f.data)) << source.size() << ": allocation " << failing << " failed";
      }
    }
    EXPECT_GT(failures, 0);
  }
}

}  // namespace
