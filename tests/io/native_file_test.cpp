#include "io/native_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_handles.h"
#include "io/io_exceptions.h"
#include "io/native_operations.h"
#include "io_test_support.h"

namespace {

using namespace vantrel_io;
using io_test::no_abort;
using io_test::scratch_folder;

class NativeFile : public ::testing::Test {
protected:
  file_ptr open_file(const std::string& name, open_mode mode) {
    file_ptr file;
    native_open(file, folder.file_url(name).c_str(), mode, no_abort());
    return file;
  }
  scratch_folder folder;
};

TEST_F(NativeFile, OpenModesNeedCreateOrRefuseTheFile) {
  const struct {
    int mode;
    bool file_exists;
    std::string outcome;  // the size after opening, or the failure
  } cases[] = {
      {0, true, "11"}, {0, false, "not found"}, {1, true, "11"},                 {1, false, "not found"},
      {2, true, "0"},  {2, false, "0"},         {3, true, "Invalid parameters"}, {3, false, "Invalid parameters"},
  };
  for (const auto& c : cases) {
    const std::string name = "m" + std::to_string(c.mode) + (c.file_exists ? "e" : "n");
    if (c.file_exists) io_test::write_file(folder.path(name), "old content");
    std::string size;
    std::string failure = io_test::failure_of(
        [&] { size = std::to_string(open_file(name, static_cast<open_mode>(c.mode))->get_size(no_abort())); });
    EXPECT_EQ(failure.empty() ? size : failure, c.outcome) << name;
    EXPECT_EQ(io_test::exists(folder.path(name)), c.file_exists || failure.empty()) << name;
  }
}

TEST_F(NativeFile, ReadOnlyOpenRefusesWritesAndSharesOnlyWithReaders) {
  io_test::write_file(folder.path("a.bin"), "abc");
  file_ptr reader = open_file("a.bin", open_mode::read);
  EXPECT_THROW(reader->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(reader->resize(0, no_abort()), exception_io_denied);
  file_ptr second = open_file("a.bin", open_mode::read);
  EXPECT_THROW(open_file("a.bin", open_mode::write_existing), exception_io_sharing_violation);
  EXPECT_EQ(io_test::read_file(folder.path("a.bin")), "abc");
}

TEST_F(NativeFile, DevicesAndWholeVolumesAreNeverOpened) {
  file_ptr file;
  for (const char* path : {"file://C:", "file://\\\\.\\NUL", "file://\\\\?\\GLOBALROOT\\Device\\Null", "NUL",
                           "file://\\\\.\\PhysicalDrive0"}) {
    EXPECT_THROW(native_open(file, path, open_mode::read, no_abort()), exception_io_no_handler_for_path) << path;
  }
  EXPECT_FALSE(file);
}

TEST_F(NativeFile, PathsLongerThanTheOldLimitWork) {
  std::string name;
  for (int i = 0; i < 3; ++i) {
    name += std::string(100, static_cast<char>('a' + i)) + "\\";
    CreateDirectoryW(io_test::wide(folder.path(name)).c_str(), nullptr);
  }
  name += "long.bin";
  ASSERT_GT(folder.path(name).size(), 300u);
  open_file(name, open_mode::write_new)->write("deep", 4, no_abort());
  EXPECT_EQ(io_test::read_all(*open_file(name, open_mode::read)), "deep");
}

TEST_F(NativeFile, PathsThatAreNotUtf8NeverReachAFileWithAnotherName) {
  // Undecodable bytes would become U+FFFD, which a real file name may hold.
  const std::string other = folder.path("a\xEF\xBF\xBD.bin");
  io_test::write_file(other, "someone else's");
  for (const char* name : {"a\xFF.bin", "a\xC3.bin"}) {
    const std::string url = folder.file_url(name);
    for (const int mode : {0, 1, 2})
      EXPECT_EQ(io_test::failure_of([&] { open_file(name, static_cast<open_mode>(mode)); }), "invalid path") << mode;
    EXPECT_EQ(io_test::failure_of([&] { native_remove(url.c_str()); }), "invalid path");
    EXPECT_EQ(io_test::failure_of([&] { native_move(folder.file_url("b.bin").c_str(), url.c_str()); }), "invalid path");
    EXPECT_FALSE(native_file_exists(url.c_str()));
    qiv::string_buffer canonical;
    EXPECT_FALSE(native_canonicalize_path(url.c_str(), canonical, false));
  }
  EXPECT_EQ(io_test::read_file(other), "someone else's");
}

TEST_F(NativeFile, LargeTransfersKeepEveryByteAndSizeIgnoresAStaleLastError) {
  const std::uint32_t size = native_transfer_piece + native_transfer_piece / 2 + 7;
  const std::string bytes = io_test::pattern(size);
  file_ptr file = open_file("big.bin", open_mode::write_new);
  file->write(bytes.data(), size, no_abort());
  EXPECT_EQ(file->get_position(no_abort()), size);
  EXPECT_TRUE(io_test::read_all(*file) == bytes);
  // Reads go pending, and the system may leave 997 as the thread's last
  // error across later successful calls.
  SetLastError(ERROR_IO_PENDING);
  EXPECT_EQ(file->get_size(no_abort()), size);
  SetLastError(ERROR_IO_PENDING);
  EXPECT_NO_THROW(file->resize(6, no_abort()));
  SetLastError(ERROR_IO_PENDING);
  EXPECT_NO_THROW(file->seek(6, no_abort()));
}

TEST_F(NativeFile, ARaisedSignalStopsEveryOperationBeforeItTouchesTheFile) {
  file_ptr file = open_file("a.bin", open_mode::write_new);
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

// The scanner's brief reads of local files go without overlapped I/O: they
// must see the same bytes, times and sharing as any other read.
TEST_F(NativeFile, LocalReadsSeeTheFileAsOtherReadsDo) {
  const std::uint32_t size = 2 * local_read_piece + 1000;
  const std::string bytes = io_test::pattern(size, 3);
  io_test::write_file(folder.path("local.bin"), bytes);
  file_ptr file;
  native_open_local_read(file, folder.file_url("local.bin").c_str(), no_abort());
  file_ptr other = open_file("local.bin", open_mode::read);
  EXPECT_EQ(file->get_size(no_abort()), size);
  EXPECT_EQ(file->get_timestamp(no_abort()), other->get_timestamp(no_abort()));

  std::string whole(size, '\0');
  EXPECT_EQ(file->read(whole.data(), size, no_abort()), size) << "one request across several pieces";
  EXPECT_TRUE(whole == bytes);
  char byte;
  EXPECT_EQ(file->read(&byte, 1, no_abort()), 0u) << "nothing past the end";
  for (const std::uint32_t at : {0u, 17u, local_read_piece - 3, 70000u, 5u, size - 4, size}) {
    file->seek(at, no_abort());
    EXPECT_EQ(io_test::read_text(*file, 8), bytes.substr(at, 8)) << "at " << at;
  }

  EXPECT_THROW(file->write("x", 1, no_abort()), exception_io_denied);
  EXPECT_THROW(open_file("local.bin", open_mode::write_existing), exception_io_sharing_violation)
      << "a tag writer must not rewrite a file the scanner reads";
  raisable_abort_signal abort;
  abort.raise();
  file->seek(0, no_abort());
  EXPECT_THROW(file->read(&byte, 1, abort), exception_aborted);

  file_ptr missing;
  EXPECT_EQ(io_test::failure_of([&] {
              native_open_local_read(missing, folder.file_url("missing.bin").c_str(), no_abort());
            }),
            io_test::failure_of([&] { open_file("missing.bin", open_mode::read); }));
}

// Tag writers reach local files through the same synchronous handles: reads,
// writes, seeks and resizes in any order must leave the bytes an
// overlapped handle would, and the time must be that of the last write.
TEST_F(NativeFile, LocalWritesInterleaveWithReadsAsOtherWritesDo) {
  const std::uint32_t size = 2 * local_read_piece + 1000;
  std::string model = io_test::pattern(size, 5);
  io_test::write_file(folder.path("local.bin"), model);
  file_ptr file;
  native_open_local(file, folder.file_url("local.bin").c_str(), open_mode::write_existing, no_abort());
  EXPECT_THROW(open_file("local.bin", open_mode::read), exception_io_sharing_violation)
      << "nobody reads a file while its tags are rewritten";

  const auto write_at = [&](std::uint64_t at, const std::string& bytes) {
    file->seek(at, no_abort());
    file->write(bytes.data(), std::uint32_t(bytes.size()), no_abort());
    model.replace(std::size_t(at), std::min(bytes.size(), model.size() - std::size_t(at)), bytes);
    if (at + bytes.size() > model.size()) model += bytes.substr(model.size() - std::size_t(at));
  };
  file->seek(10, no_abort());
  EXPECT_EQ(io_test::read_text(*file, 6), model.substr(10, 6));
  write_at(70000, "ABCDEFGH");
  EXPECT_EQ(file->get_position(no_abort()), 70008u);
  EXPECT_EQ(io_test::read_text(*file, 4), model.substr(70008, 4)) << "a read goes on where the write ended";
  write_at(100, io_test::pattern(local_read_piece + 10, 9));  // more than one piece
  write_at(size - 2, "tail");                                 // grows the file
  file->resize(size - 7, no_abort());
  model.resize(size - 7);
  EXPECT_EQ(file->get_position(no_abort()), size - 7);
  write_at(3, "xyz");

  raisable_abort_signal abort;
  abort.raise();
  EXPECT_THROW(file->write("no", 2, abort), exception_aborted);
  const std::uint64_t written_at = file->get_timestamp(no_abort());
  file.reset();
  EXPECT_TRUE(io_test::read_file(folder.path("local.bin")) == model);
  file_stats stats;
  bool writable = false;
  native_get_stats(folder.file_url("local.bin").c_str(), stats, writable);
  EXPECT_EQ(stats.timestamp, written_at);
  EXPECT_EQ(stats.size, model.size());
}

TEST(NativeFileAbort, ABlockedReadEndsPromptlyWhenAnotherThreadRaisesTheSignal) {
  // A pipe whose server does not write: a read on it blocks for real.
  const std::wstring name = L"\\\\.\\pipe\\zorv-io-test-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE server =
      CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  file_ptr client = make_native_file(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_OVERLAPPED, nullptr), true);

  raisable_abort_signal abort;
  char buffer[64];
  std::memset(buffer, 0xAA, sizeof buffer);
  bool aborted = false;  // handed over by the event
  // The reader thread stays alive until the end: the system cancels a
  // thread's pending requests when it exits, which would hide a request the
  // read itself left running.
  win32_event reader_done, may_exit;
  reader_done.create();
  may_exit.create();
  std::thread reader([&] {
    aborted = io_test::failure_of([&] { client->read(buffer, sizeof buffer, abort); }) == "User abort";
    SetEvent(reader_done.get());
    WaitForSingleObject(may_exit.get(), 10000);
  });
  Sleep(200);  // let the read go pending
  abort.raise();
  EXPECT_EQ(WaitForSingleObject(reader_done.get(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(aborted);

  // The cancelled request is over: data arriving now lands nowhere near the
  // abandoned buffer, and the handle serves the next read.
  DWORD written = 0;
  WriteFile(server, "late", 4, &written, nullptr);
  Sleep(100);
  const bool untouched = std::string(buffer, sizeof buffer) == std::string(sizeof buffer, '\xAA');
  EXPECT_TRUE(untouched);
  char next[4] = {};
  if (aborted && untouched) {
    EXPECT_EQ(client->read(next, 4, no_abort()), 4u);
    EXPECT_EQ(std::string(next, 4), "late");
  }
  SetEvent(may_exit.get());
  reader.join();
  CloseHandle(server);
}

}  // namespace
