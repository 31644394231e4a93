// The navigation controller: the last location as stored in config.dat
// (portable folders relative to the program), the roots line, the history
// through Up, Back and Forward with the list state of each entry, and
// opening paths handed over from outside.
#include "library/nav_controller.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "io/io_exceptions.h"
#include "library/folders_view_node.h"
#include "library_test_support.h"
#include "tagged_tracks.h"
#include "tests/support/byte_stream_buffers.h"

namespace {

using namespace test_support;

const nav_path program = {{L"D:"}, {L"Apps"}, {L"Zorv"}};

nav_location round_trip(const nav_location& location, int portable, const nav_path& read_under,
                        nav_path* stored_path = nullptr) {
  config_item* list = nullptr;
  nav_last_location_item writer(&list);
  writer.program_folder = program;
  writer.portable = portable;
  writer.value = location;
  vector_writer out;
  writer.write(out, never_raised_abort_signal());
  nav_last_location_item reader(&list);
  reader.program_folder = read_under;
  vector_reader in(out.data);
  reader.read(in, static_cast<std::uint32_t>(out.data.size()), never_raised_abort_signal());
  if (stored_path) {
    nav_last_location_item raw(&list);
    raw.program_folder = {{L"<kept>"}};
    vector_reader again(out.data);
    raw.read(again, 0, never_raised_abort_signal());
    *stored_path = raw.value.path;
  }
  return reader.value;
}

TEST(NavLastLocation, StoresLocationsAndPortableFolders) {
  const nav_path moved = {{L"E:"}, {L"Zorv"}};
  const struct {
    nav_location location;
    int portable;
    nav_location restored;
    const char* why;
  } rows[] = {
      {{0, {{}, {L"A", L"B"}, {}}}, 1, {0, {{}, {L"A", L"B"}, {}}}, "library paths keep empty components"},
      {{1, {{L"D:"}, {L"Apps"}, {L"Zorv"}, {L"Music"}}}, 1, {1, {{L"E:"}, {L"Zorv"}, {L"Music"}}},
       "portable: restored under the moved program folder"},
      {{1, {{L"D:"}, {L"Apps"}, {L"Zorv"}, {L"Music"}}}, 0, {1, {{L"D:"}, {L"Apps"}, {L"Zorv"}, {L"Music"}}},
       "installed: stored as it is"},
      {{1, {{L"D:"}, {L"Apps"}}}, 1, {1, {{L"D:"}, {L"Apps"}}}, "a folder above the program stays absolute"},
      {{2, {{L"ü€"}}}, 1, {2, {{L"ü€"}}}, "non-ASCII keys"},
  };
  for (const auto& r : rows) EXPECT_EQ(round_trip(r.location, r.portable, moved), r.restored) << r.why;
  nav_path stored;
  round_trip({1, {{L"D:"}, {L"Apps"}, {L"Zorv"}, {L"M"}}}, 1, moved, &stored);
  EXPECT_EQ(stored, nav_path({{L"<kept>"}, {L"M"}})) << "the marker stands for the program folder";
}

TEST(NavLastLocation, RefusesDamagedRecords) {
  config_item* list = nullptr;
  nav_last_location_item item(&list);
  const bytes records[] = {
      u32_bytes({3, 0}),                 // a kind beyond the music folders view
      u32_bytes({0, 0x40000000}),        // a component count far beyond the data
      u32_bytes({0, 1, 1, 100, 0x41}),   // a text longer than what remains
  };
  for (const bytes& record : records) {
    vector_reader in(record);
    EXPECT_THROW(item.read(in, static_cast<std::uint32_t>(record.size()), never_raised_abort_signal()),
                 vantrel_io::exception_io);
    EXPECT_EQ(item.value, (nav_location{0, {{}, {}}})) << "a damaged record changes nothing";
  }
}

// The folder text "." (a portable library) names the program's folder in
// every location and caption made from it, never the working folder.
TEST(NavRoots, ThePortableFolderTextLeadsToTheProgramsFolder) {
  app::state().program_path = qiv::string_small("D:\\Apps\\Zorv\\zorv.exe");
  EXPECT_EQ(nav_roots_build({"."})[3].location, (nav_location{1, program}));
  folders_view_node view({{folders_view_root_key}}, [] { return std::vector<std::string>{".", "E:\\Music"}; });
  EXPECT_EQ(view.entries(), wide_text_list({L"Zorv", L"Music"}));
  nav_location target;
  ASSERT_TRUE(view.link_target(target, L"Zorv"));
  EXPECT_EQ(target, (nav_location{1, program}));
  const nav_path moved = {{L"E:"}, {L"Zorv"}};
  EXPECT_EQ(round_trip({1, {{L"."}, {L"Music"}}}, 1, moved), (nav_location{1, {{L"E:"}, {L"Zorv"}, {L"Music"}}}))
      << "a location stored under the folder text reads as under the program's folder";
}

TEST(NavRoots, OneMusicFolderIsLinkedDirectly) {
  EXPECT_EQ(nav_roots_build({"D:\\Music"})[3].location, (nav_location{1, {{L"D:"}, {L"Music"}}}));
  for (const auto& folders : {std::vector<std::string>{}, std::vector<std::string>{"D:\\A", "D:\\B"}})
    EXPECT_EQ(nav_roots_build(folders)[3].location.kind, 2u);
  EXPECT_EQ(nav_roots_build({}).size(), 5u);
}

class NavController : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder music;
  nav_controller controller;

  // Folders listed at once, so that each move can be checked at once.
  NavController() { controller.build_folders_in_background = false; }

  std::wstring at(const std::string& sub = "") {
    std::string path = music.path(sub);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return io_test::wide(path);
  }
  std::wstring shown() {
    std::wstring folder;
    controller.node()->get_folder_path(folder);
    return folder;
  }
};

TEST_F(NavController, UpBackAndForwardWalkTheHistory) {
  library_test::make_folder(music.path("sub"));
  controller.navigate({1, nav_split_path(at())});
  controller.open({L"sub"});
  EXPECT_EQ(shown(), at("sub"));
  controller.go_up();
  EXPECT_EQ(shown(), at());
  EXPECT_EQ(controller.view().selection, wide_text_list({L"sub"})) << "Up selects where it came from";
  EXPECT_TRUE(controller.history_step(1));
  EXPECT_EQ(shown(), at("sub"));
  EXPECT_TRUE(controller.history_step(1));
  EXPECT_FALSE(controller.view().can_back);
  EXPECT_TRUE(controller.history_step(1)) << "nothing before: a beep, still handled";
  EXPECT_EQ(shown(), at());
  EXPECT_TRUE(controller.history_step(2));
  EXPECT_EQ(shown(), at("sub"));
  EXPECT_FALSE(controller.history_step(3));
  EXPECT_EQ(nav_last_location.value, (nav_location{1, nav_split_path(at("sub"))}));
}

TEST_F(NavController, TheShownRootIsPlainTextInTheRootsLine) {
  controller.navigate({1, {}});
  EXPECT_EQ(controller.view().nav_line.links.size(), 4u);
  for (const nav_location& link : controller.view().nav_line.links) EXPECT_NE(link, (nav_location{1, {}}));
}

TEST_F(NavController, OpensPathsHandedOverFromOutside) {
  library_test::make_folder(music.path("inner"));
  library_test::make_folder(music.path("other"));
  io_test::write_file(music.path("inner\\a.tst"), "TST\nA");
  io_test::write_file(music.path("other\\b.tst"), "TST\nB");
  const struct {
    wide_text_list paths;
    std::wstring folder;
    wide_text_list selection;
    const char* why;
  } rows[] = {
      {{at("inner")}, at("inner"), {}, "a single folder is entered"},
      {{at("inner\\a.tst")}, at("inner"), {L"a.tst"}, "a single file: its folder, the file selected"},
      {{at("other\\b.tst"), at("inner\\a.tst")}, at("other"), {L"b.tst", L"a.tst"},
       "several folders: the first path's folder"},
  };
  for (const auto& r : rows) {
    controller.open_path(r.paths, false);
    EXPECT_EQ(shown(), r.folder) << r.why;
    EXPECT_EQ(controller.view().selection, r.selection) << r.why;
  }
  track_handle_list tracks = {metadata_test::handle(music.file_url("inner\\a.tst"), 0),
                              metadata_test::handle(music.file_url("inner\\b.tst"), 0)};
  std::wstring folder;
  wide_text_list names;
  ASSERT_TRUE(nav_controller::go_to_common_folder(tracks, folder, names));
  EXPECT_EQ(folder, at("inner"));
  EXPECT_EQ(names, wide_text_list({L"a.tst", L"b.tst"}));
  tracks.push_back(metadata_test::handle(music.file_url("other\\b.tst"), 0));
  EXPECT_FALSE(nav_controller::go_to_common_folder(tracks, folder, names)) << "tracks in two folders";
}

// A window that shows the controller's views and hands back its list as
// the user left it.
class recording_host : public nav_view_host {
public:
  nav_list_state now;
  int views = 0;
  nav_list_state list_state() override { return now; }
  void view_changed() override { ++views; }
  void play_from(const wide_text_list& selection) override { played.push_back(selection); }
  void node_changed() override {}
  void scanning_changed(bool scanning) override { scanning_reports.push_back(scanning); }
  std::vector<wide_text_list> played;
  std::vector<bool> scanning_reports;
};

TEST_F(NavController, BackAndForwardReturnToTheListAsItWasLeft) {
  recording_host host;
  controller.set_host(&host);
  library_test::make_folder(music.path("sub"));
  library_test::make_folder(music.path("sub\\inner"));
  io_test::write_file(music.path("sub\\a.tst"), "TST\nA");
  controller.navigate({1, nav_split_path(at())});
  controller.open({L"sub"});
  EXPECT_EQ(host.views, 2) << "every new view reaches the window";
  host.now = {{L"a.tst"}, {L"a.tst"}, nav_scroll_position{0, 7}};
  controller.open({L"inner"});
  host.now = {};
  controller.history_step(1);
  EXPECT_EQ(controller.view().selection, wide_text_list({L"a.tst"}));
  EXPECT_EQ(controller.view().focus, wide_text_list({L"a.tst"}));
  EXPECT_EQ(controller.view().scroll, (nav_scroll_position{0, 7}));

  host.now = {{L"inner"}, {}, nav_scroll_position{}};
  controller.refresh(true);
  EXPECT_EQ(controller.view().selection, wide_text_list({L"inner"})) << "a refresh keeps what the user selected";

  controller.go_up();
  EXPECT_EQ(controller.view().selection, wide_text_list({L"sub"}));
  EXPECT_EQ(controller.view().focus, wide_text_list({L"sub"})) << "Up lands on the level it left";
  EXPECT_FALSE(controller.view().can_forward) << "a new step drops the entries ahead";
  controller.set_host(nullptr);
}

TEST_F(NavController, HandedOverFilesArePlayedByTheWindowAndLeavingTheLibraryEndsItsNotice) {
  recording_host host;
  controller.set_host(&host);
  io_test::write_file(music.path("a.tst"), "TST\nA");
  io_test::write_file(music.path("b.tst"), "TST\nB");
  controller.open_path({at("b.tst")}, false);
  EXPECT_TRUE(host.played.empty()) << "dropped files are not played";
  controller.open_path({at("b.tst")}, true);
  EXPECT_EQ(host.played, std::vector<wide_text_list>({{L"b.tst"}}))
      << "the window's own Play action gets the file, to play the folder from it on";

  controller.navigate({0, {{}, {}}});
  host.scanning_reports.clear();
  controller.navigate({1, nav_split_path(at())});
  EXPECT_EQ(host.scanning_reports, std::vector<bool>({false})) << "a folder view shows no indexing notice";
  controller.navigate({1, {}});
  EXPECT_EQ(host.scanning_reports.size(), 1u) << "a move within the same kind leaves the notice alone";
  controller.set_host(nullptr);
}

TEST_F(NavController, FoldersAreListedOnTheWorkerAndUpActsOnTheFolderBeingListed) {
  recording_host host;
  controller.set_host(&host);
  controller.build_folders_in_background = true;
  library_test::make_folder(music.path("sub"));
  library_test::make_folder(music.path("sub\\inner"));
  for (const char* name : {"sub\\b.tst", "sub\\a.tst", "sub\\10.tst"}) io_test::write_file(music.path(name), "TST\nA");
  const auto landed = [&] { return library_test::wait_until([&] { return !controller.is_building(); }); };
  controller.navigate({1, nav_split_path(at("sub"))});
  EXPECT_FALSE(controller.is_building()) << "the first folder shown is listed at once";
  controller.navigate({1, nav_split_path(at())});
  EXPECT_TRUE(controller.is_building());
  EXPECT_EQ(host.views, 1) << "the window keeps its list, and answers, until the folder is listed";
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"sub"}));

  controller.open({L"sub"});
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"inner", L"10.tst", L"a.tst", L"b.tst"}));
  EXPECT_TRUE(controller.node()->is_track(L"a.tst")) << "the shown node is the one listed";
  EXPECT_EQ(shown(), at("sub"));

  controller.open({L"inner"});
  controller.go_up();  // typed ahead: up from the folder being listed
  ASSERT_TRUE(landed());
  EXPECT_EQ(shown(), at("sub"));
  EXPECT_EQ(controller.view().selection, wide_text_list({L"inner"})) << "Up selects the folder it came from";
  controller.history_step(1);
  controller.history_step(1);  // back past the folder typed through, before it lands
  ASSERT_TRUE(landed());
  EXPECT_EQ(shown(), at("sub"));
  EXPECT_TRUE(controller.view().can_back);
  EXPECT_EQ(controller.history_size(), 5u) << "sub, music, sub, inner (typed past), sub";

  controller.navigate({1, nav_split_path(at("missing"))});
  controller.navigate({0, {}});
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.node()->kind(), nav_kind_library_view) << "a library view overtakes a folder being listed";
  controller.set_host(nullptr);
}

// A library in memory that any number of views and counters follow.
class followed_library final : public library_view_tracks {
public:
  track_handle_list tracks;
  std::vector<library_change_callback*> callbacks;
  void get_all(track_handle_list& out) override { out = tracks; }
  void register_callback(library_change_callback* c) override { callbacks.push_back(c); }
  void unregister_callback(library_change_callback* c) override { std::erase(callbacks, c); }
  bool is_scanning() override { return false; }
  void add(const library_test::tags& t) {
    tracks.push_back(library_test::make_track(t));
    for (library_change_callback* c : std::vector(callbacks)) c->on_items_added({tracks.back()});
  }
};

// Every library view built on the worker, as for a large library.
class NavControllerBuildingInBackground : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  followed_library library;
  recording_host host;
  nav_controller controller{nullptr, library};

  void SetUp() override {
    controller.background_build_tracks = 0;
    controller.set_host(&host);
    library.add({.file = "a1.flac", .genre = "Rock", .artist = "Anna", .album_artist = "Anna", .album = "First",
                 .track = "1", .title = "Alpha", .date = "2001"});
    library.add({.file = "a2.flac", .genre = "Rock", .artist = "Anna", .album_artist = "Anna", .album = "First",
                 .track = "2", .title = "Beta", .date = "2001"});
    library.add({.file = "c1.flac", .genre = "Rock", .artist = "Carl", .album_artist = "Carl", .album = "Solo",
                 .track = "1", .title = "Eta"});
  }
  void TearDown() override { controller.set_host(nullptr); }

  bool landed() { return library_test::wait_until([&] { return !controller.is_building(); }); }
};

TEST_F(NavControllerBuildingInBackground, ALaterMoveOvertakesAViewStillBeingBuilt) {
  controller.navigate({0, {{}, {}}});
  EXPECT_TRUE(controller.is_building());
  EXPECT_EQ(host.views, 0) << "the window keeps its list, and answers, until the view is built";
  controller.navigate({0, {}});
  ASSERT_TRUE(landed());
  EXPECT_EQ(host.views, 1) << "only the newest move reaches the window";
  EXPECT_EQ(controller.view().items, wide_text_list({L"Rock"}));
  EXPECT_EQ(nav_last_location.value, (nav_location{0, {}}));
  EXPECT_TRUE(controller.node()->is_track(L"Rock")) << "the shown node is the one built";
  EXPECT_TRUE(controller.view().can_back) << "the overtaken view is in the history, as if it had been shown";
  controller.history_step(1);
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.node()->get_path(), nav_path({{}, {}}));
}

TEST_F(NavControllerBuildingInBackground, UpBackAndForwardRestoreTheListAsTheWindowDoes) {
  const std::wstring first = L"Anna - First [2001]";
  controller.navigate({0, {{}, {}}});
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"[songs from all albums]", first, L"Carl - Solo"}));
  host.now = {{first}, {first}, nav_scroll_position{0, 3}};
  controller.open({first});
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"01. Alpha", L"02. Beta"}));
  host.now = {};
  controller.go_up();
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().selection, wide_text_list({first})) << "Up lands on the album it left";
  EXPECT_EQ(controller.view().focus, wide_text_list({first}));

  // Two steps back before the first lands: the list still shows the third
  // entry, whose state must not end up in the second.
  host.now = {{L"Carl - Solo"}, {}, nav_scroll_position{}};
  controller.history_step(1);
  controller.history_step(1);
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().selection, wide_text_list({first}));
  EXPECT_EQ(controller.view().scroll, (nav_scroll_position{0, 3}));
  EXPECT_FALSE(controller.view().can_back);
  controller.history_step(2);
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"01. Alpha", L"02. Beta"}));
  EXPECT_TRUE(controller.view().selection.empty()) << "the album's songs were left with nothing selected";
}

TEST_F(NavControllerBuildingInBackground, UpWhileAViewIsBuiltLeavesThatView) {
  controller.navigate({0, {{}, {}}});
  ASSERT_TRUE(landed());
  controller.open({L"[songs from all albums]"});
  controller.go_up();  // typed ahead: up from the songs being built
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.node()->get_path(), nav_path({{}, {}})) << "back at the albums, not at the artists";
  EXPECT_TRUE(controller.view().selection.empty()) << "the songs were entered through the \"all\" entry";
  EXPECT_EQ(controller.history_size(), 3u) << "albums, the songs typed past, albums";
}

TEST_F(NavControllerBuildingInBackground, AViewBuiltWhileTheLibraryChangedShowsTheChange) {
  controller.navigate({0, {}});
  library.add({.file = "d1.flac", .genre = "Ska", .title = "New"});
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items, wide_text_list({L"Rock", L"Ska"}));
  library.add({.file = "d2.flac", .genre = "Pop", .title = "Newer"});
  EXPECT_EQ(controller.node()->entries(), wide_text_list({L"Pop", L"Rock", L"Ska"})) << "it follows the library";
}

}  // namespace
