#include "io/native_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "foundation/exceptions.h"
#include "foundation/win32_handles.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::scratch_folder;

const abort_signal& no_abort() { return never_raised_abort_signal(); }

std::string read_all(file_object& file) {
  std::string content(static_cast<std::size_t>(file.get_size(no_abort())), '\0');
  file.seek(0, no_abort());
  content.resize(file.read(content.data(), static_cast<std::uint32_t>(content.size()), no_abort()));
  return content;
}

TEST(NativeFile, SeekToTheSizeIsAllowedAndOnePastIsRefused) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.bin"), "0123456789");
  file_ptr file;
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::read, no_abort());
  file->seek(10, no_abort());
  char byte = 0;
  EXPECT_EQ(file->read(&byte, 1, no_abort()), 0u);
  EXPECT_THROW(file->seek(11, no_abort()), exception_io_seek_out_of_range);
  EXPECT_EQ(file->get_position(no_abort()), 10u);
}

TEST(NativeFile, ResizeBelowThePositionMovesThePositionToTheNewEnd) {
  scratch_folder folder;
  file_ptr file;
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::write_new, no_abort());
  file->write("0123456789", 10, no_abort());
  file->resize(4, no_abort());
  EXPECT_EQ(file->get_size(no_abort()), 4u);
  EXPECT_EQ(file->get_position(no_abort()), 4u);
  file->resize(8, no_abort());
  EXPECT_EQ(file->get_position(no_abort()), 4u);
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.bin")).substr(0, 4), "0123");
}

TEST(NativeFile, DevicesAndWholeVolumesAreNeverOpened) {
  file_ptr file;
  for (const char* path : {"file://C:", "file://\\\\.\\NUL", "file://\\\\?\\GLOBALROOT\\Device\\Null", "NUL"}) {
    EXPECT_THROW(native_open(file, path, open_mode::read, no_abort()), exception_io_no_handler_for_path) << path;
  }
  EXPECT_FALSE(file);
}

TEST(NativeFile, ReadOnlyOpenRefusesWritesAndLeavesTheFileAlone) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.bin"), "abc");
  file_ptr file;
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::read, no_abort());
  EXPECT_THROW(file->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(file->resize(0, no_abort()), exception_io_denied);
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.bin")), "abc");
}

TEST(NativeFile, ReadersShareAndAWriterExcludesThem) {
  scratch_folder folder;
  io_test::write_file(folder.path("a.bin"), "abc");
  const std::string url = folder.file_url("a.bin");
  file_ptr first, second, writer;
  native_open(first, url.c_str(), open_mode::read, no_abort());
  native_open(second, url.c_str(), open_mode::read, no_abort());
  EXPECT_THROW(native_open(writer, url.c_str(), open_mode::write_existing, no_abort()), exception_io_sharing_violation);
}

TEST(NativeFile, OpenModesNeedOrCreateTheFileAndWritesReachTheDisk) {
  scratch_folder folder;
  file_ptr file;
  EXPECT_THROW(native_open(file, folder.file_url("missing").c_str(), open_mode::read, no_abort()),
               exception_io_not_found);
  EXPECT_THROW(native_open(file, folder.file_url("missing").c_str(), open_mode::write_existing, no_abort()),
               exception_io_not_found);
  io_test::write_file(folder.path("a.bin"), "old content");
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::write_new, no_abort());
  EXPECT_EQ(file->get_size(no_abort()), 0u);
  file.reset();
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::write_existing, no_abort());
  file->write("new", 3, no_abort());
  file->seek(1, no_abort());
  char buffer[8] = {};
  EXPECT_EQ(file->read(buffer, sizeof buffer, no_abort()), 2u);
  EXPECT_STREQ(buffer, "ew");
  file.reset();
  EXPECT_EQ(io_test::read_file(folder.path("a.bin")), "new");
}

TEST(NativeFile, AnUnknownModeIsInvalidParameters) {
  scratch_folder folder;
  file_ptr file;
  try {
    native_open(file, folder.file_url("a.bin").c_str(), static_cast<open_mode>(3), no_abort());
    FAIL() << "no exception";
  } catch (const qiv::exception_invalid_params& e) {
    EXPECT_STREQ(e.what(), "Invalid parameters");
  }
  EXPECT_FALSE(io_test::exists(folder.path("a.bin")));
}

TEST(NativeFile, SizeAndResizeIgnoreTheLastErrorOfAnEarlierTransfer) {
  // Reads of regular files go pending, and the system may leave 997 as the
  // thread's last error across later successful calls.
  scratch_folder folder;
  file_ptr file;
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::write_new, no_abort());
  file->write("0123456789", 10, no_abort());
  file->seek(0, no_abort());
  char buffer[4];
  file->read(buffer, 4, no_abort());
  SetLastError(ERROR_IO_PENDING);
  EXPECT_EQ(file->get_size(no_abort()), 10u);
  SetLastError(ERROR_IO_PENDING);
  EXPECT_NO_THROW(file->resize(6, no_abort()));
  SetLastError(ERROR_IO_PENDING);
  EXPECT_NO_THROW(file->seek(6, no_abort()));
  EXPECT_EQ(file->get_size(no_abort()), 6u);
}

TEST(NativeFile, TransfersLargerThanOnePieceKeepEveryByte) {
  scratch_folder folder;
  const std::uint32_t size = native_transfer_piece + native_transfer_piece / 2 + 7;
  std::string pattern(size, '\0');
  for (std::uint32_t i = 0; i < size; ++i) pattern[i] = static_cast<char>((i * 2654435761u) >> 24);
  file_ptr file;
  native_open(file, folder.file_url("big.bin").c_str(), open_mode::write_new, no_abort());
  file->write(pattern.data(), size, no_abort());
  EXPECT_EQ(file->get_position(no_abort()), size);
  EXPECT_EQ(read_all(*file) == pattern, true);
}

TEST(NativeFile, ARaisedSignalStopsEveryOperationBeforeItTouchesTheFile) {
  scratch_folder folder;
  file_ptr file;
  native_open(file, folder.file_url("a.bin").c_str(), open_mode::write_new, no_abort());
  file->write("abc", 3, no_abort());
  raisable_abort_signal abort;
  abort.raise();
  char byte;
  EXPECT_THROW(file->read(&byte, 1, abort), exception_aborted);
  EXPECT_THROW(file->write("x", 1, abort), exception_aborted);
  EXPECT_THROW(file->seek(0, abort), exception_aborted);
  EXPECT_THROW(file->resize(0, abort), exception_aborted);
  EXPECT_THROW(file->get_size(abort), exception_aborted);
  EXPECT_EQ(file->get_size(no_abort()), 3u);
  EXPECT_EQ(file->get_position(no_abort()), 3u);
}

// A pipe whose server never writes: a read on it blocks for real.
class silent_pipe {
public:
  silent_pipe() {
    name_ = L"\\\\.\\pipe\\zorv-io-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount());
    server_ = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  }
  ~silent_pipe() { CloseHandle(server_); }
  bool ok() const { return server_ != INVALID_HANDLE_VALUE; }
  file_ptr open_client() const {
    const HANDLE client = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (client == INVALID_HANDLE_VALUE) return {};
    return make_native_file(client, true);
  }
  void send(const char* text) const {
    DWORD written = 0;
    WriteFile(server_, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  }

private:
  std::wstring name_;
  HANDLE server_;
};

TEST(NativeFileAbort, ABlockedReadEndsPromptlyWhenAnotherThreadRaisesTheSignal) {
  silent_pipe pipe;
  ASSERT_TRUE(pipe.ok());
  file_ptr client = pipe.open_client();
  ASSERT_TRUE(client);

  raisable_abort_signal abort;
  char buffer[64];
  std::memset(buffer, 0xAA, sizeof buffer);
  std::atomic<bool> aborted{false};
  std::atomic<bool> other_failure{false};
  std::chrono::steady_clock::time_point ended;
  // The reader thread stays alive until the end: the system cancels a
  // thread's pending requests when it exits, which would hide a request the
  // read itself left running.
  win32_event reader_done;
  reader_done.create();
  win32_event may_exit;
  may_exit.create();
  std::thread reader([&] {
    try {
      client->read(buffer, sizeof buffer, abort);
    } catch (const exception_aborted&) {
      aborted = true;
    } catch (...) {
      other_failure = true;
    }
    ended = std::chrono::steady_clock::now();
    SetEvent(reader_done.get());
    WaitForSingleObject(may_exit.get(), 10000);
  });
  Sleep(200);  // let the read go pending
  const auto raised = std::chrono::steady_clock::now();
  abort.raise();
  const bool reader_ended = WaitForSingleObject(reader_done.get(), 10000) == WAIT_OBJECT_0;
  EXPECT_TRUE(reader_ended);
  EXPECT_TRUE(aborted);
  EXPECT_FALSE(other_failure);
  if (reader_ended) {
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - raised).count(), 5000);
  }

  // The cancelled request is over: data arriving now lands nowhere near the
  // abandoned buffer, and the handle serves the next read.
  pipe.send("late");
  Sleep(100);
  bool buffer_untouched = true;
  for (char byte : buffer) buffer_untouched = buffer_untouched && static_cast<unsigned char>(byte) == 0xAA;
  EXPECT_TRUE(buffer_untouched);
  if (buffer_untouched) {
    char next[4] = {};
    EXPECT_EQ(client->read(next, 4, no_abort()), 4u);
    EXPECT_EQ(std::string(next, 4), "late");
  }
  SetEvent(may_exit.get());
  reader.join();
}

}  // namespace
