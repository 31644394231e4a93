// The end of a metadata operation running out of memory, at each of its
// allocations in turn (a large selection's texts fill the address space):
// the end never throws, since nothing could catch it but the end of the
// program, and the caller hears once how it went, a success only when
// nothing failed.
#include "metadata/metadata_io.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/main_thread.h"
#include "tests/support/allocation_failures.h"
#include "tests/support/quiet_status.h"
#include "tst_input.h"

namespace {

using namespace metadata_test;

class MetadataIoOutOfMemory : public ::testing::Test, protected tst_files {
protected:
  void SetUp() override {
    qiv::set_main_thread_id(GetCurrentThreadId());
    use_services();
  }
  void TearDown() override { qiv::set_main_thread_id(0); }

  test_support::quiet_status status;
  raisable_abort_signal abort;
};

TEST_F(MetadataIoOutOfMemory, AnEndThatRunsOutOfMemoryStillTellsTheCallerOnceAndNeverASuccess) {
  const std::string path = write("a.tst", "TST\none\ntwo");
  const track_handle_list list = {handle(path, 0), handle(path, 1)};
  bool failed = true;
  long n = 1;
  for (; failed && n < 5000; ++n) {
    auto completion = counted<recording_completion>();
    completion->codes.reserve(2);  // the test's own record must not fail
    auto load = counted<metadata_load_operation>(list, metadata_load_mode::all, 0, nullptr, completion.get());
    load->run(status, abort);
    allocation_failures::arm({n, 1, false});
    EXPECT_NO_THROW(load->on_done(nullptr, false)) << "allocation " << n;
    allocation_failures::disarm();
    failed = allocation_failures::met;
    ASSERT_EQ(completion->codes.size(), 1u) << "allocation " << n;
    EXPECT_EQ(completion->codes[0], failed ? metadata_completion::code_failures : metadata_completion::code_success)
        << "allocation " << n;
    EXPECT_EQ(load->get_batch().pending_count(), 0u) << "allocation " << n;
  }
  EXPECT_GT(n, 2) << "the end allocates nothing: nothing was injected";
  EXPECT_EQ(cached_title(list[1]), "two");
}

// After an update wrote every file, a failure to store what it read back
// still tells the caller that the files hold the edit.
TEST_F(MetadataIoOutOfMemory, AnUpdateWhoseEndRunsOutOfMemorySaysEveryFileWasWritten) {
  const std::string path = write("a.tst", "TST\none");
  const track_handle_list list = {handle(path, 0)};
  auto filter = counted<title_filter>();
  filter->title = "new";
  bool failed = true;
  long n = 1;
  for (; failed && n < 5000; ++n) {
    auto completion = counted<recording_completion>();
    completion->codes.reserve(2);
    auto update = counted<metadata_update_operation>(list, filter.get(), metadata_flag_no_error_popup, nullptr,
                                                     completion.get());
    update->run(status, abort);
    allocation_failures::arm({n, 1, false});
    EXPECT_NO_THROW(update->on_done(nullptr, false)) << "allocation " << n;
    allocation_failures::disarm();
    failed = allocation_failures::met;
    ASSERT_EQ(completion->codes.size(), 1u) << "allocation " << n;
    EXPECT_EQ(completion->codes[0],
              failed ? metadata_completion::code_files_done_not_stored : metadata_completion::code_success)
        << "allocation " << n;
  }
  EXPECT_GT(n, 2) << "the end allocates nothing: nothing was injected";
}

}  // namespace
