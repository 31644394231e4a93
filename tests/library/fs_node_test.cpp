// Browsing folders: what a level lists and in which order, its picture and
// caption, rebuilding when the shown folder changes, and folders that cannot
// be watched or listed; the music folders view and where its entries lead.
#include "library/fs_node.h"

#include <gtest/gtest.h>

#include "library/folders_view_node.h"
#include "library_test_support.h"

namespace {

using strings = std::vector<std::string>;

class counting_listener final : public nav_node_listener {
public:
  int changes = 0;
  void node_changed() override { ++changes; }
  void scanning_changed(bool) override {}
};

strings names(const wide_text_list& list) {
  strings out;
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
  EXPECT_EQ(names(node.entries()), strings({"Disc 2", "Disc 10", "a9.tst", "A10.tst", "b.tst"}));
  EXPECT_TRUE(node.is_watching());
  std::wstring folder;
  ASSERT_TRUE(node.get_folder_path(folder));
  EXPECT_EQ(nav_utf8(folder), music.path().substr(0, music.path().find_last_not_of('\\') + 1));
}

TEST_F(FsNode, PicksTheBestPictureName) {
  const struct {
    strings files;
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
  EXPECT_EQ(names(node.entries()), strings({"other", "n1.tst", "n2.tst", "n3.tst"}));

  node.open({L"other"});
  file("late.tst");
  settle();
  EXPECT_EQ(listener.changes, 1) << "the folder left behind no longer rebuilds the node";
}

TEST_F(FsNode, ListedAwayFromTheMainThreadItMissesNoChangeMadeMeanwhile) {
  fs_node node(&listener, fs_node::unbuilt);
  node.build_from(here());
  EXPECT_TRUE(node.entries().empty());
  file("late.tst");
  settle();
  EXPECT_EQ(listener.changes, 0) << "a node not yet shown is not rebuilt under its builder";
  EXPECT_TRUE(node.attach()) << "the change made after the listing is seen when the node is shown";
  EXPECT_EQ(names(node.entries()), strings({"late.tst"}));
  EXPECT_FALSE(node.attach()) << "once";
  file("later.tst");
  ASSERT_TRUE(library_test::wait_until([&] { return listener.changes > 0; })) << "shown, it follows the folder";
  node.detach();
  file("ignored.tst");
  settle();
  EXPECT_EQ(listener.changes, 1) << "detached, it no longer does";
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
  ASSERT_EQ(names(node.entries()), strings({"1.tst"}));
  // The shown folder deleted: the node climbs to its parent.
  DeleteFileW(io_test::wide(music.path("Artist\\Album\\1.tst")).c_str());
  RemoveDirectoryW(io_test::wide(music.path("Artist\\Album")).c_str());
  EXPECT_TRUE(library_test::wait_until([&] { return node.get_path() == here("Artist"); }));
  EXPECT_TRUE(node.entries().empty());
  // That folder renamed: nothing changes inside it, its parent sees it go.
  MoveFileW(io_test::wide(music.path("Artist")).c_str(), io_test::wide(music.path("Renamed")).c_str());
  EXPECT_TRUE(library_test::wait_until([&] { return node.get_path() == here(); }));
  EXPECT_EQ(names(node.entries()), strings({"Renamed", "kept.tst"}));
  EXPECT_TRUE(node.is_watching()) << "the parent is followed in its place";
}

TEST(FoldersView, CaptionsAndWhereEntriesLead) {
  folders_view_node view({{folders_view_root_key}}, [] {
    return std::vector<std::string>{"D:\\Music", "E:\\Music", "F:\\", "G:\\Music"};
  });
  EXPECT_EQ(names(view.entries()), strings({"Music", "Music (1)", "F:\\", "Music (2)"}));
  nav_location target;
  ASSERT_TRUE(view.link_target(target, L"Music (1)"));
  EXPECT_EQ(target, (nav_location{nav_kind_file_system, {{L"E:"}, {L"Music"}}}));
  ASSERT_TRUE(view.link_target(target, L"unknown"));
  EXPECT_EQ(target, (nav_location{nav_kind_library_view, {}}));
  folders_view_node elsewhere({{L"other"}}, [] { return std::vector<std::string>{"D:\\Music"}; });
  EXPECT_TRUE(elsewhere.entries().empty()) << "only the root path lists folders";
}

}  // namespace
