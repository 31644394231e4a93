// What a machine without a usable Windows Media runtime, or with one that
// refuses, gives: the messages users read, never a crash. Also COM on a
// thread that is already in another apartment, and the tag writer's
// working copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/code_page_text.h"
#include "inputs/wma/com_scope.h"
#include "inputs/wma/temp_copy.h"
#include "inputs/wma/wma_input.h"
#include "inputs/wma/wma_result.h"
#include "inputs/wma/wma_runtime.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "tests/io/io_test_support.h"

namespace {

struct temp_file {
  std::wstring path;
  explicit temp_file(const std::string& content) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    GetTempFileNameW(folder, L"wmt", 0, name);
    path = name;
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
  }
  ~temp_file() { DeleteFileW(path.c_str()); }
  std::string url() const { return "file://" + qiv::utf16_to_utf8(path.data(), path.size()); }
};

std::string content_of(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &read, nullptr);
  CloseHandle(file);
  out.resize(read);
  return out;
}

std::string open_failure(const std::string& path) {
  try {
    wma::wma_input input;
    input.open(nullptr, path.c_str(), open_reason::decode, never_raised_abort_signal());
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return "";
}

HRESULT STDMETHODCALLTYPE refusing_reader(IUnknown*, DWORD, IWMSyncReader** out) {
  *out = nullptr;
  return static_cast<HRESULT>(0xC00D0BBD);
}

class WmaRuntime : public testing::Test {
protected:
  void SetUp() override { io_test::build_registry(); }
  void TearDown() override { wma::replace_runtime_for_tests(nullptr); }
};

TEST_F(WmaRuntime, MissingOrRefusingRuntimeGivesItsMessages) {
  temp_file file("not really a media file");
  const wma::runtime_entry_points none{};
  wma::replace_runtime_for_tests(&none);
  EXPECT_EQ(open_failure(file.url()),
            "WMA support requires a newer version of Windows Media runtime libraries installed");

  const wma::runtime_entry_points refusing{refusing_reader, nullptr};
  wma::replace_runtime_for_tests(&refusing);
  EXPECT_EQ(open_failure(file.url()), "WMCreateSyncReader failed : Playback of DRM-protected files is not supported");
}

TEST_F(WmaRuntime, RuntimeErrorTextsFallBackToTheSystemsAndThenToUnknown) {
  EXPECT_EQ(wma::error_text(static_cast<HRESULT>(0xC00D0026)), "Unrecognized stream type");
  EXPECT_NE(wma::error_text(E_OUTOFMEMORY), "Unknown error code");
  EXPECT_EQ(wma::error_text(static_cast<HRESULT>(0xC00DFFF1)), "Unknown error code");
}

TEST(WmaComScope, AnotherApartmentIsUsableAndLeftAsItWas) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  {
    wma::com_scope scope;
    EXPECT_FALSE(scope.initialised_here());
  }
  // Still initialised once: the scope did not uninitialise what it did not start.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();

  {
    wma::com_scope scope;
    EXPECT_TRUE(scope.initialised_here());
  }
  // Balanced: the thread is back to no COM at all.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

TEST_F(WmaRuntime, WorkingCopyCopiesBackAtItsOwnLengthAndIsRemoved) {
  temp_file target(std::string(5000, 'o'));
  vantrel_io::file_ptr source;
  vantrel_io::open(source, target.url().c_str(), vantrel_io::open_mode::write_existing, never_raised_abort_signal());
  std::wstring copy_path;
  {
    wma::temp_copy copy;
    copy.make(*source, never_raised_abort_signal());
    copy_path = copy.path();
    EXPECT_EQ(content_of(copy_path), std::string(5000, 'o'));
    // The edit made the file shorter: no old tail may stay behind it.
    HANDLE edited = CreateFileW(copy_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(edited, "new", 3, &written, nullptr);
    CloseHandle(edited);
    copy.copy_back(*source, never_raised_abort_signal());
  }
  source.reset();
  EXPECT_EQ(content_of(target.path), "new");
  EXPECT_EQ(content_of(copy_path), "<missing>");
}

TEST_F(WmaRuntime, FailedCopyBackKeepsTheWorkingCopyAndNamesIt) {
  temp_file target(std::string(3000, 'o'));
  vantrel_io::file_ptr read_only;
  vantrel_io::open(read_only, target.url().c_str(), vantrel_io::open_mode::read, never_raised_abort_signal());
  std::wstring copy_path;
  std::string message;
  {
    wma::temp_copy copy;
    copy.make(*read_only, never_raised_abort_signal());
    copy_path = copy.path();
    try {
      copy.copy_back(*read_only, never_raised_abort_signal());
    } catch (const vantrel_io::exception_io& failure) {
      message = failure.what();
    }
  }
  read_only.reset();
  EXPECT_NE(message.find(qiv::utf16_to_utf8(copy_path.data(), copy_path.size())), std::string::npos) << message;
  EXPECT_EQ(content_of(copy_path), std::string(3000, 'o'));
  EXPECT_EQ(content_of(target.path), std::string(3000, 'o'));
  DeleteFileW(copy_path.c_str());
}

}  // namespace
