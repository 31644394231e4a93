#include "metadata/track_sort_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "foundation/string_small.h"
#include "metadata/title_hook_chain.h"
#include "metadata/title_rand_hook.h"
#include "metadata/track_handle_registry.h"

namespace {

using namespace field_name_set;

track_handle_ptr titled_track(const std::string& path, const char* title_text) {
  const track_handle_ptr handle = track_handle_registry::get_handle(track_location(path.c_str(), 0));
  track_display_info record;
  record.set(title, title_text);
  handle->set_info(record, 0, 0, true);
  return handle;
}

// Answers one field, "mood", and one function, "$shout()".
class mood_provider final : public field_provider {
public:
  bool process_field(title_field_output& out, const char* name, std::size_t length, bool& found) override {
    if (std::string(name, length) != "mood") return false;
    out.write(title_text_type_a, "calm");
    found = true;
    return true;
  }
  bool process_function(title_field_output& out, const char* name, std::size_t length, const title_function_args&,
                        bool& found) override {
    if (std::string(name, length) != "shout") return false;
    out.write(title_text_type_a, "HEY");
    found = true;
    return true;
  }
};

std::string evaluated(const char* script_text, field_provider* hooks) {
  const track_handle_ptr handle = titled_track("unclaimed://hooks.mp3", "Tune");
  qiv::string_small out;
  handle->evaluate_script_locked(hooks, out, *title_script::compile(script_text));
  return out.get_ptr();
}

class counting_random final : public random_source {
public:
  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }
  void seed(std::uint32_t) override {}
  std::uint64_t random(std::uint64_t bound) override {
    bounds.push_back(bound);
    return bound - 1;
  }
  std::vector<std::uint64_t> bounds;
};

TEST(TitleHookChain, AsksTheFirstHookThenTheSecondThenTheTrack) {
  mood_provider moods;
  counting_random random;
  title_rand_hook rand_hook(random);
  title_hook_chain chain(&moods, &rand_hook);
  EXPECT_EQ(evaluated("%mood% $shout() $rand(10) %title%", &chain), "calm HEY 9 Tune");
  title_hook_chain empty(nullptr, nullptr);
  EXPECT_EQ(evaluated("%mood% %title%", &empty), "? Tune");
}

TEST(TitleRandHook, BoundsFollowTheParameters) {
  counting_random random;
  title_rand_hook rand_hook(random);
  EXPECT_EQ(evaluated("$rand(0)", &rand_hook), "0");
  EXPECT_EQ(evaluated("$RAND(x)", &rand_hook), "0");
  EXPECT_EQ(evaluated("$rand()", &rand_hook), "4294967294");
  EXPECT_EQ(evaluated("$rand(1,2)", &rand_hook), "4294967294");
  EXPECT_EQ(random.bounds, (std::vector<std::uint64_t>{0xFFFFFFFFu, 0xFFFFFFFFu}));
  // Bounds beyond 32 bits draw from the whole 64-bit range.
  EXPECT_EQ(evaluated("$rand(10000000000)", &rand_hook), "9999999999");
}

TEST(TitleRandHook, DrawsBelowTheBoundWithTheRealGenerator) {
  const service_ptr<random_source> random(new service_counted<crypto_random_source>());
  title_rand_hook rand_hook(*random);
  for (int i = 0; i < 50; ++i) {
    const int value = std::stoi(evaluated("$rand(10)", &rand_hook));
    EXPECT_GE(value, 0);
    EXPECT_LT(value, 10);
  }
}

TEST(TrackSortKeys, OrdersTracksByTheScriptTextNaturally) {
  const char* titles[] = {"b", "Track 10", "a", "Track 9", "A"};
  track_handle_list handles;
  for (std::size_t i = 0; i < std::size(titles); ++i) {
    handles.push_back(titled_track("unclaimed://sort/" + std::to_string(i), titles[i]));
  }
  std::vector<std::uint32_t> order(handles.size());
  sort_tracks_by_script(order, handles, *title_script::compile("%title%"));
  // Case ignored with ties by index, digit runs by value.
  EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 4, 0, 3, 1}));
}

TEST(TrackSortKeys, ManyTracksGetEveryIndexOnceAcrossWorkers) {
  track_handle_list handles;
  for (int i = 0; i < 1000; ++i) {
    handles.push_back(titled_track("unclaimed://many/" + std::to_string(i), std::to_string(999 - i).c_str()));
  }
  std::vector<std::uint32_t> order(handles.size());
  sort_tracks_by_script(order, handles, *title_script::compile("%title%"));
  for (std::uint32_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], 999 - i);

  sort_tracks_by_script(order, handles, *title_script::compile("$rand()"));
  EXPECT_EQ(std::set<std::uint32_t>(order.begin(), order.end()).size(), handles.size());
}

} // namespace
