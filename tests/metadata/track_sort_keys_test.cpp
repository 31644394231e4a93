#include "metadata/track_sort_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/exceptions.h"
#include "foundation/string_small.h"
#include "foundation/wide_buffer.h"
#include "metadata/track_handle_registry.h"
#include "title/title_function_test_fixture.h"

namespace {

using namespace field_name_set;

track_handle_ptr titled_track(const std::string& path, const char* title_text) {
  const track_handle_ptr handle = track_handle_registry::get_handle(track_location(path.c_str(), 0));
  track_display_info record;
  record.set(title, title_text);
  handle->set_info(record, 0, 0, true);
  return handle;
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
  fake_field_provider extra;  // answers %x% with "x"
  const qiv::ref_ptr<title_script> script = title_script::compile("%title% %x%");
  std::vector<std::wstring> texts;
  for (const auto& handle : handles) {
    qiv::string_small out;
    handle->evaluate_script_locked(&extra, out, *script);
    texts.push_back(qiv::string_to_wide(out.get_ptr()).get_ptr());
  }
  std::vector<std::uint32_t> expected(handles.size());
  std::iota(expected.begin(), expected.end(), 0u);
  std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
    return StrCmpLogicalW(texts[a].c_str(), texts[b].c_str()) < 0;
  });

  std::vector<std::uint32_t> order(handles.size());
  sort_tracks_by_script(order, handles, *script, &extra);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(texts[0], L"0 x");  // the file name of the uncached track

  sort_tracks_by_script(order, handles, *title_script::compile("$rand()"));
  EXPECT_EQ(std::set<std::uint32_t>(order.begin(), order.end()).size(), handles.size());
  std::vector<std::uint32_t> wrong_size(3);
  EXPECT_THROW(sort_tracks_by_script(wrong_size, handles, *script), qiv::exception_invalid_params);
}

} // namespace
