// "database.dat": exact bytes, a restart that opens no audio file, a run that
// leaves the file alone, files cut or damaged anywhere, and the same library
// when the file was read ahead on a worker.
#include "library/library_database.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/config_item_registrations.h"
#include "foundation/win32_handles.h"
#include "library/media_library.h"
#include "library_test_support.h"

namespace {

using library_test::counting_tst_input;
using strings = std::set<std::string>;

std::string u32_text(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
const std::string header("\x55\xC7\x65\x9F\xF6\x13\x14\x48\xA9\xB1\xF1\xB6\xF7\xAD\x7F\xFC", 16);
const std::string empty_blob = std::string("\xD0\x0A\xCA\xA5\x5D\xEA\x04\x4E\xAA\x2C\xDD\x0A\x45\x02\x36\x6E", 16) +
                               u32_text(8) + u32_text(0) + u32_text(0) +
                               std::string("\x94\x84\xEA\x9B\x45\x60\x45\x49\x9A\xBC\x0B\x38\xAE\xC3\x91\x6A", 16);

class LibraryDatabase : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder profile;
  io_test::scratch_folder music;

  void SetUp() override {
    app::state().profile_path = qiv::string_small(("file://" + profile.path()).c_str());
    config::library_monitor_folders.set(false);
    media_library::shutdown();
    counting_tst_input::opens = 0;
  }
  void TearDown() override { media_library::shutdown(); }

  std::string database() const { return io_test::read_file(profile.path("database.dat")); }
  void write_database(const std::string& bytes) { io_test::write_file(profile.path("database.dat"), bytes); }

  strings library_tracks() {
    track_handle_list all;
    media_library::get_all(all);
    strings names;
    for (const track_handle_ptr& handle : all) {
      const std::string path = handle->get_location().get_path();
      names.insert(path.substr(path.find_last_of('\\') + 1) + ":" + std::to_string(handle->get_location().get_subsong()));
    }
    return names;
  }
  // Scans every folder once and waits for the result.
  void scan(const strings& expected) {
    media_library::ensure_loaded();
    media_library::rescan_folders();
    ASSERT_TRUE(library_test::wait_until([&] { return library_tracks() == expected; }));
  }
  void scan_count(std::size_t count) { ASSERT_TRUE(library_test::rescan_until_tracks(count)); }
  void restart() {
    library_database_save(false);
    media_library::shutdown();
  }
};

TEST_F(LibraryDatabase, EmptyLibraryAndOneEmptyFolderHaveTheirExactBytes) {
  media_library::set_folder_list({});
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_EQ(database(), header + u32_text(0));

  media_library::shutdown();
  media_library::set_folder_list({"C:\\M"});
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_EQ(database(), header + u32_text(1) + u32_text(4) + "C:\\M" + u32_text(44) + empty_blob);
  EXPECT_EQ(database().size(), 76u);
}

TEST_F(LibraryDatabase, RestartRestoresEveryTrackWithoutOpeningAFile) {
  io_test::write_file(music.path("a.tst"), "TST\nA\nA2");
  library_test::make_folder(music.path("sub"));
  io_test::write_file(music.path("sub\\b.tst"), "TST\nB");
  media_library::set_folder_list({music.path()});
  const strings all = {"a.tst:0", "a.tst:1", "b.tst:0"};
  scan(all);
  restart();

  counting_tst_input::opens = 0;
  EXPECT_EQ(library_tracks(), all);
  EXPECT_EQ(counting_tst_input::opens, 0);
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(music.file_url("sub\\b.tst"), 0)), "B");

  // The saved file is stable: saving the restored library again gives the same bytes.
  const std::string first = database();
  library_database_save(false);
  EXPECT_EQ(database(), first);
}

TEST_F(LibraryDatabase, SaveWritesTheFileOnlyWhenTheLibraryChanged) {
  io_test::write_file(music.path("a.tst"), "TST\nA");
  library_test::make_folder(music.path("other"));
  media_library::set_folder_list({music.path()});
  scan({"a.tst:0"});
  restart();
  // A written file is a new file: its old time marks one left alone.
  const auto age = [&] {
    const HANDLE file = CreateFileW(io_test::wide(profile.path("database.dat")).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME old = {0, 0x01C00000};
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
  };
  const auto rewritten = [&] {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(io_test::wide(profile.path("database.dat")).c_str(), GetFileExInfoStandard, &data))
      return true;
    return data.ftLastWriteTime.dwHighDateTime != 0x01C00000;
  };

  age();
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_FALSE(rewritten()) << "restored and unchanged";
  media_library::shutdown();

  media_library::ensure_loaded();
  media_library::rescan_folders();
  library_test::wait_until([] { return false; }, 1.0);
  library_database_save(false);
  EXPECT_FALSE(rewritten()) << "a rescan that found nothing new";
  media_library::shutdown();

  io_test::write_file(music.path("b.tst"), "TST\nB");
  scan({"a.tst:0", "b.tst:0"});
  library_database_save(false);
  EXPECT_TRUE(rewritten()) << "a file came";
  media_library::shutdown();

  age();
  media_library::set_folder_list({music.path(), music.path("other")});
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_TRUE(rewritten()) << "a folder came";
  media_library::shutdown();

  age();
  media_library::set_folder_list({music.path()});
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_TRUE(rewritten()) << "a folder went: its record is dropped";
  media_library::shutdown();

  write_database(database().substr(0, 30));
  age();
  media_library::ensure_loaded();
  library_database_save(false);
  EXPECT_TRUE(rewritten()) << "a damaged file is mended";
}

TEST_F(LibraryDatabase, RunThatNeverUsedTheLibraryLeavesTheFileAlone) {
  write_database("not even a library file");
  library_database_save(false);
  EXPECT_EQ(database(), "not even a library file");
  library_database_save(true);
  EXPECT_EQ(GetFileAttributesW(io_test::wide(profile.path("database.dat")).c_str()), INVALID_FILE_ATTRIBUTES)
      << "a reset removes it, loaded or not";
}

TEST_F(LibraryDatabase, DamagedFileKeepsEveryRecordBeforeTheDamage) {
  library_test::make_folder(music.path("one"));
  library_test::make_folder(music.path("two"));
  io_test::write_file(music.path("one\\a.tst"), "TST\nA");
  io_test::write_file(music.path("two\\b.tst"), "TST\nB");
  media_library::set_folder_list({music.path("one"), music.path("two")});
  scan({"a.tst:0", "b.tst:0"});
  restart();
  const std::string whole = database();
  // Records in folder-text order: "...\one" first.
  const auto field = [&](std::size_t at) {
    return std::uint32_t(std::uint8_t(whole[at])) | std::uint32_t(std::uint8_t(whole[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(whole[at + 2])) << 16 | std::uint32_t(std::uint8_t(whole[at + 3])) << 24;
  };
  const std::size_t blob_start = 20 + 4 + field(20) + 4;
  const std::size_t first_end = blob_start + field(blob_start - 4);
  ASSERT_LT(first_end, whole.size());

  const struct {
    const char* why;
    std::string bytes;
  } damaged[] = {
      {"another header", "X" + whole.substr(1)},
      {"a count far past the records", whole.substr(0, 16) + u32_text(1000) + whole.substr(20)},
  };
  for (const auto& d : damaged) {
    write_database(d.bytes);
    counting_tst_input::opens = 0;
    const strings tracks = library_tracks();
    EXPECT_TRUE(d.bytes.substr(0, 16) != header || tracks == strings({"a.tst:0", "b.tst:0"})) << d.why;
    EXPECT_TRUE(d.bytes.substr(0, 16) == header || tracks.empty()) << d.why;
    media_library::shutdown();
  }

  for (std::size_t length = 0; length < whole.size(); length += 7) {
    write_database(whole.substr(0, length));
    const strings tracks = library_tracks();
    if (length >= first_end) {
      EXPECT_EQ(tracks.count("a.tst:0"), 1u) << length;
    }
    EXPECT_EQ(tracks.count("b.tst:0"), 0u) << length;
    media_library::shutdown();
  }
}

// Read ahead at start-up or on first use, the library is the same: intact,
// damaged, with folders listed differently by the time it is used, or with
// a stored folder whose data does not parse.
TEST_F(LibraryDatabase, ReadAheadGivesTheLibraryAFirstUseWouldRead) {
  library_test::make_folder(music.path("one"));
  library_test::make_folder(music.path("two"));
  io_test::write_file(music.path("one\\a.tst"), "TST\nA\nA2");
  io_test::write_file(music.path("two\\b.tst"), "TST\nB");
  const std::vector<std::string> both = {music.path("one"), music.path("two")};
  media_library::set_folder_list(both);
  scan({"a.tst:0", "a.tst:1", "b.tst:0"});
  restart();
  const std::string whole = database();
  const auto read_ahead = [&] {
    library_database_preload();
    counting_tst_input::opens = 0;
    return library_tracks();
  };

  EXPECT_EQ(read_ahead(), strings({"a.tst:0", "a.tst:1", "b.tst:0"}));
  EXPECT_EQ(counting_tst_input::opens, 0);
  library_database_save(false);
  EXPECT_EQ(database(), whole) << "nothing changed, nothing written";
  media_library::shutdown();

  for (const std::string& bytes : {"X" + whole.substr(1), whole.substr(0, 16) + u32_text(1000) + whole.substr(20),
                                   whole.substr(0, whole.size() / 2), whole.substr(0, whole.size() - 3)}) {
    write_database(bytes);
    const strings ahead = read_ahead();
    media_library::shutdown();
    EXPECT_EQ(ahead, library_tracks()) << bytes.size();
    media_library::shutdown();
  }

  // Listed differently by the time of the first use: a folder that left is
  // not shown, and its record is dropped at the next save.
  write_database(whole);
  library_database_preload();
  media_library::set_folder_list({music.path("two")});
  EXPECT_EQ(library_tracks(), strings({"b.tst:0"}));
  restart();
  media_library::set_folder_list(both);
  EXPECT_EQ(library_tracks(), strings({"b.tst:0"}));
  media_library::shutdown();

  // A stored folder whose data does not parse starts afresh and finds its
  // files again.
  std::string bad = whole;
  const std::size_t blob_start = 20 + 4 + music.path("one").size() + 4;
  bad.replace(blob_start + 16, 4, u32_text(0x7FFFFFFF));  // the tree claims more than the blob holds
  write_database(bad);
  library_database_preload();
  EXPECT_EQ(library_tracks(), strings({"b.tst:0"}));
  scan({"a.tst:0", "a.tst:1", "b.tst:0"});
}

// What the read-ahead hands its tracks to runs beside the library's first
// use, and is given them in the order the library lists them, with one
// folder or several.
TEST_F(LibraryDatabase, ReadAheadHandsOnTheTracksInTheLibrarysOrderWithoutHoldingUpItsFirstUse) {
  struct held_use final : library_read_ahead_use {
    win32_event release;
    track_handle_list& got;
    explicit held_use(track_handle_list& out) : got(out) { release.create(); }
    void use(track_handle_list tracks) noexcept override {
      WaitForSingleObject(release.get(), 20000);
      got = std::move(tracks);
    }
  };
  library_test::make_folder(music.path("one"));
  library_test::make_folder(music.path("two"));
  for (int i = 0; i < 40; ++i)
    io_test::write_file(music.path(std::string(i % 2 ? "one" : "two") + "\\" + std::to_string(i) + ".tst"), "TST\nA");
  for (const std::vector<std::string>& listed :
       {std::vector<std::string>{music.path("one")}, std::vector<std::string>{music.path("two"), music.path("one")}}) {
    media_library::set_folder_list(listed);
    scan_count(listed.size() * 20);
    restart();
    track_handle_list handed;
    auto use = std::make_unique<held_use>(handed);
    const HANDLE release = use->release.get();
    library_database_preload(std::move(use));
    track_handle_list listed_now;
    media_library::get_all(listed_now);  // returns while the use is held
    SetEvent(release);
    library_database_drop_preload();
    ASSERT_EQ(handed.size(), listed_now.size());
    for (std::size_t i = 0; i < handed.size(); ++i) EXPECT_EQ(handed[i].get(), listed_now[i].get()) << i;
    media_library::shutdown();
  }
}

// A run that reads ahead but never uses the library neither writes the file
// nor keeps a thing once the library shuts down.
TEST_F(LibraryDatabase, ReadAheadThatIsNeverUsedLeavesTheFileAlone) {
  io_test::write_file(music.path("a.tst"), "TST\nA");
  media_library::set_folder_list({music.path()});
  scan({"a.tst:0"});
  restart();
  const std::string whole = database();
  library_database_preload();
  library_database_save(false);
  media_library::shutdown();
  EXPECT_EQ(database(), whole);
  EXPECT_FALSE(media_library::is_loaded());
}

}  // namespace
