// The library views over a library of tagged tracks held in memory: levels,
// their order and "all" entries, playback order, copies of one song, captions
// and redraws after library changes.
#include "library/library_view_node.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/main_thread.h"
#include "tagged_tracks.h"

namespace {

using library_test::make_track;
using library_test::tags;

class memory_library final : public library_view_tracks {
public:
  track_handle_list tracks;
  library_change_callback* callback = nullptr;
  void get_all(track_handle_list& out) override { out = tracks; }
  void register_callback(library_change_callback* c) override { callback = c; }
  void unregister_callback(library_change_callback*) override { callback = nullptr; }
  bool is_scanning() override { return false; }
};

class counting_view_listener final : public nav_node_listener {
public:
  int changes = 0;
  void node_changed() override { ++changes; }
  void scanning_changed(bool) override {}
};

std::vector<std::string> node_names(const wide_text_list& list) {
  std::vector<std::string> out;
  for (const std::wstring& text : list) out.push_back(nav_utf8(text));
  return out;
}

std::vector<std::string> files(const track_handle_list& tracks) {
  std::vector<std::string> out;
  for (const track_handle_ptr& track : tracks) {
    const std::string path = track->get_location().get_path();
    out.push_back(path.substr(path.rfind('\\') + 1));
  }
  return out;
}

wide_text_list keys(std::initializer_list<const char*> list) {
  wide_text_list out;
  for (const char* text : list) out.push_back(nav_wide(text));
  return out;
}

using name_list = std::vector<std::string>;

class LibraryView : public ::testing::Test {
public:
  memory_library library;
  counting_view_listener listener;

  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    for (const tags& t : std::initializer_list<tags>{
             {.file = "a1.flac", .genre = "Rock; Pop", .artist = "Anna", .album_artist = "Anna", .album = "First",
              .disc = "1", .track = "2", .title = "Beta", .date = "2001"},
             {.file = "a2.flac", .genre = "Rock", .artist = "Anna", .album_artist = "Anna", .album = "First",
              .disc = "1", .track = "1", .title = "Alpha", .date = "2001"},
             {.file = "a3.flac", .genre = "Rock", .artist = "Guest", .album_artist = "Anna", .album = "First",
              .disc = "2", .track = "5", .title = "Gamma", .date = "2001"},
             {.file = "b1.flac", .genre = "rock", .artist = "Anna", .album_artist = "Various", .album = "Mix",
              .track = "7", .title = "Alpha", .date = "1999"},
             {.file = "c1.flac", .genre = "Disc 10;; ", .artist = "Carl", .album_artist = "Carl", .album = "Solo",
              .track = "1", .title = "Zeta", .date = "2005"},
             {.file = "c2.flac", .genre = "Disc 2; ", .artist = "Carl", .album_artist = "Carl", .album = "Later",
              .track = "1", .title = "Eta", .date = "2010"},
         })
      library.tracks.push_back(make_track(t));
  }

  std::unique_ptr<library_view_node> view(const nav_path& path) {
    return std::make_unique<library_view_node>(&listener, path, library);
  }
  std::string caption_of(library_view_node& node, std::vector<nav_location>* links = nullptr) {
    nav_caption caption;
    node.describe(caption);
    if (links) *links = caption.links;
    return caption.text;
  }
};

TEST_F(LibraryView, LevelsListTheirGroupsInNaturalOrder) {
  struct row {
    nav_path path;
    name_list entries;
    const char* why;
  };
  const row rows[] = {
      {{}, {"Disc 2", "Disc 10;", "Pop", "Rock", "rock"}, "genres by \"; \" parts, digit runs by value, Rock before rock"},
      {{{}}, {"Anna", "Carl", "Guest", "Various"}, "artists and album artists, no all entry at the root"},
      {{keys({"Pop"})}, {"[albums by all artists]", "Anna"}, "a chosen genre offers the all entry"},
      {{keys({"[all genres]"})}, {"Anna", "Carl", "Guest", "Various"}, "the all key lifts the genre choice"},
      {{{}, {}},
       {"[songs from all albums]", "Anna - First [2001]", "Carl - Solo [2005]", "Carl - Later [2010]", "Various - Mix [1999]"},
       "albums by album artist, then date"},
      {{{}, keys({"Carl"})}, {"[songs from all albums]", "Solo [2005]", "Later [2010]"}, "own albums by date"},
      {{{}, keys({"Anna"})}, {"[songs from all albums]", "First [2001]", "Mix [1999] // Various"},
       "own albums first, the others with their album artist"},
      {{{}, keys({"Guest"})}, {"First [2001] // Anna"}, "a single album has no all entry"},
      {{{}, keys({"Anna"}), keys({"First [2001]"})}, {"1.01. Alpha", "1.02. Beta", "2.05. Gamma // Guest"},
       "one album: disc and track numbers, the track artist when it differs"},
      {{{}, keys({"Anna"}), {}}, {"Alpha", "Beta", "Gamma"}, "several albums: plain titles, equal titles merged"},
  };
  for (const row& r : rows) {
    auto node = view(r.path);
    // The list's own copy, made before the node is asked for its entries.
    EXPECT_EQ(node_names(node->copy_entries()), r.entries) << r.why;
    EXPECT_TRUE(node->has_tracks()) << r.why;
    EXPECT_EQ(node_names(node->entries()), r.entries) << r.why;
    EXPECT_EQ(node->get_path().size(), std::min<std::size_t>(r.path.size(), 3)) << r.why;
  }
}

TEST_F(LibraryView, PlaysAlbumByAlbumInDiscAndTrackOrder) {
  auto node = view({{}});
  track_handle_list tracks;
  node->get_tracks(keys({"Anna"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"a2.flac", "a1.flac", "a3.flac", "b1.flac"}));
  node->get_tracks({}, tracks);
  EXPECT_EQ(tracks.size(), 6u) << "no names: every track of the level";
  EXPECT_EQ(node_names(node->get_path()[0]), name_list()) << "asking for tracks leaves the view as it was";

  auto genres = view({});
  genres->get_tracks(keys({"Rock", "Pop"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"a2.flac", "a1.flac", "a3.flac"})) << "a track of two chosen genres comes once";

  auto songs = view({{}, {}, {}});
  songs->get_tracks(keys({"Beta", "Alpha"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"a2.flac", "b1.flac", "a1.flac"})) << "by title, not by choice order";
}

TEST_F(LibraryView, GroupsByExactTextInNaturalOrderWithCaseVariantsApart) {
  library.tracks.clear();
  for (const tags& t : std::initializer_list<tags>{
           {.file = "v1.flac", .genre = "Pop; Rock; Pop; Jazz", .artist = "abba", .title = "Song"},
           {.file = "v2.flac", .genre = "rock", .artist = "ABBA", .title = "song"},
           {.file = "v3.flac", .artist = "Abba", .album_artist = "Abba", .title = "Song"},
           {.file = "v4.flac"},
           {.file = "v5.flac", .genre = "; ; ", .artist = "Under; Uber; Abba", .title = "Song "},
       })
    library.tracks.push_back(make_track(t));
  EXPECT_EQ(node_names(view({})->entries()), name_list({"Jazz", "Pop", "Rock", "rock"})) << "a value given twice is one group";
  EXPECT_EQ(node_names(view({{}})->entries()), name_list({"ABBA", "Abba", "abba", "Uber", "Under"}))
      << "names equal but for case stay apart, in code-unit order; empty values make no group";
  auto songs = view({{}, {}, {}});
  EXPECT_EQ(node_names(songs->entries()), name_list({"Song", "song", "Song ", "v4"})) << "a track without a title goes by its file name";
  track_handle_list tracks;
  songs->get_tracks(keys({"Song"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"v1.flac", "v3.flac"}));
  auto artists = view({{}});
  artists->get_tracks(keys({"Abba"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"v3.flac", "v5.flac"}));
}

TEST_F(LibraryView, AlbumsTellApartTracksByEveryFieldTheirCaptionsRead) {
  // Without an album artist the artist names the album; with one, the track
  // artist no longer matters; the date parts albums of one name.
  library.tracks.clear();
  for (const tags& t : std::initializer_list<tags>{
           {.file = "x1.flac", .artist = "Dora", .album = "Live", .title = "One", .date = "2000"},
           {.file = "x2.flac", .artist = "Emil", .album = "Live", .title = "One", .date = "2000"},
           {.file = "x3.flac", .artist = "Emil", .album_artist = "Dora", .album = "Live", .title = "Two", .date = "2000"},
           {.file = "x4.flac", .artist = "Dora", .album = "Live", .title = "Three", .date = "2000"},
           {.file = "x5.flac", .artist = "Dora", .album = "Live", .title = "One", .date = "2003"},
       })
    library.tracks.push_back(make_track(t));
  auto albums = view({{}, {}});
  EXPECT_EQ(node_names(albums->entries()),
            name_list({"[songs from all albums]", "Dora - Live [2000]", "Dora - Live [2003]", "Emil - Live [2000]"}));
  track_handle_list tracks;
  albums->get_tracks(keys({"Dora - Live [2000]"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"x1.flac", "x4.flac", "x3.flac"})) << "by title within the album";
  albums->get_tracks(keys({"Emil - Live [2000]"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"x2.flac"}));
}

TEST_F(LibraryView, AlbumsApartByExactTextWhateverTheirCharacters) {
  // Case variants share their sort text, so code-unit order decides among
  // them; characters beyond U+FFFF sort after those from U+E000 in UTF-16;
  // bytes that are not UTF-8 still make an album of their own.
  library.tracks.clear();
  const char* const albums[] = {"live", "Live", "LIVE", "\xF0\x9F\x8E\xB5", "\xEE\x80\x80", "Caf\xE9", "Live"};
  for (std::size_t i = 0; i < std::size(albums); ++i)
    library.tracks.push_back(make_track({.file = ("y" + std::to_string(i) + ".flac").c_str(), .artist = "Dora",
                                         .album_artist = "Dora", .album = albums[i], .title = "T", .date = "2000"}));
  auto all = view({{}, {}});
  EXPECT_EQ(node_names(all->entries()),
            name_list({"[songs from all albums]", "Dora - Caf\xEF\xBF\xBD [2000]", "Dora - LIVE [2000]", "Dora - Live [2000]",
                     "Dora - live [2000]", "Dora - \xEE\x80\x80 [2000]", "Dora - \xF0\x9F\x8E\xB5 [2000]"}));
  auto own = view({{}, keys({"Dora"})});
  EXPECT_EQ(node_names(own->entries()), name_list({"[songs from all albums]", "Caf\xEF\xBF\xBD [2000]", "LIVE [2000]", "Live [2000]",
                                            "live [2000]", "\xEE\x80\x80 [2000]", "\xF0\x9F\x8E\xB5 [2000]"}));
  track_handle_list tracks;
  all->get_tracks(keys({"Dora - Live [2000]"}), tracks);
  EXPECT_EQ(files(tracks), name_list({"y1.flac", "y6.flac"}));
}

TEST_F(LibraryView, ControlCharactersInLongValuesShowAsUnderscores) {
  library.tracks.clear();
  library.tracks.push_back(make_track({.file = "t1.flac", .artist = "Dora", .album = "Songs\tof\x01the long road home",
                                       .title = "A title longer than a short string\x1F\x1F!", .date = "2000"}));
  EXPECT_EQ(node_names(view({{}, {}, {}})->entries()), name_list({"A title longer than a short string__!"}));
  EXPECT_EQ(node_names(view({{}, {}})->entries()), name_list({"Dora - Songs_of_the long road home [2000]"}));
}

TEST_F(LibraryView, AnAlbumCaptionSharedByTwoAlbumsNamesTheLaterOnesAlbum) {
  // "C - A - B [2000]" from either album "A - B" by "C" or album "B" by "C - A".
  library.tracks.clear();
  library.tracks.push_back(make_track({.file = "s1.flac", .album_artist = "C", .album = "A - B", .title = "One", .date = "2000"}));
  library.tracks.push_back(make_track({.file = "s2.flac", .album_artist = "C - A", .album = "B", .title = "Two", .date = "2000"}));
  EXPECT_EQ(caption_of(*view({{}, {}, keys({"C - A - B [2000]"})})), "Album: <a>B [2000]</a>, artist: <a>C - A</a>");
  std::swap(library.tracks[0], library.tracks[1]);
  EXPECT_EQ(caption_of(*view({{}, {}, keys({"C - A - B [2000]"})})), "Album: <a>A - B [2000]</a>, artist: <a>C</a>");
}

TEST_F(LibraryView, MovesOneLevelAtATime) {
  auto node = view({{}, {}, {}});
  node->open(keys({"Alpha"}));
  EXPECT_EQ(node->get_path().size(), 3u) << "the song level opens nothing";
  for (int i = 0; i < 4; ++i) node->go_up();
  EXPECT_FALSE(node->can_go_up());
  EXPECT_EQ(node->entries().front(), L"Disc 2");
}

TEST_F(LibraryView, RedrawsOnlyWhenTheEntriesChange) {
  auto node = view({});
  library.tracks.push_back(make_track({.file = "d1.flac", .genre = "Pop", .title = "New"}));
  library.callback->on_items_added({library.tracks.back()});
  EXPECT_EQ(listener.changes, 0) << "a track of a listed genre changes no entry";
  library.tracks.push_back(make_track({.file = "d2.flac", .genre = "Ska", .title = "New"}));
  library.callback->on_items_added({library.tracks.back()});
  EXPECT_EQ(listener.changes, 1);
  EXPECT_EQ(node_names(node->entries()).back(), "Ska");

  auto songs = view({{}, {}, {}});
  library.tracks.push_back(make_track({.file = "d3.flac", .title = "Zeta"}));
  library.callback->on_items_added({library.tracks.back()});
  EXPECT_EQ(listener.changes, 1) << "a second song of a listed title changes no entry";
  library.tracks.push_back(make_track({.file = "d4.flac", .title = "Zz"}));
  library.callback->on_items_added({library.tracks.back()});
  EXPECT_EQ(listener.changes, 2);
  EXPECT_EQ(node_names(songs->copy_entries()).back(), "Zz");
}

TEST_F(LibraryView, ASelectionWhoseTracksAllLeaveGoesBackToTheLevelItWasChosenIn) {
  auto node = view({{}, keys({"Anna"}), keys({"First [2001]"})});
  ASSERT_EQ(node->entries().size(), 3u);
  // The album's folder deleted: its three tracks leave the library.
  const track_handle_list gone(library.tracks.begin(), library.tracks.begin() + 3);
  library.tracks.erase(library.tracks.begin(), library.tracks.begin() + 3);
  library.callback->on_items_removed(gone);
  EXPECT_EQ(node->get_path(), (nav_path{{}, keys({"Anna"})}));
  EXPECT_EQ(node_names(node->entries()), name_list({"Mix [1999] // Various"}));
  EXPECT_EQ(caption_of(*node).find("???"), std::string::npos) << caption_of(*node);
  EXPECT_EQ(listener.changes, 1);

  // A view opened before the library has loaded waits for its tracks.
  memory_library loading;
  library_view_node early(&listener, {{}, keys({"Carl"}), keys({"Solo [2005]"})}, loading);
  loading.tracks = library.tracks;
  loading.callback->on_items_added(loading.tracks);
  EXPECT_EQ(node_names(early.entries()), name_list({"01. Zeta"}));
}

TEST_F(LibraryView, TellsWhichEntriesHoldATrackAfterEveryChange) {
  const track_handle* a2 = library.tracks[1].get();
  const track_handle* b1 = library.tracks[3].get();
  auto node = view({{}, {}, {}});
  EXPECT_TRUE(node->entry_is_track(L"Alpha", b1));
  EXPECT_FALSE(node->entry_is_track(L"Zeta", b1));
  EXPECT_TRUE(node->entry_is_track(L"Alpha", a2)) << "a second track asked after the first";
  EXPECT_FALSE(node->entry_is_track(L"Beta", a2));

  library.tracks[1] = make_track({.file = "a2.flac", .artist = "Anna", .title = "Omega", .file_time = 2});
  library.callback->on_items_modified({library.tracks[1]});
  EXPECT_TRUE(node->entry_is_track(L"Omega", a2)) << "a retitled track is found under its new entry";
  EXPECT_FALSE(node->entry_is_track(L"Alpha", a2));

  node->go_up();
  node->go_up();
  const track_handle* a3 = library.tracks[2].get();
  EXPECT_TRUE(node->entry_is_track(L"Anna", a3)) << "a level up: the track artist and the album artist";
  EXPECT_TRUE(node->entry_is_track(L"Guest", a3));
  EXPECT_FALSE(node->entry_is_track(L"Carl", a3));
}

TEST_F(LibraryView, CaptionsLinkBackIntoTheViews) {
  struct row {
    nav_path path;
    const char* caption;
    const char* why;
  };
  const row rows[] = {
      {{}, "All genres", "genres"},
      {{keys({"Rock", "Pop"})}, "All artists in <a>Rock</a>, <a>Pop</a>", "chosen genres as links"},
      {{keys({"Rock"}), keys({"Anna"})}, "<a>Rock</a> albums, artist: <a>Anna</a>", "genre and artist"},
      {{{}, {}, {}}, "All songs", "all songs"},
      {{{}, keys({"Anna"}), keys({"First [2001]"})}, "Album: <a>First [2001]</a>, artist: <a>Anna</a>",
       "an artist's own album"},
      {{{}, {}, keys({"Anna - First [2001]"})}, "Album: <a>First [2001]</a>, artist: <a>Anna</a>",
       "from the albums root the album artist is named"},
      {{keys({"Rock", "rock"}), keys({"Anna"}), keys({"First [2001]", "Mix [1999] // Various", "Gone"})},
       "Albums: <a>First [2001]</a>, <a>Mix [1999]</a>, artist: <a>Various</a>, ???, artist: <a>Anna</a>, genre: "
       "<a>Rock</a>, <a>rock</a>",
       "several albums, one missing"},
  };
  for (const row& r : rows) {
    auto node = view(r.path);
    EXPECT_EQ(caption_of(*node), r.caption) << r.why;
  }
  std::vector<nav_location> links;
  caption_of(*view({{}, {}, keys({"Anna - First [2001]"})}), &links);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].path, nav_path({keys({"[all genres]"}), keys({"Anna"}), keys({"First [2001]"})}))
      << "the album link opens the album under its album artist";
  auto node = view(links[0].path);
  EXPECT_EQ(node_names(node->entries()), name_list({"1.01. Alpha", "1.02. Beta", "2.05. Gamma // Guest"}));
}

TEST(DuplicateSongs, KeepsTheBestCopyOfNeighbouringEqualSongs) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  struct row {
    std::vector<tags> copies;
    name_list kept;
    const char* why;
  };
  const auto song = [](const char* file, std::uint64_t time = 1, const char* title = "Song") {
    return tags{.file = file, .artist = "X", .title = title, .file_time = time};
  };
  const row rows[] = {
      {{song("s.mp3"), song("s.flac")}, {"s.flac"}, "flac over mp3"},
      {{song("t.mp3", 5), song("t.Mp3", 9)}, {"t.Mp3"}, "equal rank: the later file"},
      {{song("u.mp3", 5), song("u.MP3", 5)}, {"u.mp3"}, "equal rank and time: the first"},
      {{song("v.wv"), song("v.flac?x")}, {"v.flac?x"}, "the extension ends before a question mark"},
      {{song("w.mp3"), song(("w." + std::string(40, 'f')).c_str())}, {"w.mp3"}, "a 40-byte extension ranks 0"},
      {{song("x.ogg"), song("y.ogg", 1, "Other"), song("x.flac")}, {"x.ogg", "y.ogg", "x.flac"},
       "only neighbours merge"},
  };
  for (const row& r : rows) {
    track_handle_list tracks;
    for (const tags& t : r.copies) tracks.push_back(make_track(t));
    library_view_node::drop_duplicate_songs(tracks);
    EXPECT_EQ(files(tracks), r.kept) << r.why;
  }
}

}  // namespace
