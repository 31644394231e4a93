// Writing info to a file that another program holds for a moment.
#include <gtest/gtest.h>

#include "io/io_exceptions.h"
#include "metadata/input_dispatch.h"
#include "tests/io/io_test_support.h"
#include "tests/support/file_holder.h"
#include "tests/support/single_factory.h"
#include "tst_input.h"

namespace {

TEST(InfoWriterRetry, ABriefHoldIsWaitedOutAndALongerOneReportsTheFileInUse) {
  vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
  service_factory* list = service_factory::global_list_head;
  single_factory<metadata_test::tst_input> factory(&list);
  service_registry::table().build(list);
  io_test::scratch_folder folder;
  io_test::write_file(folder.path("a.tst"), "TST\nA1");
  raisable_abort_signal abort;
  for (const unsigned held_ms : {300u, 3000u}) {
    test_support::file_holder holder(io_test::wide(folder.path("a.tst")), held_ms);
    info_writer_ptr writer;
    try {
      input_dispatch::open_info_writer_with_retry(writer, {}, folder.file_url("a.tst").c_str(), abort, 0.5);
      EXPECT_LT(held_ms, 500u) << "opened a file another program holds";
      EXPECT_EQ(writer->get_subsong_count(), 1u);
    } catch (const vantrel_io::exception_io_sharing_violation& error) {
      EXPECT_GT(held_ms, 500u);
      EXPECT_STREQ(error.what(), "File is already in use");
    }
  }
  service_registry::table().build(service_factory::global_list_head);
}

}  // namespace
