// The engine's queue and requests, without a playback thread.
#include <gtest/gtest.h>

#include "metadata/track_handle_registry.h"
#include "playback/playback_engine.h"
#include "playback/playback_engine_impl.h"

namespace {

engine_track track(const char* path) { return {track_handle_registry::get_handle(track_location(path, 0)), {}}; }

TEST(PlaybackEngine, QueueHandsOutIdsAndForgetsWhatIsDropped) {
  const service_ptr<playback_engine> engine = playback_engine_create();
  EXPECT_EQ(engine->enqueue({}), -1) << "a null track is refused";
  EXPECT_EQ(engine->enqueue(track("C:\\a")), 0);
  EXPECT_EQ(engine->enqueue(track("C:\\b")), 1);
  EXPECT_EQ(engine->enqueue(track("C:\\c")), 2);
  EXPECT_EQ(engine->current_id(), -1) << "nothing heard yet";
  bool can_seek;
  EXPECT_FALSE(engine->get_item_can_seek(0, can_seek)) << "not opened yet";

  engine->drop_items_before(1);
  engine_track out;
  EXPECT_FALSE(engine->get_item_track(0, out));
  ASSERT_TRUE(engine->get_item_track(2, out));
  EXPECT_STREQ(out.track->get_location().get_path(), "C:\\c");
  engine->drop_items_before(7);
  EXPECT_FALSE(engine->get_item_track(2, out)) << "an id not queued drops everything";

  engine->stop();
  EXPECT_EQ(engine->enqueue(track("C:\\d")), 0) << "ids start again after a stop";
}

TEST(PlaybackEngine, PendingSeekAnswersItsTarget) {
  const service_ptr<playback_engine> engine = playback_engine_create();
  engine->enqueue(track("C:\\a"));
  EXPECT_FALSE(engine->seek(5, 1.0)) << "not queued";
  ASSERT_TRUE(engine->seek(0, 12.5));
  double position = 0;
  ASSERT_TRUE(engine->get_position(0, position));
  EXPECT_EQ(position, 12.5);
  EXPECT_EQ(engine->current_id(), 0);
  EXPECT_FALSE(engine->is_active());
}

// Three blocks of 4,800 frames at 48 kHz add up to a hair more than the
// 14,400 frames the device still holds before it starts: nothing was heard,
// or the position would run on with the clock and a pause would skip sound.
TEST(PlaybackEngine, RoundingResidueIsNoSoundHeard) {
  double decoded = 0.0;
  for (int block = 0; block < 3; ++block) decoded += 4800.0 / 48000;
  const double held = 14400.0 / 48000;
  ASSERT_GT(decoded - held, 0.0) << "the residue itself";
  EXPECT_EQ(engine_detail::heard_time(decoded, held), 0.0);
  EXPECT_EQ(engine_detail::heard_time(decoded, held + 0.1), 0.0) << "more held than decoded";
  EXPECT_EQ(engine_detail::heard_time(decoded, held - 1.0 / 48000), decoded - (held - 1.0 / 48000))
      << "one frame heard is heard";
}

}  // namespace
