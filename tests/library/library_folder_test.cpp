// A folder's worker against a real folder: the modes, following changes on
// disk, changes made while a tag write of ours runs, overflowing the change
// buffer, a folder that goes and comes back, and a file that another program
// holds.
#include "library/library_folder.h"

#include <gtest/gtest.h>

#include <functional>

#include "io/memory_file.h"
#include "library_test_support.h"
#include "metadata/tag_writes_in_progress.h"

namespace {

using strings = std::set<std::string>;

class LibraryFolder : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder scratch;
  std::string root = scratch.path("music");
  library_test::recording_sink sink{"file://" + root + "\\"};
  library_folder_ptr folder;

  void SetUp() override { library_test::make_folder(root); }
  void TearDown() override { folder.reset(); }

  std::string path(const std::string& name) const { return root + "\\" + name; }
  void write(const std::string& name, const std::string& content = "TST\nT") { io_test::write_file(path(name), content); }
  void start(std::uint32_t mode) {
    track_handle_list restored;
    folder = folder_monitor::create(&sink, ("file://" + root).c_str(), nullptr, mode, restored);
  }
  bool holds(const strings& expected, double seconds = 20.0) {
    return library_test::wait_until([&] { return sink.tracks == expected; }, seconds);
  }
};

TEST_F(LibraryFolder, ModesDecideWhetherAndHowTheWorkerRuns) {
  write("a.tst");
  start(library_folder::mode_no_first_scan | library_folder::mode_no_monitoring);
  EXPECT_TRUE(folder->is_ready()) << "no worker: ready at once";
  library_test::wait_until([] { return false; }, 0.3);
  EXPECT_TRUE(sink.tracks.empty());

  folder->set_mode(library_folder::mode_no_monitoring);
  EXPECT_TRUE(holds({"a.tst:0"})) << "a one-off scan";
  EXPECT_TRUE(library_test::wait_until([&] { return folder->is_ready(); }));
  write("b.tst");
  library_test::wait_until([] { return false; }, 0.5);
  EXPECT_EQ(sink.tracks, strings({"a.tst:0"})) << "a finished one-off scan follows nothing";
}

// Ready means the first pass is over: its files are read by then, whether
// the worker goes on watching or ends, with no wait for a writer nobody
// reported.
TEST_F(LibraryFolder, ReadyAfterTheFirstPassWithItsFilesRead) {
  for (const std::uint32_t mode : {0u, std::uint32_t(library_folder::mode_no_monitoring)}) {
    sink.tracks.clear();
    write("a.tst");
    library_test::make_folder(path("sub"));
    write("sub\\b.tst");
    start(mode);
    ASSERT_TRUE(library_test::wait_until([&] { return folder->is_ready(); })) << mode;
    main_thread_queue::drain(true);
    EXPECT_EQ(sink.tracks, strings({"a.tst:0", "sub\\b.tst:0"})) << mode;
    folder.reset();
  }
}

TEST_F(LibraryFolder, MonitoringFollowsTheDisk) {
  struct step {
    const char* why;
    std::function<void(LibraryFolder&)> change;
    strings expected;
  };
  const auto rename = [](LibraryFolder& t, const char* from, const char* to) {
    MoveFileW(io_test::wide(t.path(from)).c_str(), io_test::wide(t.path(to)).c_str());
  };
  const auto attributes = [](LibraryFolder& t, const char* name, DWORD value) {
    SetFileAttributesW(io_test::wide(t.path(name)).c_str(), value);
  };
  const step steps[] = {
      {"a copied-in file", [](LibraryFolder& t) { t.write("new.tst"); }, {"a.tst:0", "new.tst:0"}},
      {"a rename", [&](LibraryFolder& t) { rename(t, "new.tst", "renamed.tst"); }, {"a.tst:0", "renamed.tst:0"}},
      {"a deletion", [](LibraryFolder& t) { DeleteFileW(io_test::wide(t.path("renamed.tst")).c_str()); },
       {"a.tst:0"}},
      {"a hidden file", [&](LibraryFolder& t) { attributes(t, "a.tst", FILE_ATTRIBUTE_HIDDEN); }, {}},
      {"shown again", [&](LibraryFolder& t) { attributes(t, "a.tst", FILE_ATTRIBUTE_NORMAL); }, {"a.tst:0"}},
      {"a new subfolder with a file",
       [](LibraryFolder& t) {
         library_test::make_folder(t.path("sub"));
         t.write("sub\\s.tst");
       },
       {"a.tst:0", "sub\\s.tst:0"}},
      {"a renamed subfolder", [&](LibraryFolder& t) { rename(t, "sub", "moved"); }, {"a.tst:0", "moved\\s.tst:0"}},
      {"a rewritten file", [](LibraryFolder& t) { t.write("a.tst", "TST\nOne\nTwo"); },
       {"a.tst:0", "a.tst:1", "moved\\s.tst:0"}},
  };
  write("a.tst");
  start(0);
  ASSERT_TRUE(holds({"a.tst:0"}));
  for (const step& s : steps) {
    s.change(*this);
    EXPECT_TRUE(holds(s.expected)) << s.why;
  }
}

// What a folder stores, read back from its blob.
std::string blob_of(library_folder& folder) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  folder.save(*file, never_raised_abort_signal());
  return io_test::read_all(*file);
}

// Folders of many files sharing their names, changed while watched: each
// change moves or drops exactly its own files, promptly, and the folder then
// stores what a fresh scan of the disk stores.
TEST_F(LibraryFolder, WatchedMovesAndRemovalsStoreWhatAFreshScanStores) {
  const std::string song = " Song \xC3\xA9t\xC3\xA9.tst";
  strings expected;
  for (const char* sub : {"Album", "Other", "Gone"}) {
    library_test::make_folder(path(sub));
    for (int i = 0; i < 30; ++i) {
      const std::string name = sub + ("\\" + std::to_string(i)) + song;
      write(name, "TST\n" + name);
      expected.insert(name + ":0");
    }
  }
  // Moves a file or folder on disk and in `expected`.
  const auto move = [&](const std::string& from, const std::string& to) {
    ASSERT_TRUE(MoveFileW(io_test::wide(path(from)).c_str(), io_test::wide(path(to)).c_str()));
    strings moved;
    for (auto it = expected.begin(); it != expected.end();) {
      if (it->rfind(from + "\\", 0) == 0 || *it == from + ":0") {
        moved.insert(to + it->substr(from.size()));
        it = expected.erase(it);
      } else {
        ++it;
      }
    }
    expected.merge(moved);
  };
  start(0);
  ASSERT_TRUE(holds(expected));

  // A watch that stopped on such a move would see it only at its next try,
  // 10 s later.
  move("Album\\7" + song, "Other\\7" + song + ".moved");
  expected.erase("Other\\7" + song + ".moved:0");  // no input claims it there
  move("Album\\8" + song, "Other\\8b.tst");
  EXPECT_TRUE(holds(expected, 5.0)) << "files moved between folders";
  move("Other", "Album\\Other");
  EXPECT_TRUE(holds(expected, 5.0)) << "a folder moved into another";
  move("Album\\Other", "Renamed");
  EXPECT_TRUE(holds(expected, 5.0)) << "and out again under a new name";
  for (int i = 10; i < 30; ++i) {
    const std::string name = "Album\\" + std::to_string(i) + song;
    DeleteFileW(io_test::wide(path(name)).c_str());
    expected.erase(name + ":0");
  }
  EXPECT_TRUE(holds(expected)) << "most of a folder's files deleted";
  io_test::remove_tree(io_test::wide(path("Gone")));
  std::erase_if(expected, [](const std::string& name) { return name.rfind("Gone\\", 0) == 0; });
  EXPECT_TRUE(holds(expected)) << "a removed folder";

  library_test::recording_sink fresh_sink{"file://" + root + "\\"};
  track_handle_list none;
  const library_folder_ptr fresh =
      folder_monitor::create(&fresh_sink, ("file://" + root).c_str(), nullptr, library_folder::mode_no_monitoring, none);
  ASSERT_TRUE(library_test::wait_until([&] { return fresh->is_ready() && fresh_sink.tracks == expected; }));
  const std::string stored = blob_of(*fresh);
  // The folder's own removal may be told a moment after its files'.
  EXPECT_TRUE(library_test::wait_until([&] { return blob_of(*folder) == stored; }));
}

// The worker keeps what it sees while a tag write of ours runs and lets all of
// it take effect once the write is over, in the order it happened.
TEST_F(LibraryFolder, ChangesMadeDuringATagWriteOfOursTakeEffectAfterIt) {
  for (const char* name : {"kept.tst", "gone.tst", "renamed.tst", "rewritten.tst"}) write(name);
  start(0);
  const strings before = {"gone.tst:0", "kept.tst:0", "renamed.tst:0", "rewritten.tst:0"};
  ASSERT_TRUE(holds(before));
  {
    tag_write_scope writing;
    for (int i = 0; i < 20; ++i) write("kept.tst", "TST\nT" + std::string(i, 'x'));
    DeleteFileW(io_test::wide(path("gone.tst")).c_str());
    MoveFileW(io_test::wide(path("renamed.tst")).c_str(), io_test::wide(path("moved.tst")).c_str());
    write("rewritten.tst", "TST\nOne\nTwo");
    write("new.tst");
    write("new2.tst");
    DeleteFileW(io_test::wide(path("new2.tst")).c_str());
    library_test::wait_until([] { return false; }, 1.0);
    EXPECT_EQ(sink.tracks, before) << "the worker leaves the files alone while the write runs";
  }
  EXPECT_TRUE(holds({"kept.tst:0", "moved.tst:0", "new.tst:0", "rewritten.tst:0", "rewritten.tst:1"}));
}

TEST_F(LibraryFolder, OverflowedNotificationsEndInARescanThatMatchesTheDisk) {
  start(0);
  ASSERT_TRUE(library_test::wait_until([&] { return folder->is_ready(); }));
  strings expected;
  // Far more than 64 KiB of records: the buffer overflows at least once.
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "file number " + std::to_string(i) + " with a long name to fill the buffer.tst";
    write(name);
    expected.insert(name + ":0");
  }
  EXPECT_TRUE(holds(expected, 120.0));
  for (const auto& [name, count] : sink.times_added) EXPECT_EQ(count, 1) << name;
}

// The folder may come back between the worker letting go and watching again:
// the file made in that moment must still be found.
TEST_F(LibraryFolder, DeletedFolderIsWatchedAgainOnceItReturns) {
  write("a.tst");
  start(0);
  ASSERT_TRUE(holds({"a.tst:0"}));
  io_test::remove_tree(io_test::wide(root));
  ASSERT_TRUE(holds({}));
  // The folder is gone for good once the worker lets go of it.
  ASSERT_TRUE(library_test::wait_until(
      [&] { return GetFileAttributesW(io_test::wide(root).c_str()) == INVALID_FILE_ATTRIBUTES; }, 30.0));
  library_test::make_folder(root);
  write("back.tst");
  // The worker looks again every 10 s.
  EXPECT_TRUE(holds({"back.tst:0"}, 40.0));
}

TEST_F(LibraryFolder, FileHeldWithoutSharingAppearsOnceReleased) {
  start(0);
  ASSERT_TRUE(library_test::wait_until([&] { return folder->is_ready(); }));
  const HANDLE held = CreateFileW(io_test::wide(path("held.tst")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(held, "TST\nHeld", 8, &written, nullptr);
  // Let the worker meet the file while it is held: it must keep retrying.
  library_test::wait_until([] { return false; }, 1.5);
  CloseHandle(held);
  EXPECT_TRUE(holds({"held.tst:0"}));
}

}  // namespace
