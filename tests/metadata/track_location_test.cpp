#include "metadata/track_location.h"

#include <gtest/gtest.h>

#include "foundation/string_small.h"

namespace {

std::string shown(const track_location& location) {
  qiv::string_small out;
  location.format_for_display(out);
  return out.get_ptr();
}

// How a location with a path shows is checked in the metadata operations' error report.
TEST(TrackLocationDisplay, ALocationWithoutPathShowsAsInvalid) {
  EXPECT_EQ(shown(track_location("", 3)), "[invalid location]");
}

} // namespace
