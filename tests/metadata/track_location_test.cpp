#include "metadata/track_location.h"

#include <gtest/gtest.h>

#include "foundation/string_small.h"

namespace {

std::string shown(const track_location& location) {
  qiv::string_small out;
  location.format_for_display(out);
  return out.get_ptr();
}

TEST(TrackLocationDisplay, QuotesThePathAndNamesOnlyNonZeroSubsongs) {
  EXPECT_EQ(shown(track_location("unclaimed://x.cue", 0)), "\"unclaimed://x.cue\"");
  EXPECT_EQ(shown(track_location("unclaimed://x.cue", 12)), "\"unclaimed://x.cue\" / index: 12");
}

TEST(TrackLocationFields, AMissingPathReadsAsEmpty) {
  track_location location(nullptr, 3);
  EXPECT_STREQ(location.get_path(), "");
  location.set_path("a");
  location.set_subsong(0);
  EXPECT_EQ(location, track_location("a", 0));
}

} // namespace
