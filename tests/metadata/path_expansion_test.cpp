// Walking folders and files into track locations.
#include "metadata/path_expansion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tst_input.h"

namespace {

// Records what the walk hands over: "name:subsong=title".
class recording_location_sink : public location_sink {
public:
  std::vector<std::string> added;
  std::vector<std::string> paths;
  std::string skipped_file;  // a file name the sink does not want

  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }

  void on_path(const char* path) override { paths.push_back(path); }
  void add(const track_handle_ptr&, const vantrel_io::file_stats&, bool) override { added.push_back(current_); }
  bool wants_info(const track_handle_ptr&, const vantrel_io::file_stats&, bool) override { return true; }
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

class PathExpansion : public ::testing::Test, protected metadata_test::tst_files {
protected:
  recording_location_sink sink;
  raisable_abort_signal abort;
  bool found = false;

  void SetUp() override { use_services(); }
  void expand(const std::string& path) { path_expansion::expand(path.c_str(), sink, abort, found); }
};

// Files come in path order, subfolders included; damaged, foreign and
// unwanted files are passed over, and an abort ends the walk.
TEST_F(PathExpansion, FolderGivesItsReadableFilesInPathOrderUntilAborted) {
  write("b.tst", "TST\nB1\nB2\n");
  write("A.tst", "TST\nA1");
  CreateDirectoryW(io_test::wide(folder.path("c")).c_str(), nullptr);
  write("c\\d.tst", "TST\nD1");
  write("cover.jpg", "not audio");
  write("broken.tst", "garbage");
  write("skipped.tst", "TST\nS1");
  sink.skipped_file = "skipped.tst";  // not even read
  expand(folder.file_url());
  EXPECT_TRUE(found);
  EXPECT_EQ(sink.added, (std::vector<std::string>{"A.tst:0=A1", "b.tst:0=B1", "b.tst:1=B2", "d.tst:0=D1"}));
  EXPECT_EQ(sink.paths.size(), 1u);

  sink.added.clear();
  abort.raise();
  EXPECT_THROW(expand(folder.file_url()), vantrel_io::exception_aborted);
  EXPECT_TRUE(sink.added.empty());
}

}  // namespace
