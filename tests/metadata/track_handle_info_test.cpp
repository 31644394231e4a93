#include "metadata/track_handle_info.h"

#include <gtest/gtest.h>

#include "metadata/track_handle_registry.h"

namespace {

// A zero file time means "unknown": only a strict caller reloads for it.
TEST(TrackHandleInfo, ReloadDecisionFollowsFileTimeAndStrictness) {
  const track_handle_ptr handle = track_handle_registry::get_handle(track_location("file://C:\\reload.tst", 0));
  EXPECT_TRUE(track_handle_info::needs_info_reload(*handle, 1000, false));  // nothing cached
  track_display_info record;
  handle->set_info(record, 1000, 0, true);
  struct {
    std::uint64_t file_time;
    bool strict, reload;
  } const cases[] = {{0, true, true},     {0, false, false},     {1000, true, false},
                     {999, true, true},   {999, false, false},   {1001, false, true}};
  for (const auto& c : cases)
    EXPECT_EQ(track_handle_info::needs_info_reload(*handle, c.file_time, c.strict), c.reload)
        << c.file_time << (c.strict ? " strict" : "");
}

}  // namespace
