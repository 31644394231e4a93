// Walking folders and files into track locations.
#include "metadata/path_expansion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "tests/io/io_test_support.h"
#include "tests/support/single_factory.h"
#include "tst_input.h"

namespace {

// Records what the walk hands over: "name:subsong" or "name:subsong=title".
class recording_sink : public location_sink {
public:
  std::vector<std::string> added;
  std::vector<std::string> paths;
  bool with_info = false;
  std::string skipped_file;  // a file name the sink does not want

  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }

  void on_path(const char* path) override { paths.push_back(path); }
  void add(const track_handle_ptr&, const vantrel_io::file_stats&, bool) override { added.push_back(current_); }
  bool wants_info(const track_handle_ptr&, const vantrel_io::file_stats&, bool) override { return with_info; }
  void add_with_info(const track_handle_ptr&, const vantrel_io::file_stats&, const track_info& info,
                     bool) override {
    qiv::string_buffer title;
    info.get_field_text("title", title);
    added.push_back(current_ + "=" + title.get_ptr());
  }
  void make_handle(track_handle_ptr& out, const track_location& location) override {
    out.reset();
    std::string path = location.get_path();
    current_ = path.substr(path.find_last_of('\\') + 1) + ":" + std::to_string(location.get_subsong());
  }
  bool wants_file(const char* path, bool) override {
    return skipped_file.empty() || std::string(path).find(skipped_file) == std::string::npos;
  }

private:
  std::string current_;
};

class PathExpansion : public ::testing::Test {
protected:
  io_test::scratch_folder folder;
  recording_sink sink;
  raisable_abort_signal abort;
  bool found = false;

  void SetUp() override {
    vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
    service_factory* list = service_factory::global_list_head;
    factory_ = std::make_unique<single_factory<metadata_test::tst_input>>(&list);
    service_registry::table().build(list);
  }
  void TearDown() override { service_registry::table().build(service_factory::global_list_head); }

  void write(const std::string& name, const std::string& content) { io_test::write_file(folder.path(name), content); }
  void expand(const std::string& path) { path_expansion::expand(path.c_str(), sink, abort, found); }

private:
  std::unique_ptr<single_factory<metadata_test::tst_input>> factory_;
};

TEST_F(PathExpansion, FolderGivesItsFilesInPathOrderWithSubfolders) {
  write("b.tst", "TST\nB1\nB2\n");
  write("A.tst", "TST\nA1");
  CreateDirectoryW(io_test::wide(folder.path("c")).c_str(), nullptr);
  write("c\\d.tst", "TST\nD1");
  sink.with_info = true;
  expand(folder.file_url());
  EXPECT_TRUE(found);
  EXPECT_EQ(sink.added, (std::vector<std::string>{"A.tst:0=A1", "b.tst:0=B1", "b.tst:1=B2", "d.tst:0=D1"}));
  EXPECT_EQ(sink.paths.size(), 1u);
}

TEST_F(PathExpansion, UnreadableAndUnwantedFilesInAFolderArePassedOver) {
  write("a.tst", "TST\nA1");
  write("b.tst", "TST\nB1");
  write("cover.jpg", "not audio");
  write("broken.tst", "garbage");
  write("z.tst", "TST\nZ1");
  sink.skipped_file = "b.tst";  // not even read
  expand(folder.file_url());
  EXPECT_EQ(sink.added, (std::vector<std::string>{"a.tst:0", "z.tst:0"}));
}

TEST_F(PathExpansion, FileGivenDirectlyIsReadOrFails) {
  write("a.tst", "TST\nA1\nA2");
  write("broken.tst", "garbage");
  write("cover.jpg", "not audio");
  expand(folder.file_url("a.tst"));
  EXPECT_EQ(sink.added, (std::vector<std::string>{"a.tst:0", "a.tst:1"}));
  EXPECT_THROW(expand(folder.file_url("broken.tst")), vantrel_io::exception_io_data);
  EXPECT_THROW(expand(folder.file_url("cover.jpg")), vantrel_io::exception_io_unsupported_format);
}

TEST_F(PathExpansion, EmptyFolderFindsNothingAndAbortEndsTheWalk) {
  expand(folder.file_url());
  EXPECT_FALSE(found);
  write("a.tst", "TST\nA1");
  abort.raise();
  EXPECT_THROW(expand(folder.file_url()), vantrel_io::exception_aborted);
  EXPECT_TRUE(sink.added.empty());
}

}  // namespace
