#include "metadata/track_location.h"

#include <gtest/gtest.h>

#include <utility>

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

// Copies and moves each keep a text of their own, including when a location
// takes its own path again.
TEST(TrackLocationCopies, CopiesMovesAndSelfAssignmentKeepTheirOwnText) {
  track_location source("file://C:\\a.flac", 2);
  const track_location copy(source);
  track_location temporary(source);
  track_location moved(std::move(temporary));
  track_location assigned;
  assigned = source;
  source.set_path("file://C:\\b.flac");
  EXPECT_STREQ(copy.get_path(), "file://C:\\a.flac");
  EXPECT_STREQ(moved.get_path(), "file://C:\\a.flac");
  EXPECT_STREQ(assigned.get_path(), "file://C:\\a.flac");
  EXPECT_EQ(moved.get_subsong(), 2u);

  assigned = std::move(moved);
  EXPECT_STREQ(assigned.get_path(), "file://C:\\a.flac");
  const track_location& self = assigned;
  assigned = self;
  assigned.set_path(assigned.get_path());
  EXPECT_STREQ(assigned.get_path(), "file://C:\\a.flac");
  assigned.set_path(nullptr);
  EXPECT_STREQ(assigned.get_path(), "");
  EXPECT_TRUE(assigned == track_location("", 2));
}

} // namespace
