#include "library/library_folder.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "foundation/thread.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "library/folder_blob.h"
#include "library/folder_tree.h"
#include "metadata/tag_writes_in_progress.h"

namespace {

constexpr DWORD change_filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;
constexpr DWORD liveness_interval_ms = 5000;
constexpr DWORD retry_step_interval_ms = 500;
constexpr double error_retry_seconds = 10.0;
// While this process writes tags, the worker lets the write's change records
// gather this long between reads: one wake for many files instead of one
// for each (a wake costs several Wine server requests, the server that the
// write's own file requests queue at), and still far from what one read's
// buffer holds.
constexpr double write_gather_seconds = 0.02;
// Another program holding a path open can keep GetFileAttributesW failing
// for as long as it likes; past this the path waits in the retry set.
constexpr DWORD attribute_sharing_wait_ms = 1000;

// Win32 errors of file systems that send no change notifications.
bool means_no_notifications(DWORD code) {
  return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_NETNAME;
}

class scoped_event {
public:
  scoped_event() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (handle_ == nullptr) throw exception_win32(GetLastError());
  }
  ~scoped_event() { CloseHandle(handle_); }
  scoped_event(const scoped_event&) = delete;
  scoped_event& operator=(const scoped_event&) = delete;
  HANDLE get() const { return handle_; }

private:
  HANDLE handle_;
};

class library_folder_impl : public library_folder {
public:
  library_folder_impl(library_folder_sink* owner, const char* path, std::uint32_t mode)
      : owner_(owner), tree_(owner, abort_), mode_(mode) {
    tree_.reset(path);
  }
  ~library_folder_impl() {
    stop();
    close_directory();
  }

  void save(vantrel_io::writer& target, const abort_signal& abort) override { write_folder_blob(tree_, target, abort); }
  bool is_ready() override { return ready_.load(); }
  bool take_unsaved_changes() override { return tree_.take_unsaved_changes(); }
  void set_mode(std::uint32_t mode) override {
    stop();
    mode_ = mode;
    start();
  }

  void restore(vantrel_io::file_object& blob, track_handle_list& out) {
    read_folder_blob(tree_, tree_.get_path().c_str(), blob, out);
  }

  void start() {
    abort_.reset();
    if ((mode_ & (mode_no_first_scan | mode_no_monitoring)) == (mode_no_first_scan | mode_no_monitoring)) {
      ready_ = true;
      return;
    }
    ready_ = false;
    worker_.start();
  }

private:
  class worker_thread final : public qiv::thread {
  public:
    explicit worker_thread(library_folder_impl& folder) : folder_(folder) {}
    ~worker_thread() override { wait_till_done(); }

  private:
    void run() override {
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
      folder_.thread_body();
    }
    library_folder_impl& folder_;
  };

  void stop() {
    abort_.raise();
    worker_.wait_till_done();
  }

  void close_directory() {
    if (directory_ != INVALID_HANDLE_VALUE) CloseHandle(directory_);
    directory_ = INVALID_HANDLE_VALUE;
  }

  void pass_done() {
    ready_ = true;
    owner_->set_scanning(false);
  }

  void thread_body() {
    owner_->set_scanning(true);
    for (;;) {
      try {
        mode_body();
        pass_done();
        return;
      } catch (const vantrel_io::exception_aborted&) {
        pass_done();
        return;
      } catch (const std::exception&) {
        // A missing, unreadable or deleted folder: try again later.
        close_directory();
        pass_done();
        if (!abort_.wait(error_retry_seconds)) return;
      }
    }
  }

  void mode_body() {
    if ((mode_ & mode_no_monitoring) == 0) {
      try {
        change_loop();
      } catch (const exception_win32& error) {
        if (!means_no_notifications(error.code())) throw;
        close_directory();
        polling_loop();
      }
      return;
    }
    retry_tick_ = GetTickCount() - retry_step_interval_ms;
    tree_.full_rescan(true);
    for (;;) {
      retry_step();
      if (tree_.nothing_pending()) return;
      abort_.sleep(1.0);
    }
  }

  void retry_step() {
    abort_.check_and_throw();
    if (GetTickCount() - retry_tick_ < retry_step_interval_ms) return;
    folder_change_batch batch(tree_);
    tree_.run_retry_queue(batch);
    tree_.flush(batch);
    tree_.deliver();
    retry_tick_ = GetTickCount();
  }

  void open_directory() {
    if (directory_ != INVALID_HANDLE_VALUE) return;
    qiv::string_buffer native;
    if (!vantrel_io::file_url_to_long_path(tree_.get_path().c_str(), native))
      throw vantrel_io::exception_io_no_handler_for_path();
    const text_or_resource_id wide(native.get_ptr());
    // Sharing deletion too: watching a folder must not stop the user from
    // deleting or renaming it.
    const HANDLE handle = CreateFileW(wide.get(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw exception_win32(GetLastError());
    directory_ = handle;
  }


  // The overlapped read in flight on the directory handle. Leaving cancels
  // it and waits until the system has let go of the buffer.
  class pending_read {
  public:
    explicit pending_read(HANDLE event) : event_(event) {}
    ~pending_read() { cancel(); }
    pending_read(const pending_read&) = delete;
    pending_read& operator=(const pending_read&) = delete;

    void issue(HANDLE directory, std::uint8_t* buffer, DWORD size) {
      overlapped_ = {};
      overlapped_.hEvent = event_;
      if (!ReadDirectoryChangesW(directory, buffer, size, TRUE, change_filter, nullptr, &overlapped_, nullptr))
        throw exception_win32(GetLastError());
      directory_ = directory;
    }
    // The bytes the completed read gave; 0 when the buffer overflowed.
    DWORD complete() {
      DWORD bytes = 0;
      const HANDLE directory = std::exchange(directory_, INVALID_HANDLE_VALUE);
      if (!GetOverlappedResult(directory, &overlapped_, &bytes, FALSE)) throw exception_win32(GetLastError());
      return bytes;
    }
    void cancel() noexcept {
      if (directory_ == INVALID_HANDLE_VALUE) return;
      CancelIo(directory_);
      DWORD bytes = 0;
      GetOverlappedResult(directory_, &overlapped_, &bytes, TRUE);
      directory_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE event_;
    HANDLE directory_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_ = {};
  };

  void change_loop() {
    open_directory();
    scoped_event read_done;
    pending_read read(read_done.get());
    DWORD liveness_tick = GetTickCount();
    retry_tick_ = GetTickCount() - retry_step_interval_ms;
    pending_old_name_.clear();
    removals_seen_ = false;
    bool rescan_once_watching = (mode_ & mode_no_first_scan) == 0;
    for (;;) {
      read.issue(directory_, change_buffer_, sizeof change_buffer_);
      if (rescan_once_watching) {
        rescan_once_watching = false;
        // Watching has begun, so nothing that changes during the scan is missed.
        tree_.full_rescan(true);
        // The files it found are read now, not after the first wait.
        retry_step();
        pass_done();
        liveness_tick = GetTickCount();
      }
      bool reopened = false;
      for (;;) {
        const HANDLE waits[2] = {read_done.get(), abort_.get_event()};
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, 250);
        if (result == WAIT_OBJECT_0 + 1) throw vantrel_io::exception_aborted();
        if (result == WAIT_TIMEOUT) {
          if (GetTickCount() - liveness_tick > liveness_interval_ms) {
            check_still_there();
            if (removals_seen_) {
              // A folder deleted while watched may live on, delete-pending,
              // for as long as our handle keeps it (Wine reports neither the
              // pending delete nor an end of the watch): let go of it and
              // open it again, which fails once it is gone.
              removals_seen_ = false;
              read.cancel();
              close_directory();
              open_directory();
              reopened = true;
              // The folder may have been made anew meanwhile: what changed
              // before the new watch began is only seen by a rescan.
              rescan_once_watching = true;
            }
            liveness_tick = GetTickCount();
          }
          if (!tag_write_scope::any_open()) handle_held_records();
          retry_step();
          pass_done();
          if (reopened) break;
          continue;
        }
        if (result != WAIT_OBJECT_0) throw exception_win32(GetLastError());
        break;
      }
      if (reopened) continue;
      liveness_tick = GetTickCount();
      const DWORD bytes = read.complete();
      if (bytes == 0) {
        // The buffer overflowed: the records are lost, and the rescan also
        // sees what the held ones named.
        held_records_.clear();
        tree_.full_rescan(true);
      } else if (tag_write_scope::any_open()) {
        // The files a tag write of ours changes are read after it anyway;
        // looking at each record now only competes with the write.
        hold_records(bytes);
        gather_write_records();
      } else {
        handle_held_records();
        handle_records(bytes);
      }
      retry_step();
      pass_done();
    }
  }

  void check_still_there() {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(directory_, &information)) throw exception_win32(GetLastError());
  }

  // Calls take(action, name) for each record of the completed read, in order.
  template <typename Take>
  void for_each_record(DWORD bytes, Take&& take) {
    DWORD offset = 0;
    qiv::string_buffer name_text;
    for (;;) {
      if (offset + sizeof(FILE_NOTIFY_INFORMATION) > bytes) break;
      const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(change_buffer_ + offset);
      const std::size_t units = record->FileNameLength / sizeof(wchar_t);
      if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + units * sizeof(wchar_t) > bytes) break;
      wide_to_utf8(record->FileName, units, name_text);
      take(record->Action, std::string(name_text.get_ptr(), name_text.get_length()));
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
  }

  void handle_records(DWORD bytes) {
    for_each_record(bytes, [this](DWORD action, std::string name) { handle_record(action, name); });
  }

  // Kept in order until the write is over. A write changes a file in several
  // steps, each a record of its own: one of a run of modifications of one
  // file is enough.
  void hold_records(DWORD bytes) {
    for_each_record(bytes, [this](DWORD action, std::string name) {
      if (action == FILE_ACTION_MODIFIED && !held_records_.empty() && held_records_.back().action == action &&
          held_records_.back().name == name)
        return;
      held_records_.push_back(change_record{action, std::move(name)});
    });
  }

  void handle_held_records() {
    if (held_records_.empty()) return;
    std::vector<change_record> held = std::move(held_records_);
    held_records_.clear();
    for (const change_record& record : held) handle_record(record.action, record.name);
  }

  // Until the next read is issued, the records of the write's next files
  // wait in the system; the pause ends early when the write does.
  void gather_write_records() {
    for (int slice = 0; slice < 5 && tag_write_scope::any_open(); ++slice) abort_.sleep(write_gather_seconds / 5);
  }

  void handle_record(DWORD action, const std::string& name) {
    folder_change_batch batch(tree_);
    DWORD attributes = 0;
    switch (action) {
      case FILE_ACTION_ADDED:
        if (read_attributes(name, attributes)) tree_.add(batch, name, attributes);
        break;
      case FILE_ACTION_REMOVED:
        removals_seen_ = true;
        tree_.retry_remove(name);
        tree_.remove(batch, name);
        break;
      case FILE_ACTION_MODIFIED:
        if (read_attributes(name, attributes)) tree_.modify(batch, name, attributes);
        break;
      case FILE_ACTION_RENAMED_OLD_NAME:
        pending_old_name_ = name;  // the new name may come in the next buffer
        break;
      case FILE_ACTION_RENAMED_NEW_NAME: {
        if (pending_old_name_.empty()) throw qiv::exception_bug_check_v2();
        const std::string old_name = std::move(pending_old_name_);
        pending_old_name_.clear();
        if (!read_attributes(name, attributes)) break;
        // Wine reports a file or folder moved between two folders of the
        // watched tree as a rename, which the tree makes only within one
        // folder: the move leaves one folder and enters the other.
        if (in_same_folder(old_name, name)) {
          tree_.rename(batch, old_name, name, attributes);
        } else {
          tree_.retry_remove(old_name);
          tree_.remove(batch, old_name);
          tree_.add(batch, name, attributes);
        }
        break;
      }
      default:
        break;
    }
    tree_.flush(batch);
  }

  // False when the attributes cannot be had and the tree does not know the
  // path: the record is skipped until a rescan finds it.
  bool read_attributes(const std::string& name, DWORD& out) {
    qiv::string_buffer native;
    if (!vantrel_io::file_url_to_long_path(tree_.full_path(name).c_str(), native)) {
      out = 0;
      return true;
    }
    const text_or_resource_id wide(native.get_ptr());
    const DWORD start = GetTickCount();
    for (;;) {
      const DWORD attributes = GetFileAttributesW(wide.get());
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        out = attributes;
        return true;
      }
      if (GetLastError() != ERROR_SHARING_VIOLATION) return tree_.known_attributes(name, out);
      if (GetTickCount() - start >= attribute_sharing_wait_ms) {
        // Let the retry set read it once the other program lets go.
        if (!tree_.known_attributes(name, out)) out = FILE_ATTRIBUTE_NORMAL;
        return true;
      }
      abort_.sleep(0.01);
    }
  }

  void polling_loop() {
    retry_tick_ = GetTickCount() - retry_step_interval_ms;
    DWORD scan_start = GetTickCount();
    tree_.full_rescan();
    DWORD scan_end = GetTickCount();
    for (;;) {
      const DWORD interval = std::max<DWORD>(60000, 20 * (scan_end - scan_start));
      if (GetTickCount() - scan_end >= interval) {
        scan_start = GetTickCount();
        tree_.full_rescan();
        scan_end = GetTickCount();
      }
      retry_step();
      pass_done();
      abort_.sleep(1.0);
    }
  }

  HANDLE directory_ = INVALID_HANDLE_VALUE;
  alignas(DWORD) std::uint8_t change_buffer_[65536];
  service_ptr<library_folder_sink> owner_;
  raisable_abort_signal abort_;
  folder_tree tree_;
  std::atomic<bool> ready_{false};
  std::uint32_t mode_;
  DWORD retry_tick_ = 0;
  std::string pending_old_name_;
  bool removals_seen_ = false;
  struct change_record {
    DWORD action;
    std::string name;
  };
  std::vector<change_record> held_records_;
  worker_thread worker_{*this};
};

}  // namespace

namespace folder_monitor {

library_folder_ptr create(library_folder_sink* owner, const char* path, vantrel_io::file_object* blob,
                          std::uint32_t mode, track_handle_list& restored) {
  service_ptr<service_counted<library_folder_impl>> folder(new service_counted<library_folder_impl>(owner, path, mode));
  if (blob != nullptr) folder->restore(*blob, restored);
  folder->start();
  return library_folder_ptr(folder.get());
}

}  // namespace folder_monitor
