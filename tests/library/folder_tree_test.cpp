// A folder tree against a real folder: scans, change records, reading and
// re-reading files, and how marks gather in batches.
#include "library/folder_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "foundation/exceptions.h"
#include "metadata/tag_writes_in_progress.h"
#include "library_test_support.h"

namespace {

using library_test::counting_tst_input;
using strings = std::set<std::string>;

class FolderTree : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder folder;
  raisable_abort_signal abort;
  library_test::recording_sink sink{folder.file_url() + "\\"};
  folder_tree tree{&sink, abort};

  void SetUp() override {
    tree.reset(folder.file_url().c_str());
    counting_tst_input::opens = 0;
  }
  void write(const std::string& name, const std::string& content) {
    io_test::write_file(folder.path(name), content);
  }
  void set_attributes(const std::string& name, DWORD attributes) {
    SetFileAttributesW(io_test::wide(folder.path(name)).c_str(), attributes);
  }
  // Runs the retry queue until no file waits.
  void settle() {
    ASSERT_TRUE(library_test::wait_until([&] {
      folder_change_batch batch(tree);
      tree.run_retry_queue(batch);
      tree.flush(batch);
      return tree.nothing_pending();
    }));
  }
  void scan() {
    tree.full_rescan();
    settle();
  }
  void make_nested_folder() {
    write("a.tst", "TST\nA1\nA2");
    library_test::make_folder(folder.path("sub"));
    library_test::make_folder(folder.path("sub\\deeper"));
    write("sub\\b.tst", "TST\nB");
    write("sub\\deeper\\c.tst", "TST\nC");
    write("hidden.tst", "TST\nH");
    set_attributes("hidden.tst", FILE_ATTRIBUTE_HIDDEN);
    library_test::make_folder(folder.path("secret"));
    write("secret\\x.tst", "TST\nX");
    set_attributes("secret", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    write("notes.txt", "no input claims this");
    write("damaged.tst", "not a tst file");
    write("refused.tst", "TST\nR");
    sink.refused.insert("refused.tst");
  }
};

const strings nested_tracks = {"a.tst:0", "a.tst:1", "sub\\b.tst:0", "sub\\deeper\\c.tst:0"};

TEST_F(FolderTree, ScanAddsEveryVisibleTrackOnceAndSecondScanOpensNothing) {
  make_nested_folder();
  scan();
  EXPECT_EQ(sink.tracks, nested_tracks);
  for (const auto& [name, count] : sink.times_added) EXPECT_EQ(count, 1) << name;
  // Three good files and the damaged one; hidden, unclaimed and refused
  // files never reach an input.
  EXPECT_EQ(counting_tst_input::opens, 4);

  counting_tst_input::opens = 0;
  scan();
  EXPECT_EQ(counting_tst_input::opens, 0) << "unchanged times read nothing, damaged files included";
  EXPECT_EQ(sink.tracks, nested_tracks);
}

TEST_F(FolderTree, TwoThousandNestedFilesAreEachAddedOnce) {
  strings expected;
  for (int album = 0; album < 20; ++album) {
    const std::string dir = "artist " + std::to_string(album % 4) + "\\album " + std::to_string(album);
    library_test::make_folder(folder.path("artist " + std::to_string(album % 4)));
    library_test::make_folder(folder.path(dir));
    for (int track = 0; track < 100; ++track) {
      const std::string name = dir + "\\" + std::to_string(track) + ".tst";
      write(name, "TST\nT");
      expected.insert(name + ":0");
    }
  }
  scan();
  EXPECT_EQ(sink.tracks, expected);
  EXPECT_EQ(sink.times_added.size(), expected.size());
  for (const auto& [name, count] : sink.times_added) ASSERT_EQ(count, 1) << name;
  counting_tst_input::opens = 0;
  scan();
  EXPECT_EQ(counting_tst_input::opens, 0);
}

TEST_F(FolderTree, FilesWaitWhileATagWriteOfOursRunsAndAreReadAfterIt) {
  make_nested_folder();
  tree.full_rescan();
  {
    tag_write_scope writing;
    folder_change_batch batch(tree);
    tree.run_retry_queue(batch);
    tree.flush(batch);
    EXPECT_EQ(counting_tst_input::opens, 0) << "the write's own info reaches the tracks when it ends";
    EXPECT_FALSE(tree.nothing_pending());
  }
  folder_change_batch batch(tree);
  tree.run_retry_queue(batch);
  tree.flush(batch);
  EXPECT_EQ(sink.tracks, nested_tracks);
}

TEST_F(FolderTree, FilesAListingFindsAreReadAtTheFirstRetryRun) {
  make_nested_folder();
  tree.full_rescan();
  folder_change_batch batch(tree);
  tree.run_retry_queue(batch);
  tree.flush(batch);
  EXPECT_EQ(sink.tracks, nested_tracks) << "a scan must not wait for a writer nobody reported";
  EXPECT_TRUE(tree.nothing_pending());
}

// Enough files for the retry run to read them on several threads, with
// damaged, hidden, refused and held files among them.
TEST_F(FolderTree, FilesReadOnSeveralThreadsEndAsIfReadOneByOne) {
  strings expected;
  for (int n = 0; n < 300; ++n) {
    const std::string name = "f" + std::to_string(n) + ".tst";
    if (n % 7 == 0) {
      write(name, "damaged");
    } else if (n % 11 == 0) {
      write(name, "TST\nH");
      set_attributes(name, FILE_ATTRIBUTE_HIDDEN);
    } else if (n % 13 == 0) {
      write(name, "TST\nR");
      sink.refused.insert(name);
    } else {
      write(name, "TST\nOne\nTwo");
      expected.insert(name + ":0");
      expected.insert(name + ":1");
    }
  }
  const std::string held_name = "f1.tst";
  HANDLE held = CreateFileW(io_test::wide(folder.path(held_name)).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  tree.full_rescan();
  folder_change_batch batch(tree);
  tree.run_retry_queue(batch);
  tree.flush(batch);
  strings without_held = expected;
  without_held.erase(held_name + ":0");
  without_held.erase(held_name + ":1");
  EXPECT_EQ(sink.tracks, without_held);
  EXPECT_FALSE(tree.nothing_pending()) << "the held file waits for another try";
  CloseHandle(held);
  settle();
  EXPECT_EQ(sink.tracks, expected);
  for (const auto& [name, count] : sink.times_added) ASSERT_EQ(count, 1) << name;
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("f2.tst"), 1)), "Two")
      << "the infos read on other threads reach the cache";

  counting_tst_input::opens = 0;
  scan();
  EXPECT_EQ(counting_tst_input::opens, 0) << "damaged files are not read again until they change";
}

// An owner that stops its folder while files are being read: what was read
// before the stop is kept, the rest waits, and nothing is reported twice.
TEST_F(FolderTree, StopDuringAParallelReadLosesNoFile) {
  strings expected;
  for (int n = 0; n < 200; ++n) {
    const std::string name = "s" + std::to_string(n) + ".tst";
    write(name, "TST\nS");
    expected.insert(name + ":0");
  }
  struct stopping_sink : library_test::recording_sink {
    using recording_sink::recording_sink;
    raisable_abort_signal* abort = nullptr;
    std::atomic<int> accepted{0};
    bool accept(const char* path) override {
      if (++accepted == 80) abort->raise();
      return recording_sink::accept(path);
    }
  } stopping{folder.file_url() + "\\"};
  raisable_abort_signal stop;
  stopping.abort = &stop;
  folder_tree stopped_tree{&stopping, stop};
  stopped_tree.reset(folder.file_url().c_str());
  stopped_tree.full_rescan();
  {
    folder_change_batch batch(stopped_tree);
    EXPECT_THROW(stopped_tree.run_retry_queue(batch), vantrel_io::exception_aborted);
    stopped_tree.flush(batch);
  }
  library_test::wait_until([] { return false; }, 0.1);
  EXPECT_LT(stopping.tracks.size(), expected.size());
  EXPECT_FALSE(stopped_tree.nothing_pending());
  stop.reset();
  ASSERT_TRUE(library_test::wait_until([&] {
    folder_change_batch batch(stopped_tree);
    stopped_tree.run_retry_queue(batch);
    stopped_tree.flush(batch);
    return stopped_tree.nothing_pending();
  }));
  library_test::wait_until([] { return false; }, 0.1);
  EXPECT_EQ(stopping.tracks, expected);
  for (const auto& [name, count] : stopping.times_added) ASSERT_EQ(count, 1) << name;
}

// Off the main thread, a scan that reads as it finds hands the first tracks
// over while the rest is still being listed, and reports each track once.
TEST_F(FolderTree, ScanReadingAsItFindsHandsOverTheFirstTracksEarly) {
  strings expected;
  for (int album = 0; album < 30; ++album) {
    const std::string dir = "album " + std::to_string(album);
    library_test::make_folder(folder.path(dir));
    for (int track = 0; track < 20; ++track) {
      write(dir + "\\" + std::to_string(track) + ".tst", "TST\nT");
      expected.insert(dir + "\\" + std::to_string(track) + ".tst:0");
    }
  }
  struct counting_sink : library_test::recording_sink {
    using recording_sink::recording_sink;
    std::vector<std::size_t> deliveries;
    void tracks_added(const track_handle_list& handles) override {
      deliveries.push_back(handles.size());
      recording_sink::tracks_added(handles);
    }
  } counting{folder.file_url() + "\\"};
  folder_tree scanned{&counting, abort};
  scanned.reset(folder.file_url().c_str());
  std::thread worker([&] {
    scanned.full_rescan(true);
    folder_change_batch rest(scanned);
    scanned.run_retry_queue(rest);
    scanned.flush(rest);
  });
  worker.join();
  library_test::wait_until([] { return false; }, 0.1);
  EXPECT_EQ(counting.tracks, expected);
  for (const auto& [name, count] : counting.times_added) ASSERT_EQ(count, 1) << name;
  ASSERT_GE(counting.deliveries.size(), 2u);
  EXPECT_LT(counting.deliveries.front(), expected.size()) << "the first album is not held back for the others";
  EXPECT_TRUE(scanned.take_unsaved_changes());
  EXPECT_FALSE(scanned.take_unsaved_changes()) << "asking forgets";
  std::thread again([&] { scanned.full_rescan(true); });
  again.join();
  EXPECT_FALSE(scanned.take_unsaved_changes()) << "a scan that finds nothing new changes nothing to save";
}

TEST_F(FolderTree, RescanFollowsTheDisk) {
  struct step {
    const char* why;
    std::function<void(FolderTree&)> change;
    strings expected;
  };
  const step steps[] = {
      {"a rewritten file is read again", [](FolderTree& t) { t.write("a.tst", "TST\nA1 again"); },
       {"a.tst:0", "sub\\b.tst:0", "sub\\deeper\\c.tst:0"}},
      {"hiding a file takes its tracks", [](FolderTree& t) { t.set_attributes("sub\\b.tst", FILE_ATTRIBUTE_HIDDEN); },
       {"a.tst:0", "sub\\deeper\\c.tst:0"}},
      {"showing it again brings them back",
       [](FolderTree& t) { t.set_attributes("sub\\b.tst", FILE_ATTRIBUTE_NORMAL); },
       {"a.tst:0", "sub\\b.tst:0", "sub\\deeper\\c.tst:0"}},
      {"hiding a folder takes everything below it",
       [](FolderTree& t) { t.set_attributes("sub", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN); }, {"a.tst:0"}},
      {"a hidden folder shown again is listed again",
       [](FolderTree& t) { t.set_attributes("sub", FILE_ATTRIBUTE_DIRECTORY); },
       {"a.tst:0", "sub\\b.tst:0", "sub\\deeper\\c.tst:0"}},
      {"a deleted folder loses its tracks",
       [](FolderTree& t) {
         DeleteFileW(io_test::wide(t.folder.path("sub\\deeper\\c.tst")).c_str());
         RemoveDirectoryW(io_test::wide(t.folder.path("sub\\deeper")).c_str());
       },
       {"a.tst:0", "sub\\b.tst:0"}},
  };
  make_nested_folder();
  scan();
  for (const step& s : steps) {
    // File times are coarse under some file systems: make every rewrite count.
    Sleep(20);
    s.change(*this);
    scan();
    EXPECT_EQ(sink.tracks, s.expected) << s.why;
  }
}

TEST_F(FolderTree, FolderThatCannotBeListedKeepsItsTracks) {
  write("a.tst", "TST\nA");
  scan();
  io_test::scratch_folder elsewhere;
  tree.reset(elsewhere.file_url("gone").c_str());
  EXPECT_THROW(tree.full_rescan(), vantrel_io::exception_io);
  EXPECT_EQ(sink.tracks, strings({"a.tst:0"})) << "an unplugged drive must not empty the library";
}

TEST_F(FolderTree, RenameNeverMovesBetweenFolders) {
  write("a.tst", "TST\nA");
  scan();
  folder_change_batch batch(tree);
  EXPECT_THROW(tree.rename(batch, "a.tst", "sub\\a.tst", FILE_ATTRIBUTE_NORMAL), qiv::exception_bug_check);
  tree.remove(batch, "nowhere\\x.tst");  // never seen: nothing happens
  tree.flush(batch);
  EXPECT_EQ(sink.tracks, strings({"a.tst:0"}));
}

TEST_F(FolderTree, LinksBackUpTheTreeAreNotEntered) {
  write("a.tst", "TST\nA");
  // Wine makes a Unix symbolic link, which it lists as a reparse point.
  if (!CreateSymbolicLinkW(io_test::wide(folder.path("loop")).c_str(), io_test::wide(folder.path()).c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no directory links here";
  scan();
  EXPECT_EQ(sink.tracks, strings({"a.tst:0"}));
  EXPECT_EQ(sink.times_added["a.tst:0"], 1);
}

TEST_F(FolderTree, LastMarkOfAHandleWinsUntilDelivery) {
  const track_handle_ptr handle = metadata_test::handle(folder.file_url("x.tst"), 0);
  struct sequence {
    const char* why;
    std::vector<bool> marks;  // true: added, false: removed; all in one batch
    bool added;
  };
  const sequence sequences[] = {
      {"added then removed within one delivery", {true, false}, false},
      {"removed then added", {false, true}, true},
      {"added, removed, added", {true, false, true}, true},
  };
  for (const sequence& s : sequences) {
    sink.tracks.clear();
    sink.times_added.clear();
    folder_change_batch batch(tree);
    for (bool added : s.marks) added ? batch.mark_added(handle) : batch.mark_removed(handle);
    tree.flush(batch);
    EXPECT_EQ(sink.times_added.count("x.tst:0") != 0, s.added) << s.why;
  }
}

TEST(FolderRetry, IntervalGrowsByHalfWithinItsBounds) {
  const std::pair<DWORD, DWORD> steps[] = {{0, 250}, {250, 375}, {375, 562}, {562, 843}, {843, 1264},
                                           {500000, 666000}, {666000, 666000}};
  for (const auto& [interval, next] : steps) EXPECT_EQ(next_retry_interval(interval), next) << interval;
}

}  // namespace
