// Browsing folders: what a level lists and in which order, its picture and
// caption, rebuilding when the shown folder changes, and folders that cannot
// be watched or listed; the music folders view and where its entries lead.
#include "library/fs_node.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "library/folders_view_node.h"
#include "library_test_support.h"
#include "metadata/tag_writes_in_progress.h"
#include "metadata/track_handle_registry.h"

namespace {

using name_list = std::vector<std::string>;

class counting_listener final : public nav_node_listener {
public:
  int changes = 0;
  void node_changed() override { ++changes; }
  void scanning_changed(bool) override {}
};

name_list names(const wide_text_list& list) {
  name_list out;
  for (const std::wstring& text : list) out.push_back(nav_utf8(text));
  return out;
}

class FsNode : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder music;
  counting_listener listener;

  void file(const std::string& name, const char* text = "TST\nT") { io_test::write_file(music.path(name), text); }
  nav_path here(const std::string& sub = "") { return nav_split_path(io_test::wide(music.path(sub))); }
  // Runs queued main-thread work for a while.
  void settle(DWORD ms = 600) {
    library_test::wait_until([] { return false; }, ms / 1000.0);
  }
};

TEST_F(FsNode, ListsFoldersThenClaimedFilesInNaturalOrder) {
  for (const char* name : {"Disc 10", "Disc 2", ".git", "hidden"}) library_test::make_folder(music.path(name));
  SetFileAttributesW(io_test::wide(music.path("hidden")).c_str(), FILE_ATTRIBUTE_HIDDEN);
  for (const char* name : {"b.tst", "A10.tst", "a9.tst", ".x.tst", "notes.txt"}) file(name);
  fs_node node(&listener, here());
  EXPECT_EQ(names(node.entries()), name_list({"Disc 2", "Disc 10", "a9.tst", "A10.tst", "b.tst"}));
  EXPECT_TRUE(node.is_watching());
  std::wstring folder;
  ASSERT_TRUE(node.get_folder_path(folder));
  EXPECT_EQ(nav_utf8(folder), music.path().substr(0, music.path().find_last_not_of('\\') + 1));
}

// Display order (natural) and lookup order (code units) differ here, names
// lie beyond ASCII and U+FFFF, and one folder's paths pass 260 characters:
// every entry must still lead to the track of its own file, and only to it.
TEST_F(FsNode, EveryFileEntryLeadsToTheTrackOfItsOwnName) {
  const wide_text_list listed = {L"b.tst",  L"A10.tst",          L"a9.tst",           L"a1.tst",
                                 L"\u66F2.tst", L"\u00E9t\u00E9.tst", L"\U0001D11E clef.tst", L"shown system.tst"};
  // Where the letters beyond ASCII sort depends on the system's language.
  const name_list expected = names(nav_natural_order(listed));
  ASSERT_EQ(name_list(expected.begin(), expected.begin() + 3), name_list({"a1.tst", "a9.tst", "A10.tst"}));
  const std::string deep = std::string(120, 'd') + "\\" + std::string(120, 'e');
  for (const std::string& folder : {std::string("shallow"), deep.substr(0, 120), deep})
    library_test::make_folder(music.path(folder));
  for (const std::string& folder : {std::string("shallow"), deep}) {
    const std::string at = folder + "\\";
    for (const std::string& name : names(listed)) file(at + name);
    file(at + "hidden.tst");
    SetFileAttributesW(io_test::wide(music.path(at + "hidden.tst")).c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(io_test::wide(music.path(at + "shown system.tst")).c_str(), FILE_ATTRIBUTE_SYSTEM);
    fs_node node(&listener, here(folder));
    if (folder == deep) {
      ASSERT_GT(music.path(at + "a9.tst").size(), 260u);
    }
    ASSERT_EQ(names(node.entries()), expected) << "the hidden file is passed over, the system file listed";
    track_handle_list all;
    node.get_all_tracks(all);
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const std::string location = music.file_url(at + expected[i]);
      EXPECT_STREQ(all[i]->get_location().get_path(), location.c_str()) << "in display order";
      EXPECT_EQ(all[i].get(), track_handle_registry::get_handle(track_location(location.c_str(), 0)).get());
      const std::wstring& name = node.entries()[i];
      track_handle_list one;
      node.get_tracks({name}, one);
      ASSERT_EQ(one.size(), 1u) << expected[i];
      EXPECT_EQ(one[0].get(), all[i].get());
      EXPECT_TRUE(node.entry_is_track(name, all[i].get()));
      EXPECT_FALSE(node.is_container(name));
      EXPECT_FALSE(node.can_open({name}));
    }
    // Lookups compare exact code units.
    for (const wchar_t* other : {L"B.tst", L"a10.tst", L"hidden.tst", L"b.ts", L"b.tstx", L""}) {
      EXPECT_FALSE(node.is_track(other)) << io_test::utf8(other);
      EXPECT_TRUE(node.is_container(other)) << io_test::utf8(other);
    }
    EXPECT_FALSE(node.entry_is_track(L"b.tst", all[0].get()));
  }
}

TEST_F(FsNode, PicksTheBestPictureName) {
  const struct {
    name_list files;
    const char* picture;  // "" for none
  } rows[] = {
      {{"Cover.JPG", "front.jpg"}, "front.jpg"},
      {{"FOLDER.JPG", "a.tst"}, "FOLDER.JPG"},
      {{"folder.jpg", "front cover.jpg"}, "front cover.jpg"},
      {{".front.jpg", "art.jpg"}, ""},
  };
  for (const auto& r : rows) {
    io_test::scratch_folder folder;
    for (const std::string& name : r.files) io_test::write_file(folder.path(name), "x");
    fs_node node(&listener, nav_split_path(io_test::wide(folder.path())));
    std::wstring picture;
    const bool found = node.get_picture(picture);
    EXPECT_EQ(found ? nav_utf8(picture) : "", *r.picture ? folder.path(r.picture) : "") << r.picture;
  }
}

TEST_F(FsNode, CaptionLinksTheAncestors) {
  library_test::make_folder(music.path("Pop"));
  fs_node node(&listener, here("Pop"));
  nav_caption caption;
  node.describe(caption);
  const nav_path path = node.get_path();
  ASSERT_EQ(caption.links.size(), path.size() - 1);
  EXPECT_EQ(caption.links.back().path, nav_path(path.begin(), path.end() - 1));
  EXPECT_EQ(caption.text.substr(caption.text.size() - 6), " \\ Pop") << caption.text;
  EXPECT_EQ(caption.text.substr(0, 9), "<a>C:</a>") << caption.text;

  fs_node computer(&listener, {});
  nav_caption top;
  computer.describe(top);
  EXPECT_EQ(top.text, "My computer");
  ASSERT_FALSE(computer.entries().empty());
  EXPECT_FALSE(computer.is_watching());
  computer.open({computer.entries()[0]});
  EXPECT_EQ(computer.get_path().size(), 1u);
  EXPECT_EQ(computer.get_path()[0][0].size(), 2u) << "the drive as letter and colon";
}

TEST_F(FsNode, RebuildsOnceWhenTheShownFolderChanges) {
  library_test::make_folder(music.path("other"));
  fs_node node(&listener, here());
  for (const char* name : {"n1.tst", "n2.tst", "n3.tst"}) file(name);
  ASSERT_TRUE(library_test::wait_until([&] { return listener.changes > 0; }));
  settle();
  EXPECT_EQ(listener.changes, 1) << "one rebuild per burst";
  EXPECT_EQ(names(node.entries()), name_list({"other", "n1.tst", "n2.tst", "n3.tst"}));

  node.open({L"other"});
  file("late.tst");
  settle();
  EXPECT_EQ(listener.changes, 1) << "the folder left behind no longer rebuilds the node";
}

// An Apply rewrites file after file through a temporary copy renamed over
// it: the shown folder is listed again once, after the writes, not after
// every file.
TEST_F(FsNode, ChangesDuringTagWritesMakeOneRebuildAfterThem) {
  file("1.tst");
  fs_node node(&listener, here());
  {
    tag_write_scope writing;
    for (int i = 0; i < 5; ++i) {
      file("1.tst.tmp", "TST\nNew");
      ASSERT_TRUE(MoveFileExW(io_test::wide(music.path("1.tst.tmp")).c_str(), io_test::wide(music.path("1.tst")).c_str(),
                              MOVEFILE_REPLACE_EXISTING));
      settle(150);
    }
    file("2.tst");
    settle(300);
    EXPECT_EQ(listener.changes, 0) << "held back while tags are written";
    EXPECT_EQ(names(node.entries()), name_list({"1.tst"}));
  }
  ASSERT_TRUE(library_test::wait_until([&] { return listener.changes > 0; })) << "listed again when they end";
  settle();
  EXPECT_EQ(listener.changes, 1);
  EXPECT_EQ(names(node.entries()), name_list({"1.tst", "2.tst"}));
}

TEST_F(FsNode, ListedAwayFromTheMainThreadItMissesNoChangeMadeMeanwhile) {
  fs_node node(&listener, fs_node::unbuilt);
  node.build_from(here());
  EXPECT_TRUE(node.entries().empty());
  file("late.tst");
  settle();
  EXPECT_EQ(listener.changes, 0) << "a node not yet shown is not rebuilt under its builder";
  EXPECT_TRUE(node.attach()) << "the change made after the listing is seen when the node is shown";
  EXPECT_EQ(names(node.entries()), name_list({"late.tst"}));
  EXPECT_FALSE(node.attach()) << "once";
  file("later.tst");
  ASSERT_TRUE(library_test::wait_until([&] { return listener.changes > 0; })) << "shown, it follows the folder";
  node.detach();
  file("ignored.tst");
  settle();
  EXPECT_EQ(listener.changes, 1) << "detached, it no longer does";
}

// As the window leaves a folder: the node is detached on this thread and
// freed on another, which must end its watches without waiting for a change.
TEST_F(FsNode, NodeDetachedHereAndFreedElsewhereEndsItsWatches) {
  library_test::make_folder(music.path("Album"));
  auto node = std::make_unique<fs_node>(&listener, here("Album"));
  ASSERT_TRUE(node->is_watching());
  node->detach();
  std::thread freeing([&] { node.reset(); });
  freeing.join();
  file("Album\\late.tst");
  settle(300);
  EXPECT_EQ(listener.changes, 0);
}

TEST_F(FsNode, FolderThatCannotBeOpenedNeitherHangsNorWatches) {
  folder_watcher watcher;
  EXPECT_FALSE(watcher.start(io_test::wide(music.path("missing")), [] {})) << "the watch failed and start returned";
  fs_node node(&listener, here());
  node.set_path(here("missing\\deeper"));
  EXPECT_EQ(node.get_path(), here()) << "a path that names no folder stops at the deepest one that exists";
  EXPECT_TRUE(node.is_watching());
}

TEST_F(FsNode, FolderGoneWhileShownLeavesTheNodeAtItsNearestExistingParent) {
  library_test::make_folder(music.path("Artist"));
  library_test::make_folder(music.path("Artist\\Album"));
  file("Artist\\Album\\1.tst");
  file("kept.tst");
  fs_node node(&listener, here("Artist\\Album"));
  ASSERT_EQ(names(node.entries()), name_list({"1.tst"}));
  // The shown folder deleted: the node climbs to its parent.
  DeleteFileW(io_test::wide(music.path("Artist\\Album\\1.tst")).c_str());
  RemoveDirectoryW(io_test::wide(music.path("Artist\\Album")).c_str());
  EXPECT_TRUE(library_test::wait_until([&] { return node.get_path() == here("Artist"); }));
  EXPECT_TRUE(node.entries().empty());
  // That folder renamed: nothing changes inside it, its parent sees it go.
  MoveFileW(io_test::wide(music.path("Artist")).c_str(), io_test::wide(music.path("Renamed")).c_str());
  EXPECT_TRUE(library_test::wait_until([&] { return node.get_path() == here(); }));
  EXPECT_EQ(names(node.entries()), name_list({"Renamed", "kept.tst"}));
  EXPECT_TRUE(node.is_watching()) << "the parent is followed in its place";
}

TEST(FoldersView, CaptionsAndWhereEntriesLead) {
  folders_view_node view({{folders_view_root_key}}, [] {
    return std::vector<std::string>{"D:\\Music", "E:\\Music", "F:\\", "G:\\Music"};
  });
  EXPECT_EQ(names(view.entries()), name_list({"Music", "Music (1)", "F:\\", "Music (2)"}));
  nav_location target;
  ASSERT_TRUE(view.link_target(target, L"Music (1)"));
  EXPECT_EQ(target, (nav_location{nav_kind_file_system, {{L"E:"}, {L"Music"}}}));
  ASSERT_TRUE(view.link_target(target, L"unknown"));
  EXPECT_EQ(target, (nav_location{nav_kind_library_view, {}}));
  folders_view_node elsewhere({{L"other"}}, [] { return std::vector<std::string>{"D:\\Music"}; });
  EXPECT_TRUE(elsewhere.entries().empty()) << "only the root path lists folders";
}

}  // namespace
