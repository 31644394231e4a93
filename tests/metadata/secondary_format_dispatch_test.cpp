// Opening files through the format-keyed secondary services.
#include "metadata/secondary_format_dispatch.h"

#include <gtest/gtest.h>

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

// The extension chooses whatever its case; no claimant, or no extension at
// all, is an unsupported format, before the file is even looked for.
TEST(SecondaryFormatDispatch, ExtensionChoosesTheImplementationWhateverItsCase) {
  vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
  io_test::scratch_folder folder;
  for (const char* name : {"a.XYZ", "a.abc", "noext"}) io_test::write_file(folder.path(name), "data");
  service_factory* list = service_factory::global_list_head;
  single_factory<xyz_format> factory(&list);
  service_registry::table().build(list);
  service_handle opened;
  const auto open = [&](const char* name) {
    secondary_format_dispatch::open(opened, folder.file_url(name).c_str(), {}, never_raised_abort_signal());
  };
  open("a.XYZ");
  EXPECT_TRUE(opened);
  for (const char* other : {"a.abc", "noext"})
    EXPECT_THROW(open(other), vantrel_io::exception_io_unsupported_format) << other;
  EXPECT_EQ(factory.instance.opened, 1);
  service_registry::table().build(service_factory::global_list_head);
  EXPECT_THROW(open("missing.XYZ"), vantrel_io::exception_io_unsupported_format);  // not "not found"
}

}  // namespace
