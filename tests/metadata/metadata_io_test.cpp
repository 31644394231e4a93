// Loading, writing and stripping the info of many tracks: grouping by file,
// per-file failures, the error report and the completion codes.
#include "metadata/metadata_io.h"
#include "metadata/metadata_io_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/main_thread_queue.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "io/named_lock.h"
#include "metadata/info_reader_cache.h"
#include "metadata/input_dispatch.h"
#include "tests/support/message_pump.h"
#include "tests/support/quiet_status.h"
#include "metadata_test_streams.h"
#include "tst_input.h"

namespace {

using test_support::quiet_status;

using namespace metadata_test;

class MetadataIo : public ::testing::Test, protected metadata_test::tst_files {
protected:
  quiet_status status;
  raisable_abort_signal abort;
  service_ptr<recording_completion> completion = counted<recording_completion>();

  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    use_services();
  }
  void TearDown() override { qiv::set_main_thread_id(0); }
};

TEST_F(MetadataIo, UpdateWhoseFilterDeclinesWritesNothingButStillRecordsTheInfo) {
  const std::string path = write("a.tst", "TST\none\ntwo");
  const track_handle_list list = {handle(path, 0), handle(path, 1)};
  auto filter = counted<title_filter>();
  auto op = counted<metadata_update_operation>(list, filter.get(), 0, nullptr, completion.get());
  tst_writer::commit_count = 0;
  op->run(status, abort);
  EXPECT_EQ(read("a.tst"), "TST\none\ntwo");
  EXPECT_EQ(tst_writer::commit_count, 0);
  EXPECT_GE(op->get_batch().pending_count(), 2u);
  op->on_done(nullptr, false);
  EXPECT_EQ(cached_title(list[1]), "two");
}

// A file whose last write stopped after its switch is written again by an
// update that changes no value; one that needs nothing is left alone.
TEST_F(MetadataIo, AnUpdateThatChangesNoValueFinishesAnUnfinishedWriteOnly) {
  for (const bool unfinished : {false, true}) {
    const std::string path = write("a.tst", "TST\none\ntwo");
    auto filter = counted<title_filter>();
    auto op = counted<metadata_update_operation>(track_handle_list{handle(path, 0)}, filter.get(), 0, nullptr,
                                                 completion.get());
    tst_writer::commit_count = 0;
    tst_writer::unfinished = unfinished;
    op->run(status, abort);
    tst_writer::unfinished = false;
    EXPECT_EQ(tst_writer::commit_count, unfinished ? 1 : 0) << unfinished;
    EXPECT_EQ(read("a.tst"), "TST\none\ntwo");
    EXPECT_TRUE(op->get_errors().empty());
  }
}

// Several files are written at once; what the caller and the report see
// still follows the list.
class MetadataIoManyFiles : public MetadataIo {
protected:
  track_handle_list files(int count, const std::vector<int>& damaged = {}) {
    track_handle_list list;
    for (int i = 0; i < count; ++i) {
      const bool bad = std::find(damaged.begin(), damaged.end(), i) != damaged.end();
      list.push_back(handle(write(name(i), bad ? "damaged" : "TST\nold " + std::to_string(i)), 0));
    }
    return list;
  }
  static std::string name(int i) { return (i < 10 ? "0" : "") + std::to_string(i) + ".tst"; }
  std::vector<std::string> titles_seen;
  std::atomic<int> filtering{0};
  service_ptr<title_filter> recording_filter(std::function<void()> also = {}) {
    auto filter = counted<title_filter>();
    filter->title = "new";
    filter->step = [this, also] {
      EXPECT_EQ(++filtering, 1) << "the filter is asked for one track at a time";
      titles_seen.push_back(std::to_string(titles_seen.size()));
      if (also) also();
      --filtering;
    };
    return filter;
  }
};

TEST_F(MetadataIoManyFiles, FailingFilesInTheMiddleAreReportedInListOrderAndTheRestWritten) {
  const track_handle_list list = files(12, {3, 8});
  auto filter = recording_filter();
  auto op = counted<metadata_update_operation>(list, filter.get(), metadata_flag_no_error_popup, nullptr, nullptr);
  op->run(status, abort);
  ASSERT_EQ(op->get_errors().size(), 2u);
  EXPECT_EQ(op->get_errors()[0].handle.get(), list[3].get());
  EXPECT_EQ(op->get_errors()[1].handle.get(), list[8].get());
  EXPECT_EQ(titles_seen.size(), 10u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(read(name(i)), i == 3 || i == 8 ? "damaged" : "TST\nnew") << i;
  op->on_done(nullptr, false);
  EXPECT_EQ(cached_title(list[11]), "new");
  EXPECT_EQ(cached_title(list[3]), "<none>");
}

TEST_F(MetadataIoManyFiles, AbortMidwayWritesTheFilesBeforeAndLeavesTheFilesAfterUntouched) {
  const track_handle_list list = files(16);
  // The user aborts while the fifth file is being edited.
  auto filter = recording_filter([this] {
    if (titles_seen.size() == 5) abort.raise();
  });
  auto op = counted<metadata_update_operation>(list, filter.get(), metadata_flag_no_error_popup, nullptr,
                                               completion.get());
  EXPECT_THROW(op->run(status, abort), vantrel_io::exception_aborted);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(read(name(i)), i < 5 ? "TST\nnew" : "TST\nold " + std::to_string(i)) << i;
  EXPECT_TRUE(op->get_errors().empty());
  op->on_done(nullptr, true);
  EXPECT_EQ(cached_title(list[4]), "new");
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_aborted});
}

// The caller learns whether a failed write or removal changed any file:
// "every file but some" and "none" are told apart.
TEST_F(MetadataIoManyFiles, AWriteOrRemovalThatFailedForEveryFileSaysNothingChanged) {
  struct {
    bool remove;
    std::vector<int> damaged;
    std::uint32_t code;
  } const cases[] = {
      {false, {0, 1, 2}, metadata_completion::code_nothing_changed},
      {false, {1}, metadata_completion::code_failures},
      {true, {0, 1, 2}, metadata_completion::code_nothing_changed},
      {true, {0}, metadata_completion::code_failures},
      {false, {}, metadata_completion::code_success},
  };
  for (const auto& c : cases) {
    track_handle_list list;
    for (int i = 0; i < 3; ++i) {
      const bool bad = std::find(c.damaged.begin(), c.damaged.end(), i) != c.damaged.end();
      // A file no input claims is refused by either operation.
      list.push_back(handle(write(std::to_string(i) + (bad ? ".zzz" : ".tst"), "TST\nold"), 0));
    }
    auto ended = counted<recording_completion>();
    auto filter = recording_filter();
    const auto run_to_end = [&](auto op) {
      op->run(status, abort);
      op->on_done(nullptr, false);
    };
    if (c.remove) run_to_end(counted<metadata_remove_operation>(list, metadata_flag_no_error_popup, nullptr, ended.get()));
    else run_to_end(counted<metadata_update_operation>(list, filter.get(), metadata_flag_no_error_popup, nullptr, ended.get()));
    EXPECT_EQ(ended->codes, std::vector<std::uint32_t>{c.code}) << c.remove << " " << c.damaged.size();
  }
}

TEST_F(MetadataIoManyFiles, AFileNamedTwiceInDifferentCaseIsWrittenTwiceWithoutASharingFailure) {
  const std::string lower = write("song.tst", "TST\nold");
  const std::string upper = folder.file_url("SONG.TST");
  // The first write holds the file longer than the open of another waits.
  auto filter = recording_filter([] { Sleep(700); });
  auto op = counted<metadata_update_operation>(track_handle_list{handle(upper, 0), handle(lower, 0)}, filter.get(),
                                               metadata_flag_no_error_popup, nullptr, nullptr);
  op->run(status, abort);
  EXPECT_TRUE(op->get_errors().empty()) << op->get_errors()[0].message;
  EXPECT_EQ(titles_seen.size(), 2u);
  EXPECT_EQ(read("song.tst"), "TST\nnew");
}

// A file whose new tags took effect before a later step failed: its track
// shows them, its error is marked written, and the report says that the
// tags were written and what failed after, never that they were not; a
// plain failure beside it still says it could not write.
TEST_F(MetadataIo, AWriteThatTookEffectBeforeALaterFailureShowsItsTagsAndSaysTheyWereWritten) {
  const track_handle_list list = {handle(write("a.tst", "TST\nold"), 0), handle(write("b.tst", "damaged"), 0)};
  auto filter = counted<title_filter>();
  filter->title = "new";
  auto op = counted<metadata_update_operation>(list, filter.get(), metadata_flag_no_error_popup, nullptr,
                                               completion.get());
  tst_writer::fails_after_write = true;
  op->run(status, abort);
  tst_writer::fails_after_write = false;
  ASSERT_EQ(op->get_errors().size(), 2u);
  const metadata_error& written = op->get_errors()[0];
  EXPECT_TRUE(written.written);
  EXPECT_EQ(written.message, "The new tags were written, but a later step failed: Disk gone");
  EXPECT_FALSE(op->get_errors()[1].written);
  op->on_done(nullptr, false);
  EXPECT_EQ(cached_title(list[0]), "new");
  qiv::string_buffer text;
  metadata_error_report("error_info_write", op->get_errors(), text);
  const std::string report = text.get_ptr();
  EXPECT_EQ(report.rfind("The new tags were written, but a later step failed: Disk gone\r\n", 0), 0u) << report;
  EXPECT_EQ(report.find("Could not write"), report.find("\r\n\r\n") + 4) << report;
}

TEST(MetadataErrorReport, ARecordWithoutHandleSaysInvalidLocation) {
  qiv::string_buffer text;
  metadata_error_report("error_info_load", {metadata_error{track_handle_ptr(), "Broken"}}, text);
  EXPECT_STREQ(text.get_ptr(), "Could not load information (Broken) from:\r\n[invalid location]\r\n\r\n");
}

// Tags around the format's own data are stripped too; a file no input can
// write stays as it was, and one without fields is not written at all.
TEST_F(MetadataIo, RemoveStripsFieldsAndTagsAndLeavesUnwritableFilesAlone) {
  const std::string empty_id3(std::string("ID3\x03\x00\x00\x00\x00\x00\x00", 10));
  struct {
    const char* name;
    std::string before;
    std::uint32_t subsongs;
    std::string after;
    const char* error;
    int commits;
  } const cases[] = {
      {"a.tst", "TST\none\ntwo", 2, "TST\n\n", nullptr, 1},
      {"b.tst", empty_id3 + "TST\nx#TAIL", 1, "TST\n", nullptr, 1},
      {"bare.tst", empty_id3 + "TST\n\n#TAIL", 1, "TST\n\n", nullptr, 0},
      {"c.zzz", empty_id3 + "unknown data#TAIL", 1, empty_id3 + "unknown data#TAIL", "Unsupported file format", 0},
  };
  for (const auto& c : cases) {
    const std::string path = write(c.name, c.before);
    track_handle_list list;
    for (std::uint32_t subsong = 0; subsong < c.subsongs; ++subsong) list.push_back(handle(path, subsong));
    tst_writer::commit_count = 0;
    auto op = counted<metadata_remove_operation>(list, metadata_flag_no_error_popup, nullptr, nullptr);
    op->run(status, abort);
    EXPECT_EQ(read(c.name), c.after) << c.name;
    EXPECT_EQ(tst_writer::commit_count, c.commits) << c.name;
    ASSERT_EQ(op->get_errors().size(), c.error ? 1u : 0u) << c.name;
    if (c.error) {
      EXPECT_EQ(op->get_errors()[0].message, c.error);
    }
  }
}

TEST_F(MetadataIo, LoadReadsOnlyWhatTheModeAsks) {
  const std::string good = write("a.tst", "TST\none\ntwo");
  const track_handle_list list = {handle(good, 0), handle(good, 1)};
  struct {
    metadata_load_mode mode;
    std::size_t read;
    const char* why;
  } const cases[] = {
      {metadata_load_mode::missing_only, 2, "nothing cached yet"},
      {metadata_load_mode::missing_only, 0, "everything cached"},
      {metadata_load_mode::missing_or_changed, 0, "the file's time has not changed"},
      {metadata_load_mode::all, 2, "everything again"},
  };
  for (const auto& c : cases) {
    auto load = counted<metadata_load_operation>(list, c.mode, metadata_flag_no_error_popup, nullptr, nullptr);
    load->run(status, abort);
    EXPECT_EQ(load->get_batch().pending_count(), c.read) << c.why;
    load->on_done(nullptr, false);
  }
  EXPECT_EQ(cached_title(list[1]), "two");
}

TEST_F(MetadataIo, LoadReportsAPathNoSchemeClaimsInsteadOfPassingItOver) {
  auto load = counted<metadata_load_operation>(track_handle_list{handle("unclaimed-scheme://host/a.tst", 0)},
                                               metadata_load_mode::all, metadata_flag_no_error_popup, nullptr,
                                               completion.get());
  load->run(status, abort);
  ASSERT_EQ(load->get_errors().size(), 1u);
  load->on_done(nullptr, false);
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_failures});
}

// Keeps the title of every info it is shown.
class title_hook : public info_hook {
public:
  std::vector<std::string> titles;
  void on_info(const track_handle_ptr&, const track_info& info, const vantrel_io::file_stats&) override {
    qiv::string_buffer title;
    info.get_field_text("title", title);
    titles.push_back(title.get_ptr());
  }
};

TEST_F(MetadataIo, HookSeesEveryInfoAnOperationReads) {
  const std::string path = write("a.tst", "TST\none\ntwo");
  auto hook = counted<title_hook>();
  auto load = counted<metadata_load_operation>(track_handle_list{handle(path, 1)}, metadata_load_mode::all,
                                               metadata_flag_no_error_popup, hook.get(), nullptr);
  load->run(status, abort);
  EXPECT_EQ(hook->titles, std::vector<std::string>{"two"});

  // An update shows the hook what it re-read from every subsong.
  hook->titles.clear();
  auto filter = counted<title_filter>();
  filter->title = "new";
  auto update = counted<metadata_update_operation>(track_handle_list{handle(path, 1)}, filter.get(),
                                                   metadata_flag_no_error_popup, hook.get(), nullptr);
  update->run(status, abort);
  EXPECT_EQ(hook->titles, (std::vector<std::string>{"one", "new"}));
}

TEST_F(MetadataIo, ResolvingAFolderGivesItsTracksAndAnnouncesOnlyNewInfo) {
  write("b.tst", "TST\nbee");
  write("a.tst", "TST\none\ntwo");
  write("cover.jpg", "not audio");
  change_counter changes;
  track_info_changed_register(changes);
  track_handle_list found;
  metadata_io_service::get()->resolve_path(folder.file_url("").c_str(), found);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(cached_title(found[1]), "two");
  EXPECT_EQ(cached_title(found[2]), "bee");
  EXPECT_EQ(changes.announcements, std::vector<std::size_t>{3});

  // The files have not changed since: the same tracks, nothing to announce.
  track_handle_list again;
  metadata_io_service::get()->resolve_path(folder.file_url("").c_str(), again);
  track_info_changed_unregister(changes);
  EXPECT_EQ(again.size(), 3u);
  EXPECT_EQ(changes.announcements.size(), 1u);

  // A path that does not exist resolves to nothing, quietly.
  track_handle_list none;
  metadata_io_service::get()->resolve_path(folder.file_url("missing.tst").c_str(), none);
  EXPECT_TRUE(none.empty());
}

TEST_F(MetadataIo, SharedBatchFilledOnAWorkerCommitsOnTheMainThread) {
  const std::string path = write("a.tst", "TST\none");
  service_ptr<shared_info_batch> batch;
  metadata_io_service::get()->create_info_batch(batch);
  const track_handle_ptr held = handle(path, 0);
  change_counter changes;
  track_info_changed_register(changes);
  std::thread worker([&] {
    track_info_impl info;
    info.set_field("title", 5, "from worker", track_info::until_nul);
    batch->add_info(held, info, 100, true);
    batch->commit();
  });
  worker.join();
  EXPECT_EQ(cached_title(held), "<none>");  // not before the main thread's turn
  main_thread_queue::drain(true);
  EXPECT_EQ(cached_title(held), "from worker");
  EXPECT_EQ(changes.announcements, std::vector<std::size_t>{1});

  // From a reader, committed on the main thread at once.
  info_reader_ptr reader;
  input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path.c_str(), abort);
  batch->add_from_reader(path.c_str(), *reader, abort);
  batch->commit();
  track_info_changed_unregister(changes);
  EXPECT_EQ(cached_title(held), "one");
  EXPECT_EQ(changes.announcements.size(), 2u);
}

TEST_F(MetadataIo, RefresherAnnouncesOnlyHandlesThatTookStoredInfoAndThatSomeoneHolds) {
  track_display_info stored;
  stored.set(field_name_set::title, "stored");

  service_ptr<cached_info_refresher> refresher;
  metadata_io_service::get()->create_cached_info_refresher(refresher);
  const track_handle_ptr held = handle("file://C:\\refresh\\held.tst", 0);
  track_handle_ptr out;
  string_reader first(stored_bytes(stored));
  refresher->refresh_location(out, track_location("file://C:\\refresh\\held.tst", 0), 500, first, abort);
  EXPECT_EQ(out.get(), held.get());
  string_reader second(stored_bytes(stored));
  track_handle_ptr unheld;
  refresher->refresh_location(unheld, track_location("file://C:\\refresh\\nobody.tst", 0), 500, second, abort);
  unheld.reset();

  change_counter changes;
  track_info_changed_register(changes);
  refresher->commit();
  refresher->commit();  // already announced: nothing more
  track_info_changed_unregister(changes);
  EXPECT_EQ(changes.announcements, std::vector<std::size_t>{1});
  EXPECT_EQ(cached_title(held), "stored");
}

TEST_F(MetadataIo, ReaderCacheKeepsOneFileOpenAndLockedAcrossItsSubsongs) {
  const std::string path = write("a.tst", "TST\none\ntwo");
  info_reader_cache cache;
  vantrel_io::file_stats stats;
  track_info_impl info;
  cache.read_info(track_location(path.c_str(), 0), info, stats, abort);
  cache.read_info(track_location(path.c_str(), 1), info, stats, abort);
  EXPECT_EQ(named_lock_query_state(path.c_str()).shared_holders, 1u);
  qiv::string_buffer title;
  info.get_field_text("title", title);
  EXPECT_STREQ(title.get_ptr(), "two");
  cache.close();
  EXPECT_EQ(named_lock_query_state(path.c_str()).shared_holders, 0u);
}

TEST_F(MetadataIo, LoadWithNothingToDoStillCompletesOnTheMainThread) {
  metadata_io_service::get()->load_info_async(track_handle_list{}, metadata_load_mode::missing_only, nullptr, 0, nullptr,
                                              completion.get());
  ASSERT_TRUE(pump_until([&] { return !completion->codes.empty(); }));
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{0});
}

TEST(MetadataProgressFlags, DelayImpliesNoFocus) {
  EXPECT_EQ(metadata_progress_flags(0), 0x15u);
  EXPECT_EQ(metadata_progress_flags(metadata_flag_no_focus), 0x115u);
  EXPECT_EQ(metadata_progress_flags(metadata_flag_delayed), 0x195u);
  EXPECT_EQ(metadata_progress_flags(metadata_flag_delayed | metadata_flag_no_focus), 0x195u);
}

}  // namespace
