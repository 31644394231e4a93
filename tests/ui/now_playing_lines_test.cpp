// The now-playing lines composed for tagged tracks through the real title
// formatting, and written into SysLink controls by every playback event.
#include "ui/main/now_playing_lines.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "core/localized_text.h"
#include "foundation/main_thread.h"
#include "foundation/string_small.h"
#include "metadata/track_display_info.h"
#include "metadata/track_info.h"
#include "metadata/track_handle_registry.h"

namespace {

struct tags {
  const char* title = nullptr;
  const char* artist = nullptr;
  const char* album_artist = nullptr;
  const char* album = nullptr;
  const char* date = nullptr;
};

now_playing_evaluator playing(const tags& values) {
  track_display_info record;
  if (values.title) record.set(field_name_set::title, values.title);
  if (values.artist) record.set(field_name_set::artist, values.artist);
  if (values.album_artist) record.set(field_name_set::album_artist, values.album_artist);
  if (values.album) record.set(field_name_set::album, values.album);
  if (values.date) record.set(field_name_set::date, values.date);
  const track_handle_ptr track = track_handle_registry::get_handle(track_location("file://C:\\Music\\x.flac", 0));
  return [record, track](const title_script& script, std::string& out) {
    qiv::string_small text;
    track->evaluate_script_with_info(record, nullptr, text, script);
    out = text.get_ptr();
    return true;
  };
}

std::wstring window_text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

class NowPlayingLines : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    qiv::set_main_thread_id(GetCurrentThreadId());
    localized_text::set("ui_notice_playback_stopped", "Playback stopped");
    localized_text::set("ui_notice_playback_starting", "Starting playback...");
    localized_text::set("ui_np_unknown_artist", "Unknown artist");
    localized_text::set("ui_np_artist_prefix", "Artist:");
    localized_text::set("ui_np_album_prefix", "album:");
    localized_text::set("ui_np_album_suffix", " by {artist}");
  }

  now_playing_lines lines;
};

TEST_F(NowPlayingLines, ArtistsAndAlbumLinkIntoTheLibraryOnlyAfterALibraryStart) {
  const auto track = playing({"Song", "A, B", "A, B", "Album", "2001"});
  now_playing_texts texts = lines.compose(track, true, true);
  EXPECT_EQ(texts.title_line.text.rfind("<a>Song</a> [", 0), 0u) << texts.title_line.text;
  EXPECT_EQ(texts.detail_line.text, "Artist: <a>A</a>, <a>B</a>, album: <a>Album [2001]</a>");
  ASSERT_EQ(texts.detail_line.links.size(), 3u);
  EXPECT_EQ(texts.detail_line.links[1].path, (nav_path{{all_genres_key}, {L"B"}}));
  EXPECT_EQ(texts.detail_line.links[2].path, (nav_path{{all_genres_key}, {L"A", L"B"}, {L"Album [2001]"}}));
  EXPECT_TRUE(texts.has_album_link);

  texts = lines.compose(track, true, false);
  EXPECT_EQ(texts.detail_line.text, "Artist: A, B, album: Album [2001]") << "started from a folder";
  EXPECT_TRUE(texts.detail_line.links.empty());
}

TEST_F(NowPlayingLines, UntaggedTracksAndMarkupInTitles) {
  now_playing_texts texts = lines.compose(playing({}), true, true);
  EXPECT_EQ(texts.detail_line.text, "Unknown artist");
  EXPECT_FALSE(texts.has_album_link);

  texts = lines.compose(playing({"<b>x</b> <a href=y>", "Z"}), true, true);
  EXPECT_EQ(texts.title_line.text.find("<a><b>x<\xE2\x80\x8B/b> <\xE2\x80\x8B" "a href=y></a>"), 0u)
      << "only what could open or close a link is broken up, invisibly";
}

TEST_F(NowPlayingLines, TheAlbumArtistFollowsTheAlbumOfACompilationTrack) {
  now_playing_texts texts = lines.compose(playing({"Song", "Guest", "Various", "Mix", nullptr}), true, false);
  EXPECT_EQ(texts.detail_line.text, "Artist: Guest, album: Mix by Various");
  localized_text::set("ui_np_album_suffix", " (compilation)");
  texts = lines.compose(playing({"Song", "Guest", "Various", "Mix", nullptr}), true, false);
  EXPECT_EQ(texts.detail_line.text, "Artist: Guest, album: Mix") << "a suffix without {artist} is left out";
  localized_text::set("ui_np_album_suffix", " by {artist}");
}

TEST_F(NowPlayingLines, EveryPlaybackEventRewritesTheLinesIntoTheControls) {
  const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr, nullptr, nullptr);
  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LINK_CLASS};
  InitCommonControlsEx(&classes);
  const HWND title = CreateWindowExW(0, WC_LINK, L"", WS_CHILD, 0, 0, 400, 20, window, nullptr, nullptr, nullptr);
  const HWND detail = CreateWindowExW(0, WC_LINK, L"", WS_CHILD, 0, 30, 400, 20, window, nullptr, nullptr, nullptr);
  ASSERT_NE(title, nullptr);
  lines.attach(title, detail);
  const track_info_impl info;
  const std::function<void()> events[] = {
      [&] { lines.on_starting(1, false); },    [&] { lines.on_new_track({}); },
      [&] { lines.on_stop(0); },               [&] { lines.on_seek(1.0); },
      [&] { lines.on_pause(true); },           [&] { lines.on_info_change({}); },
      [&] { lines.on_dynamic_track_info(info); }, [&] { lines.on_dynamic_info(info); },
      [&] { lines.on_time(2.0); },
  };
  for (const auto& event : events) {
    SetWindowTextW(title, L"stale");
    SetWindowTextW(detail, L"stale");
    event();
    EXPECT_EQ(window_text(title), L"Playback stopped");
    EXPECT_EQ(window_text(detail), L"");
  }
  set_link_text(title, "Rock & Roll");
  EXPECT_EQ(window_text(title), L"Rock & Roll");
  EXPECT_TRUE(GetWindowLongW(title, GWL_STYLE) & LWS_NOPREFIX) << "an ampersand shows as itself, not as a mnemonic";
  DestroyWindow(window);
}

}  // namespace
