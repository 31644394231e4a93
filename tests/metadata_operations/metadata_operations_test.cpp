// Loading, writing and stripping tags through the metadata service, each
// run behind the real modeless progress dialog on a worker thread, as the
// properties dialog starts them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "core/close_confirmation.h"
#include "core/close_guard_registry.h"
#include "core/main_thread_queue.h"
#include "core/popup_message.h"
#include "io/named_lock.h"
#include "io/native_operations.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/wide_buffer.h"
#include "metadata/metadata_io_service.h"
#include "metadata/track_handle_registry.h"
#include "resources/threaded_process_dialogs.h"
#include "tst_input.h"
#include "tests/support/single_factory.h"
#include "tests/support/message_pump.h"

namespace {

using namespace metadata_test;

class recording_popup : public popup_message {
public:
  void show(const char* text, std::size_t, const char* caption, std::size_t, int) override {
    shown.push_back(std::string(caption) + "|" + text);
  }
  static inline std::vector<std::string> shown;
};

// Only keeps a broken operation from hanging the suite.
constexpr DWORD give_up_ms = 15000;

class MetadataOperations : public ::testing::Test, protected metadata_test::tst_files {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    recording_popup::shown.clear();
    tst_writer::commit_count = 0;
    use_services();
    track_info_changed_register(changes);
    filter->title = "new";
  }
  void TearDown() override { track_info_changed_unregister(changes); }

  bool wait_for_completion() {
    return pump_until([this] { return !completion->codes.empty(); });
  }

  service_ptr<recording_completion> completion = counted<recording_completion>();
  service_ptr<title_filter> filter = counted<title_filter>();
  change_counter changes;

private:
  single_factory<recording_popup> popup_{&list};
};

TEST_F(MetadataOperations, UpdateWritesEachFileOnceAndIsListedForTheCloseConfirmationWhileItRuns) {
  const std::string album = write("album.tst", "TST\none\ntwo");
  const std::string single = write("single.tst", "TST\nalone");
  const track_handle_list tracks = {handle(album, 1), handle(single, 0), handle(album, 0)};
  std::string listed;
  std::atomic<bool> asked{false};
  filter->step = [&] {
    if (asked.exchange(true)) return;
    // The worker waits while the main thread answers what is running.
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    main_thread_queue::post(new service_counted<main_thread_call>([&] {
      qiv::string_buffer text;
      close_confirmation_text(text);
      listed = text.get_ptr();
      SetEvent(answered);
    }));
    WaitForSingleObject(answered, give_up_ms);
    CloseHandle(answered);
  };

  metadata_io_service::get()->update_info_async(tracks, filter.get(), nullptr, 0, nullptr, completion.get());
  ASSERT_TRUE(wait_for_completion());

  EXPECT_NE(listed.find("Updating Files"), std::string::npos) << listed;
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_success});
  EXPECT_EQ(read("album.tst"), "TST\nnew\nnew");
  EXPECT_EQ(read("single.tst"), "TST\nnew");
  EXPECT_EQ(tst_writer::commit_count, 2);
  EXPECT_EQ(cached_title(tracks[0]), "new");
  EXPECT_EQ(cached_title(tracks[1]), "new");
  ASSERT_EQ(changes.announcements.size(), 1u);
  EXPECT_TRUE(recording_popup::shown.empty());
  EXPECT_TRUE(active_close_guards().is_empty());
  EXPECT_EQ(named_lock_query_state(album.c_str()).exclusive_holders, 0u);
}

// What the dialog shows right after Apply (the file size among it) and what
// the library takes as current both come from the stats handed over with
// the written info: they must be the file's as the write left it.
TEST_F(MetadataOperations, UpdateHandsOverTheStatsOfEachFileAsTheWriteLeftIt) {
  struct stats_hook : info_hook {
    std::map<std::string, vantrel_io::file_stats> seen;
    void on_info(const track_handle_ptr& handle, const track_info&, const vantrel_io::file_stats& stats) override {
      seen[handle->get_location().get_path()] = stats;
    }
  };
  const std::string grown = write("grown.tst", "TST\none");
  const std::string same = write("same.tst", "TST\nlonger title");
  filter->title = "longer title";
  service_ptr<stats_hook> hook = counted<stats_hook>();
  metadata_io_service::get()->update_info_async({handle(grown, 0), handle(same, 0)}, filter.get(), nullptr, 0,
                                                hook.get(), completion.get());
  ASSERT_TRUE(wait_for_completion());

  EXPECT_EQ(tst_writer::commit_count, 2);
  for (const std::string& path : {grown, same}) {
    vantrel_io::file_stats on_disk;
    bool writable = false;
    vantrel_io::native_get_stats(path.c_str(), on_disk, writable);
    ASSERT_EQ(hook->seen.count(path), 1u) << path;
    EXPECT_EQ(hook->seen[path].size, on_disk.size) << path;
    EXPECT_EQ(hook->seen[path].timestamp, on_disk.timestamp) << path;
  }
  EXPECT_EQ(hook->seen[grown].size, std::string("TST\nlonger title").size());
}

TEST_F(MetadataOperations, FileHeldByAnotherOpenFailsEveryTrackOfItWithTheExactReport) {
  const std::string album = write("album.tst", "TST\none\ntwo");
  const qiv::wide_buffer native = qiv::string_to_wide(folder.path("album.tst").c_str());
  HANDLE held = CreateFileW(native.get_ptr(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  // The other file of the same run is still written.
  const std::string other = write("other.tst", "TST\nx");
  metadata_io_service::get()->update_info_async({handle(album, 0), handle(other, 0), handle(album, 1)}, filter.get(),
                                                nullptr, 0, nullptr, completion.get());
  const bool completed = wait_for_completion();
  CloseHandle(held);
  ASSERT_TRUE(completed);

  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_failures});
  const std::string where = "\"" + folder.path("album.tst") + "\"";
  const std::string error = "Could not write information (File is already in use) to:\r\n";
  ASSERT_EQ(recording_popup::shown.size(), 1u);
  EXPECT_EQ(recording_popup::shown[0],
            "Information|" + error + where + "\r\n\r\n" + error + where + " / index: 1\r\n\r\n");
  EXPECT_EQ(read("album.tst"), "TST\none\ntwo");
  EXPECT_EQ(read("other.tst"), "TST\nnew");
}

TEST_F(MetadataOperations, AbortFromTheDialogStopsBeforeTheNextFile) {
  const std::string first = write("1.tst", "TST\none");
  const std::string second = write("2.tst", "TST\ntwo");
  filter->step = [] {
    // The user presses the dialog's abort button while the first file is written.
    HWND dialog = FindWindowW(nullptr, L"Updating Files");
    if (dialog) SendMessageW(dialog, WM_COMMAND, IDC_PROGRESS_ABORT, 0);
  };
  metadata_io_service::get()->update_info_async({handle(first, 0), handle(second, 0)}, filter.get(), nullptr, 0,
                                                nullptr, completion.get());
  ASSERT_TRUE(wait_for_completion());
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_aborted});
  EXPECT_EQ(read("1.tst"), "TST\nnew");  // a started file is finished
  EXPECT_EQ(read("2.tst"), "TST\ntwo");
  EXPECT_TRUE(recording_popup::shown.empty());
}

TEST_F(MetadataOperations, LoadThenRemoveTagsOverManyTracks) {
  track_handle_list tracks;
  for (int i = 0; i < 40; ++i)
    tracks.push_back(handle(write("track" + std::to_string(i) + ".tst", "TST\ntitle " + std::to_string(i)), 0));
  tracks.push_back(handle(write("damaged.tst", "not a tst file"), 0));

  metadata_io_service::get()->load_info_async(tracks, metadata_load_mode::missing_only, nullptr,
                                              metadata_flag_no_error_popup, nullptr, completion.get());
  ASSERT_TRUE(wait_for_completion());
  EXPECT_EQ(completion->codes, std::vector<std::uint32_t>{metadata_completion::code_failures});
  EXPECT_EQ(cached_title(tracks[7]), "title 7");
  EXPECT_EQ(cached_title(tracks.back()), "<none>");
  ASSERT_EQ(changes.announcements.size(), 1u);
  EXPECT_EQ(changes.announcements[0], 40u);

  tracks.pop_back();
  auto removed = counted<recording_completion>();
  metadata_io_service::get()->remove_info_async(tracks, nullptr, 0, nullptr, removed.get());
  ASSERT_TRUE(pump_until([&] { return !removed->codes.empty(); }));
  EXPECT_EQ(removed->codes, std::vector<std::uint32_t>{metadata_completion::code_success});
  EXPECT_EQ(read("track7.tst"), "TST\n");
  EXPECT_EQ(cached_title(tracks[7]), "");
}

}  // namespace
