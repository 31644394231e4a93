// The stored form of a folder tree: exact bytes, round trips that open no
// audio file, and blobs that must be refused rather than trusted.
#include "library/folder_blob.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "library_test_support.h"

namespace {

using library_test::counting_tst_input;

const std::string tree_tag("\xD0\x0A\xCA\xA5\x5D\xEA\x04\x4E\xAA\x2C\xDD\x0A\x45\x02\x36\x6E", 16);
const std::string end_tag("\x94\x84\xEA\x9B\x45\x60\x45\x49\x9A\xBC\x0B\x38\xAE\xC3\x91\x6A", 16);

std::string u32(std::uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string text(const std::string& s) { return u32(static_cast<std::uint32_t>(s.size())) + s; }
std::string section(const std::string& payload) { return tree_tag + u32(static_cast<std::uint32_t>(payload.size())) + payload; }
const std::string empty_dir = u32(0) + u32(0);
// One file with one track without info.
std::string one_file(const std::string& name) {
  return u32(1) + text(name) + std::string(8, '\0') + u32(1) + u32(0) + u32(0) + u32(0);
}

vantrel_io::file_ptr memory_file(const std::string& bytes) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), never_raised_abort_signal());
  file->seek(0, never_raised_abort_signal());
  return file;
}

std::string file_text(vantrel_io::file_object& file) {
  file.seek(0, never_raised_abort_signal());
  return io_test::read_text(file, static_cast<std::uint32_t>(file.get_size(never_raised_abort_signal())));
}

class FolderBlob : public ::testing::Test {
protected:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder folder;
  raisable_abort_signal abort;
  library_test::recording_sink sink{folder.file_url() + "\\"};

  std::string save(folder_tree& tree) {
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    write_folder_blob(tree, *file, never_raised_abort_signal());
    return file_text(*file);
  }
  // The tracks as "path:subsong", relative to the folder.
  std::set<std::string> names(const track_handle_list& handles) {
    std::set<std::string> out;
    const std::string root = folder.file_url() + "\\";
    for (const track_handle_ptr& handle : handles)
      out.insert(std::string(handle->get_location().get_path()).substr(root.size()) + ":" +
                 std::to_string(handle->get_location().get_subsong()));
    return out;
  }
  void settle(folder_tree& tree) {
    ASSERT_TRUE(library_test::wait_until([&] {
      folder_change_batch batch(tree);
      tree.run_retry_queue(batch);
      tree.flush(batch);
      return tree.nothing_pending();
    }));
  }
};

TEST_F(FolderBlob, EmptyFolderIsFortyFourBytesAndReadsBackEmpty) {
  folder_tree tree(&sink, abort);
  tree.reset(folder.file_url().c_str());
  const std::string bytes = save(tree);
  EXPECT_EQ(bytes, section(empty_dir) + end_tag);
  EXPECT_EQ(bytes.size(), 44u);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(bytes), restored);
  EXPECT_TRUE(restored.empty());
  EXPECT_TRUE(tree.nothing_pending());
}

TEST_F(FolderBlob, RestoresTracksAndInfoWithoutOpeningAFile) {
  io_test::write_file(folder.path("b.tst"), "TST\nBee");
  library_test::make_folder(folder.path("n\xC3\xA4me"));
  io_test::write_file(folder.path("n\xC3\xA4me\\a.tst"), "TST\nAy\nAy two");
  std::string stored;
  {
    folder_tree tree(&sink, abort);
    tree.reset(folder.file_url().c_str());
    tree.full_rescan();
    settle(tree);
    stored = save(tree);
  }
  sink.tracks.clear();  // the sink keeps no handles: the cached infos are gone now
  counting_tst_input::opens = 0;

  folder_tree tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(stored), restored);
  ASSERT_EQ(restored.size(), 3u);
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("n\xC3\xA4me\\a.tst"), 1)), "Ay two");
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("b.tst"), 0)), "Bee");
  EXPECT_TRUE(tree.nothing_pending());
  EXPECT_EQ(save(tree), stored) << "writing again gives the same bytes";

  tree.full_rescan();
  settle(tree);
  EXPECT_EQ(counting_tst_input::opens, 0) << "unchanged files are not read after a restore";
}

// Files that share a name across folders, names past ASCII, and a path far
// past MAX_PATH: each keeps its own tracks through a save, a restore and a
// rescan, and the library holds exactly what it held.
TEST_F(FolderBlob, LookalikeNamesAndLongPathsComeBackExactlyAfterRestoreAndRescan) {
  const std::string long_folder = std::string(120, 'L') + "\\" + std::string(120, 'M');
  for (const char* sub : {"Disc 1", "Disc 2", "n\xC3\xA4me", "L"}) library_test::make_folder(folder.path(sub));
  library_test::make_folder(folder.path(std::string(120, 'L')));
  library_test::make_folder(folder.path(long_folder));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Disc 1\\01.tst", "TST\nOne"},          {"Disc 2\\01.tst", "TST\nTwo\nTwo b"},
      {"n\xC3\xA4me\\\xE6\x97\xA5.tst", "TST\nSun"}, {"Zed.tst", "TST\nZed"},
      {"\xC3\x84pfel.tst", "TST\nApple"},       {long_folder + "\\" + std::string(40, 'n') + ".tst", "TST\nFar"}};
  for (const auto& [name, content] : files) io_test::write_file(folder.path(name), content);
  const std::set<std::string> expected = {"Disc 1\\01.tst:0",
                                          "Disc 2\\01.tst:0",
                                          "Disc 2\\01.tst:1",
                                          "n\xC3\xA4me\\\xE6\x97\xA5.tst:0",
                                          "Zed.tst:0",
                                          "\xC3\x84pfel.tst:0",
                                          long_folder + "\\" + std::string(40, 'n') + ".tst:0"};
  std::string stored;
  {
    folder_tree tree(&sink, abort);
    tree.reset(folder.file_url().c_str());
    tree.full_rescan();
    settle(tree);
    ASSERT_EQ(sink.tracks, expected);
    stored = save(tree);
  }
  sink.tracks.clear();
  counting_tst_input::opens = 0;

  folder_tree tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(stored), restored);
  EXPECT_EQ(names(restored), expected);
  EXPECT_EQ(restored.size(), expected.size());
  sink.tracks = expected;
  sink.times_added.clear();
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("Disc 1\\01.tst"), 0)), "One");
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("Disc 2\\01.tst"), 0)), "Two");
  EXPECT_EQ(save(tree), stored);
  tree.full_rescan();
  settle(tree);
  EXPECT_EQ(counting_tst_input::opens, 0);
  EXPECT_EQ(sink.tracks, expected);
  EXPECT_TRUE(sink.times_added.empty());
  EXPECT_EQ(save(tree), stored) << "a rescan of an unchanged folder changes nothing stored";
}

// Names that differ only in letter case are different files on some file
// systems: a stored library keeps both, with their own tracks, as it found them.
TEST_F(FolderBlob, NamesDifferingOnlyInCaseStayTwoFiles) {
  const auto file = [](const std::string& name, std::uint32_t subsong) {
    return text(name) + std::string(8, '\0') + u32(1) + u32(subsong) + u32(0);
  };
  const std::string bytes =
      section(u32(3) + file("SONG.tst", 3) + file("Song.tst", 2) + file("song.tst", 1) + u32(0)) + end_tag;
  folder_tree tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(bytes), restored);
  EXPECT_EQ(names(restored), (std::set<std::string>{"SONG.tst:3", "Song.tst:2", "song.tst:1"}));
  EXPECT_EQ(save(tree), bytes);
}

// A file not written in name order (made by hand, or damaged) still gives
// the tree in name order; of a name given twice, the later record counts.
TEST_F(FolderBlob, NamesOutOfOrderAreRestoredInOrderWithTheLaterOfTwinsKept) {
  const auto file = [](const std::string& name, std::uint32_t subsong) {
    return text(name) + std::string(8, '\0') + u32(1) + u32(subsong) + u32(0);
  };
  const std::string bytes = section(u32(6) + file("b.tst", 0) + file("d.tst", 0) + file("a.tst", 0) +
                                    file("d.tst", 5) + file("c.tst", 0) + file("b.tst", 7) + u32(0)) +
                            end_tag;
  folder_tree tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(bytes), restored);
  const std::string in_order = section(u32(4) + file("a.tst", 0) + file("b.tst", 7) + file("c.tst", 0) +
                                       file("d.tst", 5) + u32(0)) +
                               end_tag;
  EXPECT_EQ(save(tree), in_order);
  EXPECT_EQ(restored.size(), 6u) << "every record's track is handed over, as it is read";
}

TEST_F(FolderBlob, TrackWithoutStoredInfoIsReadAtTheFirstRetry) {
  io_test::write_file(folder.path("a.tst"), "TST\nFresh");
  folder_tree tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(tree, folder.file_url().c_str(), *memory_file(section(one_file("a.tst") + u32(0)) + end_tag),
                   restored);
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_FALSE(tree.nothing_pending());
  counting_tst_input::opens = 0;
  settle(tree);
  EXPECT_EQ(counting_tst_input::opens, 1);
  EXPECT_EQ(metadata_test::cached_title(restored[0]), "Fresh");
}

TEST_F(FolderBlob, DamagedOrHostileBlobsAreRefused) {
  std::string deep = u32(0) + u32(0);
  for (int i = 0; i < 300; ++i) deep = u32(0) + u32(1) + text("d") + deep;
  const struct {
    const char* why;
    std::string bytes;
  } cases[] = {
      {"empty name", section(one_file("") + u32(0)) + end_tag},
      {"the folder itself", section(one_file(".") + u32(0)) + end_tag},
      {"its parent", section(one_file("..") + u32(0)) + end_tag},
      {"a name of dots only", section(one_file("...") + u32(0)) + end_tag},
      {"a separator escapes the folder", section(one_file("..\\x.tst") + u32(0)) + end_tag},
      {"a forward slash", section(one_file("a/b.tst") + u32(0)) + end_tag},
      {"a subfolder named ..", section(u32(0) + u32(1) + text("..") + empty_dir) + end_tag},
      {"nesting deeper than any folder", section(deep) + end_tag},
      {"a section longer than the blob", tree_tag + u32(1000) + empty_dir + end_tag},
      {"no end tag", section(empty_dir)},
      {"a count past the data", section(u32(5)) + end_tag},
  };
  for (const auto& c : cases) {
    folder_tree tree(&sink, abort);
    track_handle_list restored;
    EXPECT_THROW(read_folder_blob(tree, folder.file_url().c_str(), *memory_file(c.bytes), restored),
                 vantrel_io::exception_io_data)
        << c.why;
  }
}

TEST_F(FolderBlob, EveryTruncationFailsCleanly) {
  const std::string whole = section(u32(2) + text("a.tst") + std::string(8, '\0') + u32(1) + u32(0) + u32(1) +
                                    u32(0) + u32(8) + std::string(8, '\0') + text("b.tst") + std::string(8, '\0') +
                                    u32(0) + u32(1) + text("s") + empty_dir) +
                            section(empty_dir) + end_tag;
  {
    folder_tree tree(&sink, abort);
    track_handle_list restored;
    read_folder_blob(tree, folder.file_url().c_str(), *memory_file(whole), restored);
    EXPECT_EQ(restored.size(), 1u) << "the fixture itself is sound";
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    folder_tree tree(&sink, abort);
    track_handle_list restored;
    EXPECT_THROW(read_folder_blob(tree, folder.file_url().c_str(), *memory_file(whole.substr(0, length)), restored),
                 vantrel_io::exception_io)
        << length;
  }
}

}  // namespace
