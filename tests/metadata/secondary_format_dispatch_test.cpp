// Opening files through the format-keyed secondary services.
#include "metadata/secondary_format_dispatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "tests/io/io_test_support.h"
#include "tests/support/single_factory.h"

namespace {

class xyz_format : public secondary_format_service {
public:
  int opened = 0;
  void open(const char*, vantrel_io::file_ptr file, service_handle& out, const abort_signal&) override {
    ++opened;
    out = file.get();
  }
  const char* get_extension() override { return "xyz"; }
  bool is_our_content_type(const char*) override { return false; }
};

class SecondaryFormatDispatch : public ::testing::Test {
protected:
  io_test::scratch_folder folder;
  raisable_abort_signal abort;
  service_handle opened;

  void SetUp() override {
    vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
    io_test::write_file(folder.path("a.XYZ"), "data");
    io_test::write_file(folder.path("a.abc"), "data");
    io_test::write_file(folder.path("noext"), "data");
  }
  void TearDown() override { service_registry::table().build(service_factory::global_list_head); }
  void open(const char* name) { secondary_format_dispatch::open(opened, folder.file_url(name).c_str(), {}, abort); }
};

TEST_F(SecondaryFormatDispatch, WithoutImplementationsEveryPathIsUnsupported) {
  service_registry::table().build(service_factory::global_list_head);
  EXPECT_THROW(open("a.XYZ"), vantrel_io::exception_io_unsupported_format);
  EXPECT_THROW(open("missing.XYZ"), vantrel_io::exception_io_unsupported_format);  // not "not found"
}

TEST_F(SecondaryFormatDispatch, ExtensionChoosesTheImplementationWhateverItsCase) {
  service_factory* list = service_factory::global_list_head;
  single_factory<xyz_format> factory(&list);
  service_registry::table().build(list);
  open("a.XYZ");
  EXPECT_EQ(factory.instance.opened, 1);
  EXPECT_TRUE(opened);
  EXPECT_THROW(open("a.abc"), vantrel_io::exception_io_unsupported_format);
  EXPECT_THROW(open("noext"), vantrel_io::exception_io_unsupported_format);
  EXPECT_EQ(factory.instance.opened, 1);
}

}  // namespace
