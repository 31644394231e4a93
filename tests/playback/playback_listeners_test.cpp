#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "playback/playback_listeners.h"

namespace {

std::vector<std::string> heard;

// Notes each event it hears as "<name>:<event>".
class named_listener : public playback_listener {
public:
  explicit named_listener(std::string name = "") : name_(std::move(name)) {}
  void on_starting(std::uint32_t command, bool) override { note("starting " + std::to_string(command)); }
  void on_new_track(const track_handle_ptr&) override { note("track"); }
  void on_stop(std::uint32_t) override { note("stop"); }
  void on_time(double) override { note("time"); }
  void on_volume_change(float) override { note("volume"); }

private:
  void note(const std::string& event) { heard.push_back(name_ + ":" + event); }
  std::string name_;
};

class PlaybackListeners : public ::testing::Test {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    heard.clear();
  }
  void TearDown() override { playback_listener_registry::raise_stop(playback_listener::stop_user); }
};

struct catch_up_case {
  const char* why;
  bool playing;
  bool has_track;
  std::uint32_t mask;
  std::vector<std::string> expected;
};

TEST_F(PlaybackListeners, CatchUpReplaysOnlyWhatTheMaskAsksAndWhatIsTrue) {
  const catch_up_case cases[] = {
      {"a volume listener hears only the volume, even while playing", true, true, playback_listener::mask_volume_change,
       {":volume"}},
      {"nothing plays: at most the volume", false, false, ~0u, {":volume"}},
      {"playing before any track: start with command 0", true, false, ~0u, {":volume", ":starting 0"}},
      {"playing a track: the start, the track and the time", true, true, ~0u,
       {":volume", ":starting 0", ":track", ":time"}},
  };
  const track_handle_ptr track = track_handle_registry::get_handle(track_location("C:\\x.sig", 0));
  for (const catch_up_case& c : cases) {
    playback_listener_registry::raise_stop(playback_listener::stop_user);
    if (c.playing) playback_listener_registry::raise_starting(1, false);
    if (c.has_track) playback_listener_registry::raise_new_track(track);
    heard.clear();
    named_listener late;
    playback_listener_registry::add(&late, c.mask, true);
    playback_listener_registry::remove(&late);
    EXPECT_EQ(heard, c.expected) << c.why;
  }
}

// Past the first 32 entries, removal still keeps registration order.
TEST_F(PlaybackListeners, DispatchKeepsRegistrationOrderAcrossRemoval) {
  std::vector<named_listener> listeners;
  for (int i = 0; i < 40; ++i) listeners.emplace_back(std::to_string(i));
  for (named_listener& l : listeners) playback_listener_registry::add(&l, playback_listener::mask_stop, false);
  playback_listener_registry::remove(&listeners[4]);
  playback_listener_registry::remove(&listeners[4]);  // no longer there: ignored
  playback_listener_registry::raise_stop(playback_listener::stop_user);
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i)
    if (i != 4) expected.push_back(std::to_string(i) + ":stop");
  EXPECT_EQ(heard, expected);
  for (named_listener& l : listeners) playback_listener_registry::remove(&l);
}

}  // namespace
