// Writing info to a file that another program holds for a moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "metadata/input_dispatch.h"
#include "tests/io/io_test_support.h"
#include "tests/support/file_holder.h"
#include "tst_input.h"

namespace {

class tst_factory final : public service_factory {
public:
  explicit tst_factory(service_factory** list) : service_factory(decoder_service::class_guid, list) {}
  void create(service_handle& out) override { out = &input_; }

private:
  service_single_instance<metadata_test::tst_input> input_;
};

class InfoWriterRetry : public ::testing::Test {
protected:
  io_test::scratch_folder folder;
  raisable_abort_signal abort;

  void SetUp() override {
    vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
    service_factory* list = service_factory::global_list_head;
    factory_ = std::make_unique<tst_factory>(&list);
    service_registry::table().build(list);
    io_test::write_file(folder.path("a.tst"), "TST\nA1");
  }
  void TearDown() override { service_registry::table().build(service_factory::global_list_head); }

private:
  std::unique_ptr<tst_factory> factory_;
};

TEST_F(InfoWriterRetry, ABriefHoldIsWaitedOutAndALongerOneReportsTheFileInUse) {
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
}

}  // namespace
