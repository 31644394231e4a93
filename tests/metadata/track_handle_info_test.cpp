#include "metadata/track_handle_info.h"

#include <gtest/gtest.h>

#include "metadata/track_handle_registry.h"

namespace {

track_handle_ptr fresh_handle(const char* path) {
  return track_handle_registry::get_handle(track_location(path, 0));
}

void cache(track_handle& handle, float length, std::uint64_t file_time) {
  track_display_info record;
  record.set_length(length);
  handle.set_info(record, file_time, 0, true);
}

TEST(TrackHandleInfo, CachedLengthIsZeroUntilInfoIsCached) {
  track_handle_ptr handle = fresh_handle("file://C:\\handle_info\\length.tst");
  EXPECT_EQ(track_handle_info::cached_length(*handle), 0.0);
  cache(*handle, 123.5f, 1000);
  EXPECT_EQ(track_handle_info::cached_length(*handle), 123.5);
  EXPECT_TRUE(handle->is_only_reference());  // the scope gave its reference back
}

TEST(TrackHandleInfo, ReloadDecisionFollowsFileTimeAndStrictness) {
  track_handle_ptr handle = fresh_handle("file://C:\\handle_info\\reload.tst");
  EXPECT_TRUE(track_handle_info::needs_info_reload(*handle, 1000, false));  // nothing cached
  cache(*handle, 1.0f, 1000);
  EXPECT_TRUE(track_handle_info::needs_info_reload(*handle, 0, true));
  EXPECT_FALSE(track_handle_info::needs_info_reload(*handle, 0, false));
  EXPECT_FALSE(track_handle_info::needs_info_reload(*handle, 1000, true));
  EXPECT_TRUE(track_handle_info::needs_info_reload(*handle, 999, true));
  EXPECT_FALSE(track_handle_info::needs_info_reload(*handle, 999, false));
  EXPECT_TRUE(track_handle_info::needs_info_reload(*handle, 1001, false));
}

} // namespace
