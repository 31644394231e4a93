#include "metadata/track_handle_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"
#include "metadata/track_handle.h"
#include "metadata_test_streams.h"
#include "tst_input.h"

namespace {

using namespace field_name_set;

track_handle_ptr handle_of(const char* path, std::uint32_t subsong = 0) { return metadata_test::handle(path, subsong); }
using metadata_test::cached_title;

track_display_info record_titled(const char* title_text) {
  track_display_info record;
  record.set(title, title_text);
  record.set_length(12.5f);
  return record;
}

std::uint64_t cached_time(const track_handle_ptr& handle) {
  track_info_lock hold;
  return handle->get_info_timestamp();
}

TEST(TrackHandleIdentity, OneHandlePerPathAndSubsong) {
  const track_handle_ptr a = handle_of("file://C:\\Music\\a.flac");
  const track_handle_ptr again = handle_of("file://C:\\Music\\a.flac");
  const track_handle_ptr second_track = handle_of("file://C:\\Music\\a.flac", 1);
  const track_handle_ptr upper = handle_of("file://C:\\Music\\A.flac");
  EXPECT_EQ(a.get(), again.get());
  EXPECT_NE(a.get(), second_track.get());
  EXPECT_NE(a.get(), upper.get());
}

TEST(TrackHandleIdentity, LastReleaseEndsTheHandleAndANewOneStartsWithoutInfo) {
  const std::uint32_t before = track_handle_registry::live_count();
  track_handle_ptr handle = handle_of("file://C:\\gone.mp3");
  EXPECT_TRUE(handle->is_only_reference());
  ASSERT_TRUE(handle->set_info(record_titled("old"), 100, 0, false));
  // Getting into a held slot releases the slot's old reference.
  track_handle_registry::get_handle(handle, track_location("file://C:\\second.mp3", 0));
  EXPECT_STREQ(handle->get_location().get_path(), "file://C:\\second.mp3");
  EXPECT_EQ(track_handle_registry::live_count(), before + 1);
  handle.reset();
  EXPECT_EQ(track_handle_registry::live_count(), before);

  handle = handle_of("file://C:\\gone.mp3");
  EXPECT_FALSE(handle->has_info());
}

// A handle keeps its path in its own memory: every length, and a location
// copied out of a handle keeps its text after the handle is gone and its
// memory is used again.
TEST(TrackHandleIdentity, PathsOfEveryLengthAreKeptFoundAgainAndOutliveTheirHandleInCopies) {
  const std::vector<std::string> paths = {"", "a", "file://C:\\M\xC3\xBCsik\\\xE6\x9B\xB2 \xE2\x99\xAB.flac",
                                          "file://C:\\" + std::string(5000, 'x') + ".flac"};
  std::vector<track_location> copies;
  for (const std::string& path : paths) {
    track_handle_ptr handle = handle_of(path.c_str(), 7);
    EXPECT_EQ(handle->get_location().get_path(), path);
    EXPECT_EQ(handle->get_location().get_subsong(), 7u);
    EXPECT_EQ(handle_of(path.c_str(), 7).get(), handle.get());
    EXPECT_EQ(track_handle_registry::get_handle(track_location(path.c_str(), 7)).get(), handle.get());
    EXPECT_NE(handle_of(path.c_str(), 0).get(), handle.get());
    copies.push_back(handle->get_location());
    track_location assigned("file://C:\\before.flac", 1);
    assigned = handle->get_location();
    copies.push_back(std::move(assigned));
    ASSERT_TRUE(handle->is_only_reference());
    handle.reset();
  }
  // Handles of like sizes take the released blocks again.
  std::vector<track_handle_ptr> reuse;
  for (const std::string& path : paths) reuse.push_back(handle_of(std::string(path.size(), 'z').c_str(), 7));
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(copies[2 * i].get_path(), paths[i]);
    EXPECT_EQ(copies[2 * i + 1].get_path(), paths[i]);
    EXPECT_EQ(copies[2 * i + 1].get_subsong(), 7u);
  }
}

// Only newer info replaces the cached one, unless forced. An earlier file time
// wins only when the cached info is known to have been read after the file
// was last changed: the file was replaced by an older copy.
// A library holds a handle per track: far more handles than the registry
// starts with room for, released in another order than they came.
TEST(TrackHandleIdentity, ManyHandlesStayDistinctAndFoundUntilTheirLastRelease) {
  const std::uint32_t before = track_handle_registry::live_count();
  std::vector<track_handle_ptr> handles;
  for (std::uint32_t i = 0; i < 5000; ++i)
    handles.push_back(handle_of(("file://C:\\many\\" + std::to_string(i % 2500) + ".flac").c_str(), i / 2500));
  EXPECT_EQ(track_handle_registry::live_count(), before + 5000);
  for (std::size_t i = 0; i < handles.size(); i += 2) handles[i].reset();
  EXPECT_EQ(track_handle_registry::live_count(), before + 2500);
  for (std::uint32_t i = 1; i < 5000; i += 2) {
    const track_handle_ptr again = handle_of(("file://C:\\many\\" + std::to_string(i % 2500) + ".flac").c_str(), i / 2500);
    ASSERT_EQ(again.get(), handles[i].get()) << i;
  }
  handles.clear();
  EXPECT_EQ(track_handle_registry::live_count(), before);
}

// A folder's listing takes its handles in one batch: more paths than one
// hold of the lock serves, some already alive, one twice.
TEST(TrackHandleIdentity, ABatchGivesTheHandlesOneCallEachWouldGive) {
  const track_handle_ptr alive = handle_of("file://C:\\batch\\7.flac");
  const track_handle_ptr other_subsong = handle_of("file://C:\\batch\\8.flac", 1);
  std::vector<std::string> texts;
  for (int i = 0; i < 1200; ++i) texts.push_back("file://C:\\batch\\" + std::to_string(i % 1100) + ".flac");
  std::vector<const char*> paths;
  for (const std::string& text : texts) paths.push_back(text.c_str());
  const std::uint32_t before = track_handle_registry::live_count();
  std::vector<track_handle_ptr> handles(paths.size(), alive);
  track_handle_registry::get_handles(paths, 0, handles);
  EXPECT_EQ(track_handle_registry::live_count(), before + 1099) << "one new handle per new path";
  EXPECT_EQ(handles[7].get(), alive.get());
  EXPECT_NE(handles[8].get(), other_subsong.get());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(handles[i].get(), handles[i % 1100].get()) << i;
    ASSERT_EQ(handles[i].get(), handle_of(paths[i]).get()) << i;
  }
  handles.clear();
  EXPECT_EQ(track_handle_registry::live_count(), before);
}

TEST(TrackHandleInfo, StoresOnlyNewerInfoUnlessForcedOrTheFileWasRestored) {
  const track_handle_ptr handle = handle_of("file://C:\\info.mp3");
  track_display_info untouched = record_titled("caller's");
  EXPECT_FALSE(handle->get_info(untouched));
  EXPECT_STREQ(untouched.get(title), "caller's");
  struct {
    std::uint64_t file_time, read_time;
    bool forced, stored;
    std::uint64_t cached_time;
  } const cases[] = {
      {0, 0, false, true, 0},  // the first info, even without a file time
      {500, 0, false, true, 500},    {500, 0, false, false, 500},  {0, 0, false, false, 500},
      {300, 0, false, false, 500},   {300, 400, false, false, 500}, {300, 600, false, true, 300},
      {0, 0, true, true, 300},  // forced: a zero time leaves the cached one
  };
  for (const auto& c : cases) {
    const std::string text = std::to_string(c.file_time) + "/" + std::to_string(c.read_time);
    EXPECT_EQ(handle->set_info(record_titled(text.c_str()), c.file_time, c.read_time, c.forced), c.stored) << text;
    EXPECT_EQ(cached_time(handle), c.cached_time) << text;
  }
  EXPECT_EQ(cached_title(handle), "0/0");
  track_display_info out;
  ASSERT_TRUE(handle->get_info(out));
  EXPECT_FLOAT_EQ(out.get_length(), 12.5f);
}

TEST(TrackHandleStoredInfo, AFailedReadKeepsTheCachedInfo) {
  const track_handle_ptr handle = handle_of("file://C:\\damaged.mp3");
  ASSERT_TRUE(handle->set_info(record_titled("good"), 100, 0, false));
  const std::string whole = stored_bytes(record_titled("half written"));
  // Cut short, whether it would replace the cached record or be skipped.
  for (std::uint64_t file_time : {200u, 50u}) {
    string_reader cut(whole.substr(0, whole.size() - 3));
    EXPECT_THROW(handle->load_info_from_stream(file_time, cut, never_raised_abort_signal()),
                 vantrel_io::exception_io_data);
  }
  EXPECT_EQ(cached_title(handle), "good");
  EXPECT_EQ(cached_time(handle), 100u);
}

TEST(TrackHandleThreads, ManyThreadsGettingAndReleasingStayConsistent) {
  const std::uint32_t before = track_handle_registry::live_count();
  constexpr int thread_count = 8;
  constexpr int rounds = 2000;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([t, &mismatches] {
      for (int i = 0; i < rounds; ++i) {
        const std::string path = "file://C:\\shared\\" + std::to_string(i % 13) + ".mp3";
        track_handle_ptr handle = handle_of(path.c_str(), static_cast<std::uint32_t>(i % 3));
        track_handle_ptr copy = handle;
        if (copy.get() != handle_of(path.c_str(), static_cast<std::uint32_t>(i % 3)).get()) ++mismatches;
        handle->set_info(record_titled("x"), static_cast<std::uint64_t>(t * rounds + i + 1), 0, false);
        if (std::string(handle->get_location().get_path()) != path) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(track_handle_registry::live_count(), before);
}

// Copies change the count without the registry's lock: none may be lost,
// or a handle would outlive its last holder or die under one.
TEST(TrackHandleThreads, CopiesOnManyThreadsKeepTheCountExactToTheLastRelease) {
  const std::uint32_t before = track_handle_registry::live_count();
  track_handle_ptr handle = handle_of("file://C:\\copied.mp3");
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&handle, &mismatches] {
      for (int i = 0; i < 20000; ++i) {
        track_handle_ptr copy = handle;
        track_handle_ptr again = copy;
        copy.reset();
        if (i % 64 == 0 && handle_of("file://C:\\copied.mp3").get() != again.get()) ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_TRUE(handle->is_only_reference());
  handle.reset();
  EXPECT_EQ(track_handle_registry::live_count(), before);
}

// Each record written holds the same number in every field, so a reader that
// ever sees two different numbers saw half of one record and half of another.
track_display_info uniform_record(int n) {
  track_display_info record;
  for (std::uint32_t i = 0; i < field_name_set::field_count; ++i) record.set(i, std::to_string(n).c_str());
  return record;
}

TEST(TrackHandleThreads, ReadersNeverSeeAHalfLoadedRecord) {
  const track_handle_ptr handle = handle_of("file://C:\\contended.mp3");
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      track_display_info seen;
      if (!handle->get_info(seen)) continue;
      for (std::uint32_t i = 1; i < field_name_set::field_count; ++i) {
        if (std::string(seen.get(i)) != seen.get(0)) ++torn;
      }
    }
  });
  for (int n = 1; n <= 300; ++n) {
    string_reader stored(stored_bytes(uniform_record(n)));
    handle->load_info_from_stream(static_cast<std::uint64_t>(n), stored, never_raised_abort_signal());
  }
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(cached_title(handle), "300");
}

} // namespace
