// Play actions and the item context menu against a navigation node of the
// test's own: which playlist starts where, the random order, and which
// entries the menu offers.
#include "ui/main/play_actions.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/localized_text.h"
#include "library/fs_node.h"
#include "library/library_test_support.h"
#include "core/service_registry.h"
#include "foundation/main_thread.h"
#include "metadata/track_handle_registry.h"
#include "support/menu_reading.h"
#include "ui/main/item_context_menu.h"

namespace {

using test_support::menu_texts;

// An album view: two albums (containers) or, opened, the tracks of one
// album in a local folder.
class test_node : public nav_node {
public:
  test_node(std::uint32_t kind, wide_text_list names, bool containers) : kind_(kind), entries_(std::move(names)), containers_(containers) {}

  std::uint32_t kind() const override { return kind_; }
  wide_text_list current_key() const override { return {}; }
  void set_path(const nav_path&) override {}
  nav_path get_path() const override { return {}; }
  bool can_open(const wide_text_list& selection) const override {
    return containers_ && !selection.empty();
  }
  bool can_go_up() const override { return false; }
  bool lists_tracks() const override { return !containers_; }
  bool is_container(const std::wstring&) const override { return containers_; }
  void get_tracks(const wide_text_list& names, track_handle_list& out) override {
    out.clear();
    for (const std::wstring& name : names) {
      if (containers_) {
        for (int i = 1; i <= 2; ++i) out.push_back(handle(name + L"\\" + std::to_wstring(i) + L".flac"));
      } else {
        out.push_back(handle(L"Album\\" + name));
      }
    }
  }
  bool is_track(const std::wstring&) override { return !containers_; }
  void go_up() override {}
  void open(const wide_text_list&) override {}
  const wide_text_list& entries() const override { return entries_; }
  void describe(nav_caption&) override {}
  bool has_tracks() const override { return !entries_.empty(); }
  bool get_folder_path(std::wstring& out) const override {
    if (kind_ != nav_kind_file_system) return false;
    out = L"C:\\Music\\";
    return true;
  }

  // A node whose whole list hands out copies instead of the shared handles.
  bool all_tracks_elsewhere = false;
  track_source_ptr source_for_all() override {
    if (!all_tracks_elsewhere) return nav_node::source_for_all();
    track_handle_list tracks;
    for (const std::wstring& name : entries_) tracks.push_back(handle(L"Elsewhere\\" + name));
    return playback_item_list_create(tracks);
  }

  static track_handle_ptr handle(const std::wstring& relative) {
    return track_handle_registry::get_handle(track_location(("file://C:\\Music\\" + nav_utf8(relative)).c_str(), 0));
  }

private:
  std::uint32_t kind_;
  wide_text_list entries_;
  bool containers_;
};

std::vector<std::string> paths_of(const track_source_ptr& playlist, service_ptr<playback_item> from = nullptr) {
  std::vector<std::string> paths;
  for (service_ptr<playback_item> item = from ? from : playlist->first(); item; item = item->next())
    paths.push_back(item->get_handle()->get_location().get_path());
  return paths;
}

std::string path(const char* relative) { return std::string("file://C:\\Music\\") + relative; }

class PlayActions : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    service_registry::table().build(service_factory::global_list_head);
    qiv::set_main_thread_id(GetCurrentThreadId());
    for (auto [id, text] : std::map<const char*, const char*>{
             {"contextmenu_browse", "Browse"},
             {"contextmenu_start_playback_here", "Start playback here"},
             {"contextmenu_play_this", "Play this"},
             {"contextmenu_play_this_random_order", "Play this in random order"},
             {"contextmenu_go_to_folder", "Go to folder"},
             {"contextmenu_show_in_explorer", "Show in Explorer"}})
      localized_text::set(id, text);
  }
  static void TearDownTestSuite() { service_registry::free(); }

  test_node tracks{nav_kind_library_view, {L"1.mp3", L"2.mp3", L"3.mp3", L"4.mp3", L"5.mp3"}, false};
  test_node albums{nav_kind_library_view, {L"A", L"B", L"C"}, true};
};

TEST_F(PlayActions, ATrackTheWholeListDoesNotHoldStartsTheListFromItsBeginning) {
  tracks.all_tracks_elsewhere = true;
  const play_request request = play_items_prepare(tracks, {L"3.mp3"}, play_mode::start_here);
  EXPECT_FALSE(request.start);
  EXPECT_EQ(paths_of(request.playlist).size(), 5u);
}

TEST_F(PlayActions, AFolderOfTheFileSystemStartsAtTheSelectedFileAndGoesOn) {
  library_test::tst_input_registration inputs;
  io_test::scratch_folder music;
  for (const char* name : {"01.tst", "02.tst", "03.tst", "04.tst"}) io_test::write_file(music.path(name), "TST\nT");
  fs_node node(nullptr, nav_split_path(io_test::wide(music.path(""))));
  const play_request request = play_items_prepare(node, {L"03.tst"}, play_mode::start_here);
  ASSERT_TRUE(request.start) << "the folder's whole list holds the selected file's own handle";
  const std::vector<std::string> played = paths_of(request.playlist, request.start);
  ASSERT_EQ(played.size(), 2u);
  EXPECT_EQ(played[0].substr(played[0].size() - 6), "03.tst");
  EXPECT_EQ(played[1].substr(played[1].size() - 6), "04.tst");
}

TEST_F(PlayActions, SelectedAlbumsPlayInListOrderAndPlayThisPlaysOnlyTheSelection) {
  play_request request = play_items_prepare(albums, {L"A", L"C"}, play_mode::start_here);
  EXPECT_EQ(paths_of(request.playlist),
            (std::vector<std::string>{path("A\\1.flac"), path("A\\2.flac"), path("C\\1.flac"), path("C\\2.flac")}));
  request = play_items_prepare(tracks, {L"2.mp3"}, play_mode::play_this);
  EXPECT_EQ(paths_of(request.playlist), std::vector<std::string>{path("Album\\2.mp3")});
}

TEST_F(PlayActions, TheShuffleGivesEveryOrderOnceOverAllWordResidues) {
  wide_text_list names = {L"A", L"B", L"C"};
  shuffle_names(names, {5, 7, 9});
  EXPECT_EQ(names, (wide_text_list{L"C", L"A", L"B"}));
  std::set<wide_text_list> orders;
  for (std::uint32_t first = 0; first < 3; ++first)
    for (std::uint32_t second = 0; second < 2; ++second) {
      wide_text_list shuffled = {L"A", L"B", L"C"};
      shuffle_names(shuffled, {first, second, 0});
      orders.insert(shuffled);
    }
  EXPECT_EQ(orders.size(), 6u) << "3! orders from 3 x 2 equally likely draws: no order favoured";
}

TEST_F(PlayActions, TheRandomOrderPlaysEachSelectedAlbumOnceWithItsTracksInOrder) {
  const std::vector<std::string> played = paths_of(random_order(albums, {L"A", L"B", L"C"}));
  ASSERT_EQ(played.size(), 6u);
  std::set<std::string> distinct(played.begin(), played.end());
  EXPECT_EQ(distinct.size(), 6u);
  for (std::size_t i = 0; i < played.size(); i += 2) {
    EXPECT_NE(played[i].find("\\1.flac"), std::string::npos);
    EXPECT_EQ(played[i].substr(0, played[i].size() - 6), played[i + 1].substr(0, played[i + 1].size() - 6));
  }
}

TEST_F(PlayActions, TheItemMenuOffersWhatTheSelectionAllows) {
  {
    item_context_menu menu(tracks, {L"3.mp3"});
    EXPECT_EQ(menu_texts(menu.menu()), (std::vector<std::wstring>{L"Start playback here", L"Play this", L"-",
                                                                  L"Go to folder", L"-", L"Show in Explorer"}));
    EXPECT_EQ(GetMenuDefaultItem(menu.menu(), FALSE, 0), item_context_menu::id_start_playback_here);
    EXPECT_EQ(test_support::read_menu(menu.menu()).back().id, UINT(item_context_menu::first_context_command_id));
  }
  {
    item_context_menu menu(tracks, {L"2.mp3", L"4.mp3"});
    EXPECT_EQ(menu_texts(menu.menu())[1], L"Play this in random order") << "offered for two or more";
  }
  {
    item_context_menu menu(albums, {L"A"});
    EXPECT_EQ(menu_texts(menu.menu()), (std::vector<std::wstring>{L"Browse", L"Play this"}))
        << "containers in a library view: neither Show in Explorer nor context commands";
    EXPECT_EQ(GetMenuDefaultItem(menu.menu(), FALSE, 0), item_context_menu::id_browse);
  }
  {
    test_node folders{nav_kind_file_system, {L"A", L"B"}, true};
    item_context_menu menu(folders, {L"A", L"B"});
    EXPECT_EQ(menu_texts(menu.menu()).back(), L"Show in Explorer") << "a folder of the file system";
    EXPECT_EQ(test_support::read_menu(menu.menu()).back().id, UINT(item_context_menu::id_show_in_explorer));
  }
}

}  // namespace
