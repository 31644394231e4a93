#include "core/single_instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/command_line_handler.h"
#include "core/profile_identity.h"
#include "core/service_registry.h"
#include "tests/support/sample_tag_service.h"
#include "tests/support/single_factory.h"

namespace {

class recording_line_handler : public command_line_handler {
public:
  result process_option(const char* option) override {
    options.emplace_back(option);
    return handled;
  }
  void process_parameter(const char*) override {}
  void end_option() override {}
  bool wants_folders_whole() override { return false; }
  static inline std::vector<std::string> options;
};

using namespace std::string_literals;  // "..."s keeps the inner NULs

constexpr wchar_t window_class[] = L"{75D55AF6-03A2-457a-9933-D4EC2CB25684}";

// This profile's window among those of every instance running.
HWND instance_window(std::uint32_t identity) {
  for (HWND window = FindWindowExW(nullptr, nullptr, window_class, nullptr); window != nullptr;
       window = FindWindowExW(nullptr, window, window_class, nullptr))
    if (static_cast<std::uint32_t>(SendMessageW(window, WM_USER, 0, 0)) == identity) return window;
  return nullptr;
}

// The running instance's side of the hand-over, driven by messages as a
// second start (or any other process) would send them.
class SingleInstanceWindow : public ::testing::Test {
protected:
  void SetUp() override {
    recording_line_handler::options.clear();
    app::state() = app::process_state();
    app::state().instance_handle = GetModuleHandleW(nullptr);
    // A profile of its own for every test: a profile's mutex stays until the process ends.
    static int test_number = 0;
    const std::string profile = "file://C:\\zorv-single-instance-test-" + std::to_string(GetCurrentProcessId()) +
                                "-" + std::to_string(++test_number);
    app::state().profile_path.set_string(profile.c_str());
    service_registry::build(list_);
    app::state().registry_ready = true;
    ASSERT_EQ(single_instance::check(), single_instance::start_result::first_instance);
    window_ = instance_window(profile_identity(profile.c_str()));
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    single_instance::destroy();
    service_registry::free();
    app::state() = app::process_state();
  }

  LRESULT send(ULONG_PTR kind, const void* bytes, std::size_t size) {
    COPYDATASTRUCT data = {kind, static_cast<DWORD>(size), const_cast<void*>(bytes)};
    return SendMessageW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  LRESULT send_text(ULONG_PTR kind, const std::string& bytes) { return send(kind, bytes.data(), bytes.size()); }

  static void run_pending_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      callback_guard::rethrow_pending();
    }
  }

  service_factory* list_ = nullptr;
  single_factory<sample_tag_service> tags_{&list_};
  single_factory<recording_line_handler> handler_{&list_};
  HWND window_ = nullptr;
};

// Other programs ask whether this instance runs a given program file; the
// answer reads no further than the stated size, whatever the size.
TEST_F(SingleInstanceWindow, ProgramPathQueryComparesOnlyTheStatedLengthIgnoringCase) {
  wchar_t own[MAX_PATH * 2] = {};
  const std::size_t length = GetModuleFileNameW(nullptr, own, MAX_PATH * 2);
  std::wstring path(own, length);
  CharUpperBuffW(path.data(), static_cast<DWORD>(length));
  const std::size_t bytes = length * sizeof(wchar_t);
  path += L"\\more";
  const std::wstring longer_than_any_path(40000, L'a');
  const struct {
    const wchar_t* data;
    std::size_t size;
    LRESULT answer;
  } queries[] = {{path.data(), bytes, TRUE},      {path.data(), bytes + 1, TRUE},  // a half unit is no character
                 {path.data(), path.size() * sizeof(wchar_t), FALSE}, {path.data(), bytes - sizeof(wchar_t), FALSE},
                 {nullptr, 0, FALSE},             {longer_than_any_path.data(), 80000, FALSE}};
  for (const auto& q : queries) EXPECT_EQ(send(2, q.data, q.size), q.answer) << q.size;
  run_pending_messages();
  EXPECT_TRUE(recording_line_handler::options.empty());  // queries are never queued
}

// Malformed hand-overs are dropped; one that comes before the registry is
// ready is refused, not dropped, so the sender tries again instead of losing it.
TEST_F(SingleInstanceWindow, HandedOverCommandLineRunsOnTheInstancesOwnLoopAndMalformedOnesAreDropped) {
  EXPECT_EQ(send_text(1, "zorv.exe /first\0C:\\Music\0"s), TRUE);
  send_text(1, "zorv.exe /one-zero\0"s);
  send_text(1, "zorv.exe /three\0C:\\\0extra\0"s);
  send_text(1, "zorv.exe /unterminated\0C:\\"s);
  send_text(3, "zorv.exe /other-kind\0C:\\\0"s);
  send(1, nullptr, 0);
  app::state().registry_ready = false;
  EXPECT_EQ(send_text(1, "zorv.exe /early\0C:\\\0"s), FALSE);
  app::state().registry_ready = true;
  EXPECT_EQ(send_text(1, "zorv.exe /second\0C:\\\0"s), TRUE);
  EXPECT_TRUE(recording_line_handler::options.empty());  // the sender is released first
  run_pending_messages();
  EXPECT_EQ(recording_line_handler::options, (std::vector<std::string>{"/first", "/second"}));
}

}  // namespace
