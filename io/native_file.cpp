#include "io/native_file.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/utf8.h"
#include "foundation/win32_error.h"
#include "foundation/win32_handles.h"
#include "io/disk_wait.h"
#include "io/io_exceptions.h"
#include "io/read_ahead_file.h"
#include "io/test_write_faults.h"
#include "io/test_write_pause.h"

namespace vantrel_io {

namespace {

// CancelIo only asks for the request to end: until it has ended the system
// may still write into the caller's buffer and into the OVERLAPPED on our
// stack frame, so neither may be given up before that.
void cancel_and_wait(HANDLE file, HANDLE event, OVERLAPPED& request) noexcept {
  CancelIo(file);
  DWORD ignored = 0;
  if (GetOverlappedResult(file, &request, &ignored, TRUE)) return;
  if (!HasOverlappedIoCompleted(&request)) WaitForSingleObject(event, INFINITE);
}

class native_file : public file_object {
public:
  // A `synchronous` handle was opened without FILE_FLAG_OVERLAPPED and
  // needs no event.
  // `existing` says the handle was opened over a file that was there before
  // (not a new or temporary file): the kill tests cut its writes at pages.
  native_file(HANDLE handle, bool writable, bool synchronous = false, bool existing = false)
      : handle_(handle), writable_(writable), synchronous_(synchronous), existing_(existing) {
    if (!synchronous_) event_.create();
  }
  ~native_file() { win32_handle_close(handle_); }

  std::uint64_t get_size(const abort_signal& abort) override {
    abort.check_and_throw();
    return query_size();
  }

  std::uint64_t get_position(const abort_signal& abort) override {
    abort.check_and_throw();
    return position_;
  }

  void resize(std::uint64_t size, const abort_signal& abort) override {
    if (!writable_) throw_io_denied();
    abort.check_and_throw();
    pause_before_file_change();
    fail_if_test_write_fault();
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    handle_position_ = position_unknown;
    unflushed_ = true;
    size_ = size_unknown;
    if (!SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN)) throw_last_io_error();
    if (!SetEndOfFile(handle_)) throw_last_io_error();
    size_ = size;
    position_ = std::min(position_, size);
  }

  // Only the stored position moves: it goes into the OVERLAPPED of the next
  // transfer, the system's file pointer is never used.
  void seek(std::uint64_t position, const abort_signal& abort) override {
    abort.check_and_throw();
    if (position > query_size()) throw_io_seek_out_of_range();
    position_ = position;
  }

  bool can_seek() override { return true; }
  bool get_mime_type(qiv::string_object&) override { return false; }
  bool is_memory_backed() override { return false; }
  void check_abort(const abort_signal& abort) override { abort.check_and_throw(); }

  std::uint64_t get_timestamp(const abort_signal& abort) override {
    abort.check_and_throw();
    // Written data must be on disk for the system to report its time.
    if (writable_ && unflushed_) {
      FlushFileBuffers(handle_);
      unflushed_ = false;
    }
    FILETIME written;
    if (!GetFileTime(handle_, nullptr, nullptr, &written)) throw_last_io_error();
    return (std::uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  }

  bool is_remote() override { return false; }

  // A handle that has written nothing since has nothing to flush, and a
  // flush costs a tag update of many files dearly.
  void flush(const abort_signal& abort) override {
    abort.check_and_throw();
    if (!writable_ || !unflushed_) return;
    {
      disk_wait_scope waiting;
      fail_if_test_write_fault();
      if (!FlushFileBuffers(handle_)) throw_last_io_error();
    }
    unflushed_ = false;
  }

  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    if (bytes == 0) {
      abort.check_and_throw();
      return 0;
    }
    if (synchronous_) return read_synchronously(buffer, bytes, abort);
    char* target = static_cast<char*>(buffer);
    std::uint32_t done = 0;
    while (done < bytes) {
      abort.check_and_throw();
      const std::uint32_t piece = std::min(bytes - done, native_transfer_piece);
      OVERLAPPED request = start_request();
      DWORD moved = 0;
      if (!ReadFile(handle_, target + done, piece, nullptr, &request)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) return done;
        if (error != ERROR_IO_PENDING) throw_exception_io_from_win32(error);
        wait_for_request(request, abort);
      }
      if (!GetOverlappedResult(handle_, &request, &moved, TRUE)) {
        const DWORD error = GetLastError();
        cancel_and_wait(handle_, event_.get(), request);
        if (error == ERROR_HANDLE_EOF) return done;
        throw_exception_io_from_win32(error);
      }
      if (moved == 0) break;
      done += moved;
      position_ += moved;
    }
    return done;
  }

  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    if (!writable_) throw_io_denied();
    if (bytes == 0) {
      abort.check_and_throw();
      return;
    }
    unflushed_ = true;
    // A write that fails part of the way leaves a size only the system knows.
    const std::uint64_t size_before = size_;
    size_ = size_unknown;
    if (synchronous_) {
      write_synchronously(buffer, bytes, abort);
    } else {
      write_overlapped(buffer, bytes, abort);
    }
    if (size_before != size_unknown) size_ = std::max(size_before, position_);
  }

private:
  void write_overlapped(const void* buffer, std::uint32_t bytes, const abort_signal& abort) {
    const char* source = static_cast<const char*>(buffer);
    std::uint32_t done = 0;
    while (done < bytes) {
      abort.check_and_throw();
      const std::uint32_t piece = std::min({bytes - done, native_transfer_piece, test_piece(position_)});
      pause_before_file_change();
      fail_if_test_write_fault();
      OVERLAPPED request = start_request();
      DWORD moved = 0;
      if (!WriteFile(handle_, source + done, piece, nullptr, &request)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) throw_exception_io_from_win32(error);
        wait_for_request(request, abort);
      }
      if (!GetOverlappedResult(handle_, &request, &moved, TRUE)) {
        const DWORD error = GetLastError();
        cancel_and_wait(handle_, event_.get(), request);
        throw_exception_io_from_win32(error);
      }
      if (moved != piece) throw_io();
      done += piece;
      position_ += piece;
    }
  }

  // Reads through the handle's own file pointer, moved only when a seek
  // left it elsewhere: under Wine a read given an OVERLAPPED, even on a
  // synchronous handle, reports its completion to the server, the one round
  // trip this path is there to avoid. One bounded piece at a time, the abort
  // signal looked at before and after each: a piece of a local disk cannot
  // keep a stop request waiting long.
  std::uint32_t read_synchronously(void* buffer, std::uint32_t bytes, const abort_signal& abort) {
    char* target = static_cast<char*>(buffer);
    std::uint32_t done = 0;
    while (done < bytes) {
      abort.check_and_throw();
      move_handle_to_position();
      const std::uint32_t piece = std::min(bytes - done, local_read_piece);
      DWORD moved = 0;
      handle_position_ = position_unknown;
      if (!ReadFile(handle_, target + done, piece, &moved, nullptr)) throw_last_io_error();
      position_ += moved;
      handle_position_ = position_;
      abort.check_and_throw();
      if (moved == 0) break;
      done += moved;
    }
    return done;
  }

  // The same for writes; a short write is a failure, as on the overlapped
  // path.
  void write_synchronously(const void* buffer, std::uint32_t bytes, const abort_signal& abort) {
    const char* source = static_cast<const char*>(buffer);
    std::uint32_t done = 0;
    while (done < bytes) {
      abort.check_and_throw();
      move_handle_to_position();
      const std::uint32_t piece = std::min({bytes - done, local_read_piece, test_piece(position_)});
      pause_before_file_change();
      fail_if_test_write_fault();
      DWORD moved = 0;
      handle_position_ = position_unknown;
      if (!WriteFile(handle_, source + done, piece, &moved, nullptr)) throw_last_io_error();
      position_ += moved;
      handle_position_ = position_;
      if (moved != piece) throw_io();
      done += piece;
    }
  }

  // A killed process can stop a write between two pages: kill tests see
  // that moment through a pause between the pages of a write to a file that
  // readers already know.
  std::uint32_t test_piece(std::uint64_t position) const noexcept {
    return existing_ ? test_write_piece_limit(position) : 0xFFFFFFFFu;
  }

  void move_handle_to_position() {
    if (handle_position_ == position_) return;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position_);
    handle_position_ = position_unknown;
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) throw_last_io_error();
    handle_position_ = position_;
  }

  // GetFileSizeEx reports failure by its result: the last error of an
  // earlier pending transfer would otherwise look like a failure here.
  // The answer is kept: no other handle can change the size while this one
  // is open (a reader shares only reading, a writer nothing), and its own
  // writes and resizes keep it current. Under Wine every question costs
  // system calls, and a parser seeks often.
  std::uint64_t query_size() {
    if (size_ != size_unknown) return size_;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) throw_last_io_error();
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return size_;
  }

  OVERLAPPED start_request() {
    OVERLAPPED request = {};
    request.Offset = static_cast<DWORD>(position_);
    request.OffsetHigh = static_cast<DWORD>(position_ >> 32);
    request.hEvent = event_.get();
    ResetEvent(event_.get());
    return request;
  }

  // Waits for a pending transfer or the abort signal. When the transfer and
  // the abort end together, the transfer wins (it is the first object).
  void wait_for_request(OVERLAPPED& request, const abort_signal& abort) {
    const HANDLE objects[2] = {event_.get(), abort.get_event()};
    const DWORD result = WaitForMultipleObjects(2, objects, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) return;
    const DWORD error = GetLastError();
    cancel_and_wait(handle_, event_.get(), request);
    if (result == WAIT_OBJECT_0 + 1) throw exception_aborted();
    throw exception_win32(error);
  }

  HANDLE handle_;
  win32_event event_;
  std::uint64_t position_ = 0;
  // Where a synchronous handle's file pointer stands.
  static constexpr std::uint64_t position_unknown = ~std::uint64_t(0);
  std::uint64_t handle_position_ = 0;
  static constexpr std::uint64_t size_unknown = ~std::uint64_t(0);
  std::uint64_t size_ = size_unknown;
  const bool writable_;
  const bool synchronous_;
  const bool existing_;
  // Written or resized since the last flush.
  bool unflushed_ = false;
};

struct open_arguments {
  DWORD access;
  DWORD creation;
  DWORD sharing;
  bool writable;
};

open_arguments arguments_for(open_mode mode) {
  switch (mode) {
    case open_mode::read:
      return {GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ, false};
    case open_mode::write_existing:
      return {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, 0, true};
    case open_mode::write_new:
      return {GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, 0, true};
  }
  qiv::throw_invalid_params();
}

}  // namespace

void win32_path(const char* path, qiv::string_object& out) {
  // Bytes that are not UTF-8 would reach the system as U+FFFD, which the
  // name of another, real file may hold: such a path names no file.
  if (!qiv::is_valid_utf8(path, SIZE_MAX)) throw_io_no_handler_for_path();
  constexpr char scheme[] = "file://";
  if (std::strncmp(path, scheme, sizeof scheme - 1) == 0) path += sizeof scheme - 1;
  if (path[0] == '\\' && path[1] == '\\') {
    out.set_string(path);
  } else {
    out.set_string("\\\\?\\");
    out.add_string(path);
  }
}

namespace {

// Owns `handle` from the call on, also when it throws.
file_ptr native_file_over(HANDLE handle, bool writable, bool synchronous, bool existing) {
  try {
    return file_ptr(new service_counted<native_file>(handle, writable, synchronous, existing));
  } catch (...) {
    CloseHandle(handle);
    throw;
  }
}

}  // namespace

file_ptr native_file_opened(HANDLE handle, open_mode mode, bool synchronous) {
  return native_file_over(handle, arguments_for(mode).writable, synchronous, mode == open_mode::write_existing);
}

file_ptr make_native_file(HANDLE handle, bool writable, bool synchronous) {
  return native_file_over(handle, writable, synchronous, false);
}

namespace {

bool is_drive_root_form(const char* p) {
  const char letter = static_cast<char>(p[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && p[1] == ':' && p[2] == '\\';
}

// Only files on a drive or a network share are opened: a playlist entry or
// a command line naming a device ("\\.\PhysicalDrive0", a bare "C:" that
// is the whole volume) must never be read, let alone have tags written to it.
bool is_file_system_form(const char* native) {
  if (std::strncmp(native, "\\\\?\\", 4) == 0) {
    const char* rest = native + 4;
    return is_drive_root_form(rest) || std::strncmp(rest, "UNC\\", 4) == 0;
  }
  if (std::strncmp(native, "\\\\", 2) == 0) return native[2] != '.' && native[2] != '?' && native[2] != '\0';
  return false;
}

HANDLE open_handle(const qiv::string_buffer& native, open_mode mode, DWORD flags) {
  const open_arguments arguments = arguments_for(mode);
  if (!is_file_system_form(native.get_ptr())) throw_io_no_handler_for_path();
  const text_or_resource_id wide(native.get_ptr());
  const HANDLE handle =
      CreateFileW(wide.get(), arguments.access, arguments.sharing, nullptr, arguments.creation, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw_last_io_error();
  return handle;
}

}  // namespace

// The answer is kept a few seconds per drive letter: asking the system costs
// more than a small read.
bool is_on_local_fixed_drive(const char* native) {
  const char* p = native;
  if (std::strncmp(p, "\\\\?\\", 4) != 0 || !is_drive_root_form(p + 4)) return false;
  const int letter = (p[4] | 0x20) - 'a';
  struct cached_type {
    std::atomic<DWORD> checked_at{0};
    std::atomic<UINT> type{DRIVE_UNKNOWN};
  };
  static cached_type cache[26];
  constexpr DWORD keep_ms = 5000;
  cached_type& entry = cache[letter];
  const DWORD now = GetTickCount() | 1;  // 0 marks a letter never asked about
  const DWORD checked_at = entry.checked_at.load();
  UINT type = entry.type.load();
  if (checked_at == 0 || now - checked_at > keep_ms) {
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + letter), L':', L'\\', 0};
    type = GetDriveTypeW(root);
    entry.type = type;
    entry.checked_at = now;
  }
  return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
}

HANDLE open_native_handle(const char* path, open_mode mode) {
  qiv::string_buffer native;
  win32_path(path, native);
  return open_handle(native, mode, FILE_FLAG_OVERLAPPED);
}

void native_open(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) {
  abort.check_and_throw();
  file_ptr file = native_file_opened(open_native_handle(path, mode), mode, false);
  buffered_file(out, file, native_read_buffer, abort);
}

void native_open_local(file_ptr& out, const char* path, open_mode mode, const abort_signal& abort) {
  abort.check_and_throw();
  qiv::string_buffer native;
  win32_path(path, native);
  if (!is_on_local_fixed_drive(native.get_ptr())) {
    native_open(out, path, mode, abort);
    return;
  }
  file_ptr file = native_file_opened(open_handle(native, mode, 0), mode, true);
  buffered_file(out, file, native_read_buffer, abort);
}

}  // namespace vantrel_io
