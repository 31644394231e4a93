// The library's track set over several folders, its callbacks, and how
// folder texts become paths.
#include "library/media_library.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "library_test_support.h"

namespace {

using strings = std::set<std::string>;

std::string short_name(const track_handle_ptr& handle) {
  const std::string path = handle->get_location().get_path();
  return path.substr(path.find_last_of('\\') + 1);
}

class recording_callback : public library_change_callback {
public:
  std::vector<std::string> calls;
  void on_items_added(const track_handle_list& handles) override { record("+", handles); }
  void on_items_removed(const track_handle_list& handles) override { record("-", handles); }
  void on_items_modified(const track_handle_list& handles) override { record("~", handles); }
  void on_scanning_changed(bool) override {}

private:
  void record(const char* kind, const track_handle_list& handles) {
    std::string text = kind;
    for (const track_handle_ptr& handle : handles) text += " " + short_name(handle);
    calls.push_back(text);
  }
};

class MediaLibrary : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder profile;
  io_test::scratch_folder music;
  recording_callback callback;

  void SetUp() override {
    app::state().profile_path = qiv::string_small(("file://" + profile.path()).c_str());
    config::library_monitor_folders.set(false);
    media_library::shutdown();
    library_test::make_folder(music.path("inner"));
    io_test::write_file(music.path("top.tst"), "TST\nT");
    io_test::write_file(music.path("inner\\in.tst"), "TST\nI");
  }
  void TearDown() override {
    media_library::unregister_callback(&callback);
    media_library::shutdown();
  }

  strings tracks() {
    strings names;
    media_library::enumerate([&](const track_handle_ptr& handle) {
      names.insert(short_name(handle));
      return true;
    });
    return names;
  }
  void scan_until(const strings& expected) {
    media_library::rescan_folders();
    ASSERT_TRUE(library_test::wait_until([&] { return tracks() == expected; }));
    // Every folder has finished its scan, and its reports have run.
    ASSERT_TRUE(library_test::wait_until([] {
      bool ready = true;
      media_library::for_each_folder([&](const std::string&, library_folder& folder) { ready &= folder.is_ready(); });
      return ready;
    }));
    main_thread_queue::drain(true);
  }
};

TEST_F(MediaLibrary, TrackOfOverlappingFoldersStaysWhileAFolderStillHoldsIt) {
  media_library::set_folder_list({music.path(), music.path("inner")});
  media_library::register_callback(&callback);
  scan_until({"top.tst", "in.tst"});
  // Either folder may report first, the outer one with both its tracks in one call.
  const auto adds_inner = [](const std::string& call) {
    return call.rfind("+ ", 0) == 0 && (call + " ").find(" in.tst ") != std::string::npos;
  };
  EXPECT_EQ(std::count_if(callback.calls.begin(), callback.calls.end(), adds_inner), 1)
      << "reported by both folders, announced once";

  // The inner folder leaves the list; the outer one still holds its track.
  callback.calls.clear();
  media_library::set_folder_list({music.path()});
  media_library::apply_folders({});
  EXPECT_EQ(tracks(), strings({"top.tst", "in.tst"}));
  EXPECT_TRUE(callback.calls.empty());

  // Once the last folder holding it lets go, it leaves.
  media_library::set_folder_list({});
  media_library::apply_folders({});
  EXPECT_EQ(tracks(), strings());
  ASSERT_EQ(callback.calls.size(), 1u) << "one removal call for the folder's tracks";
}

TEST_F(MediaLibrary, OverlappingFoldersListATrackOnceAndTheOuterOneLeavingTakesOnlyItsOwn) {
  media_library::set_folder_list({music.path(), music.path("inner")});
  media_library::register_callback(&callback);
  scan_until({"top.tst", "in.tst"});
  callback.calls.clear();
  track_handle_list all;
  media_library::get_all(all);
  EXPECT_EQ(all.size(), 2u) << "a track of both folders is listed once";
  const track_handle_ptr inside = metadata_test::handle(music.file_url("inner\\in.tst"), 0);
  const track_handle_ptr top = metadata_test::handle(music.file_url("top.tst"), 0);
  media_library::on_info_changed({inside});
  EXPECT_EQ(callback.calls, std::vector<std::string>({"~ in.tst"}));

  callback.calls.clear();
  media_library::set_folder_list({music.path("inner")});
  media_library::apply_folders({});
  EXPECT_EQ(callback.calls, std::vector<std::string>({"- top.tst"}));
  EXPECT_EQ(tracks(), strings({"in.tst"}));
  EXPECT_TRUE(media_library::contains(inside));
  EXPECT_FALSE(media_library::contains(top));
}

TEST_F(MediaLibrary, CallbacksHearOnlyOfTheirOwnTracks) {
  media_library::set_folder_list({music.path("inner")});
  media_library::register_callback(&callback);
  scan_until({"in.tst"});
  callback.calls.clear();

  const track_handle_ptr inside = metadata_test::handle(music.file_url("inner\\in.tst"), 0);
  const track_handle_ptr outside = metadata_test::handle(music.file_url("top.tst"), 0);
  media_library::on_info_changed({outside});
  media_library::on_info_changed({inside, outside});
  EXPECT_EQ(callback.calls, std::vector<std::string>({"~ in.tst"}));
  EXPECT_TRUE(media_library::contains(inside));
  EXPECT_FALSE(media_library::contains(outside));

  media_library::unregister_callback(&callback);
  media_library::unregister_callback(&callback);  // twice: nothing more happens
  media_library::on_info_changed({inside});
  EXPECT_EQ(callback.calls.size(), 1u);
}

TEST(LibraryFolderText, BecomesAFolderPathWithoutItsFinalSeparator) {
  app::state().program_path = qiv::string_small("C:\\Programs\\Zorv\\zorv.exe");
  const std::pair<const char*, const char*> cases[] = {
      {".", "file://C:\\Programs\\Zorv"},
      {"C:\\Music\\", "file://C:\\Music"},
      {"C:\\Music", "file://C:\\Music"},
      {"C:\\", "file://C:\\"},
      {"\\\\server\\share\\", "file://\\\\server\\share"},
  };
  for (const auto& [text, path] : cases) EXPECT_EQ(media_library::folder_text_to_path(text), path) << text;
}

}  // namespace
