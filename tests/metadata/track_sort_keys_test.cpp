#include "metadata/track_sort_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/exceptions.h"
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

// Real handles through the script, on every worker: titles that sort
// apart from their text's byte order, a track without cached info (its file
// name stands in for the title) and the extra hook's field.
TEST(TrackSortKeys, OrderIsTheStableNaturalOrderOfEachTracksText) {
  const char* titles[] = {"b", "Track 10", "a", "Track 9", "A", "x4294967296", "x01", "x1", "\xD0\x9F\xD0\xB5"};
  track_handle_list handles;
  for (int i = 0; i < 1000; ++i) {
    const std::string path = "unclaimed://sort/" + std::to_string(i) + ".flac";
    if (i % 97 == 0)
      handles.push_back(track_handle_registry::get_handle(track_location(path.c_str(), 0)));
    else
      handles.push_back(titled_track(path, titles[i % std::size(titles)]));
  }
  mood_provider moods;
  const qiv::ref_ptr<title_script> script = title_script::compile("%title% %mood%");
  std::vector<std::wstring> texts;
  for (const auto& handle : handles) {
    qiv::string_small out;
    handle->evaluate_script_locked(&moods, out, *script);
    const std::string text = out.get_ptr();
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    texts.push_back(wide);
  }
  std::vector<std::uint32_t> expected(handles.size());
  std::iota(expected.begin(), expected.end(), 0u);
  std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
    return StrCmpLogicalW(texts[a].c_str(), texts[b].c_str()) < 0;
  });

  std::vector<std::uint32_t> order(handles.size());
  sort_tracks_by_script(order, handles, *script, &moods);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(texts[0], L"0 calm");  // the file name of the uncached track

  sort_tracks_by_script(order, handles, *title_script::compile("$rand()"));
  EXPECT_EQ(std::set<std::uint32_t>(order.begin(), order.end()).size(), handles.size());
  std::vector<std::uint32_t> wrong_size(3);
  EXPECT_THROW(sort_tracks_by_script(wrong_size, handles, *script), qiv::exception_invalid_params);
}

} // namespace
