// Writing info to a file that another program holds for a moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "metadata/input_dispatch.h"
#include "tests/io/io_test_support.h"
#include "tst_input.h"

namespace {

class tst_factory final : public service_factory {
public:
  explicit tst_factory(service_factory** list) : service_factory(decoder_service::class_guid, list) {}
  void create(service_handle& out) override { out = &input_; }

private:
  service_single_instance<metadata_test::tst_input> input_;
};

// Starts the helper holding `path` and returns once it holds the file.
class file_holder {
public:
  file_holder(const std::string& path, unsigned milliseconds) {
    const std::wstring event_name = L"zorv-file-holder-" + std::to_wstring(GetCurrentProcessId());
    ready_ = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    const char* exe = std::getenv("ZORV_FILE_HOLDER_EXE");
    if (exe == nullptr) throw std::runtime_error("ZORV_FILE_HOLDER_EXE is not set");
    std::wstring command = L"\"" + io_test::wide(exe) + L"\" \"" + io_test::wide(path) + L"\" " +
                           std::to_wstring(milliseconds) + L" " + event_name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
      throw std::runtime_error("cannot start the file holder");
    CloseHandle(process_.hThread);
    const HANDLE waits[] = {ready_, process_.hProcess};
    if (WaitForMultipleObjects(2, waits, FALSE, 60000) != WAIT_OBJECT_0)
      throw std::runtime_error("the file holder did not take the file");
  }
  ~file_holder() {
    WaitForSingleObject(process_.hProcess, 60000);
    CloseHandle(process_.hProcess);
    CloseHandle(ready_);
  }

private:
  HANDLE ready_ = nullptr;
  PROCESS_INFORMATION process_{};
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
    file_holder holder(folder.path("a.tst"), held_ms);
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
