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
  EXPECT_EQ(shown(track_location("", 3)), "[invalid location]");
}

} // namespace
