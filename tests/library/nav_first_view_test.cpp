// The window's first library view, built on the library's read-ahead thread:
// the same rows as a view built once the window asks, shown the moment it
// asks, following the library afterwards, and never a view of a library that
// changed, a place other than the one asked for, or a read-ahead never used.
#include "library/nav_first_view.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "library/nav_controller.h"
#include "library_test_support.h"

namespace {

using strings = std::set<std::string>;

const nav_location all_songs{nav_kind_library_view, {{}, {}, {L"[songs from all albums]"}}};
const nav_location albums{nav_kind_library_view, {{}, {}}};

class window_stand_in : public nav_view_host {
public:
  int views = 0;
  int changes = 0;
  nav_list_state list_state() override { return {}; }
  void view_changed() override { ++views; }
  void play_from(const wide_text_list&) override {}
  void node_changed() override { ++changes; }
  void scanning_changed(bool) override {}
};

class NavFirstView : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder profile;
  io_test::scratch_folder music;
  window_stand_in window;
  nav_controller controller;

  void SetUp() override {
    app::state().profile_path = qiv::string_small(("file://" + profile.path()).c_str());
    config::library_monitor_folders.set(false);
    media_library::shutdown();
    // Any view the window builds itself is built on the worker: one shown at
    // once was built ahead.
    controller.background_build_tracks = 0;
    controller.set_host(&window);
    io_test::write_file(music.path("a.tst"), "TST\nAlpha\nBeta");
    io_test::write_file(music.path("b.tst"), "TST\nGamma");
    media_library::set_folder_list({music.path()});
    scan_until(3);
    library_database_save(false);
    media_library::shutdown();
  }
  void TearDown() override {
    controller.set_host(nullptr);
    media_library::shutdown();
  }

  void scan_until(std::size_t count) { ASSERT_TRUE(library_test::rescan_until_tracks(count)); }
  bool landed() { return library_test::wait_until([&] { return !controller.is_building(); }); }
  // What the window shows at the location when it builds the view itself.
  wide_text_list built_after(const nav_location& location) {
    controller.navigate(location);
    EXPECT_TRUE(landed());
    return controller.view().items;
  }
};

TEST_F(NavFirstView, ShowsAtOnceTheRowsOfAViewBuiltAfterAndFollowsTheLibrary) {
  const wide_text_list expected = built_after(all_songs);
  ASSERT_EQ(expected.size(), 3u);
  controller.set_host(&window);
  media_library::shutdown();

  library_database_preload(nav_first_view::request(all_songs));
  window.views = 0;
  controller.navigate(all_songs);
  EXPECT_FALSE(controller.is_building()) << "the view built ahead lands at once";
  EXPECT_EQ(window.views, 1);
  EXPECT_EQ(controller.view().items, expected);
  EXPECT_EQ(controller.history_size(), 1u);

  io_test::write_file(music.path("c.tst"), "TST\nDelta");
  scan_until(4);
  EXPECT_EQ(controller.node()->entries().size(), 4u) << "it follows the library";
  EXPECT_GT(window.changes, 0) << "and tells the window that took it";
}

TEST_F(NavFirstView, ALibraryChangedOrAnotherPlaceIsBuiltAfresh) {
  const wide_text_list before = built_after(all_songs);
  controller.set_host(&window);
  media_library::shutdown();

  library_database_preload(nav_first_view::request(all_songs));
  io_test::write_file(music.path("c.tst"), "TST\nDelta");
  scan_until(4);  // the library's first use, then a change before the window asks
  controller.navigate(all_songs);
  ASSERT_TRUE(landed());
  EXPECT_EQ(controller.view().items.size(), before.size() + 1) << "never the view of the library read ahead";
  controller.set_host(&window);
  library_database_save(false);
  media_library::shutdown();

  library_database_preload(nav_first_view::request(albums));
  const wide_text_list songs = built_after(all_songs);
  EXPECT_EQ(songs.size(), 4u) << "a view built ahead for another place is not shown";
  controller.set_host(&window);
  media_library::shutdown();

  // A quit while the read-ahead still builds waits for it and writes nothing.
  const std::string stored = io_test::read_file(profile.path("database.dat"));
  library_database_preload(nav_first_view::request(all_songs));
  library_database_save(false);
  media_library::shutdown();
  EXPECT_EQ(io_test::read_file(profile.path("database.dat")), stored);
}

}  // namespace
