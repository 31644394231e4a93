// Reading tags into the cached info of many tracks, writing edited info back
// into their files, and stripping their tags: each runs on a worker behind a
// modeless progress dialog, locks every file it touches, keeps going past
// per-file failures, shows them in one popup at the end and tells an
// optional completion object how it went, on the main thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/service_object.h"
#include "core/threaded_process.h"
#include "io/file_object.h"
#include "metadata/decoder_service.h"
#include "metadata/active_tasks.h"
#include "metadata/info_batch.h"
#include "metadata/parallel_file_writes.h"
#include "metadata/tag_writes_in_progress.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"

// Told once, on the main thread, how an operation ended.
class metadata_completion : public service_object {
public:
  static constexpr GUID class_guid = {0x5B0E7C31, 0x2D4A, 0x4F8E, {0x9A, 0x61, 0x3C, 0x7D, 0x18, 0xE2, 0x4B, 0x90}};
  using service_parent = service_object;
  enum : std::uint32_t {
    code_success = 0,
    code_aborted = 1,
    code_failures = 2,
    // A write or tag removal that failed or stopped before changing any file.
    code_nothing_changed = 3,
    // Every file was written (or stripped), but what was read back could
    // not be stored in every track: the files hold the operation's result.
    code_files_done_not_stored = 4,
  };
  virtual void on_completion(std::uint32_t code) = 0;
};

// Edits the info read from a file before an update writes it back; answers
// whether this track's info is to be written. Runs on the worker thread.
class info_update_filter : public service_object {
public:
  static constexpr GUID class_guid = {0x9F3A2B64, 0x71C0, 0x4E25, {0x8D, 0x1B, 0x6E, 0x52, 0xA9, 0x0C, 0x37, 0xD4}};
  using service_parent = service_object;
  virtual bool update(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, track_info& info) = 0;
};

// Caller's flags for the operations.
enum : std::uint32_t {
  metadata_flag_no_error_popup = 0x1,
  metadata_flag_no_focus = 0x2,
  metadata_flag_delayed = 0x4,
};

// Which handles a load reads.
enum class metadata_load_mode : std::uint32_t {
  missing_only = 0,
  all = 1,
  all_forced = 2,
  missing_or_changed = 3,
};

// The progress dialog's flags for the caller's operation flags.
std::uint32_t metadata_progress_flags(std::uint32_t operation_flags) noexcept;

struct metadata_error {
  track_handle_ptr handle;
  std::string message;
  // The file's new tags took effect before a later step failed: the message
  // (exception_io_after_tags_written's) says so, and the track shows them.
  bool written = false;
};

// The popup text: for each failure the text of `error_id` with the message
// filled in (a write that took effect: the message alone), a line break, the
// track's display text and a blank line.
void metadata_error_report(const char* error_id, const std::vector<metadata_error>& errors, qiv::string_object& out);

// What the three operations share: the sorted list, the batch of info read,
// the error list, and the end (commit, popup, completion) on the main thread.
class metadata_operation : public threaded_process_callback {
public:
  void run(threaded_process_status& status, const abort_signal& abort) final;
  void on_done(HWND dialog, bool was_aborted) override;
  const std::vector<metadata_error>& get_errors() const noexcept { return errors_; }
  const info_batch& get_batch() const noexcept { return batch_; }

protected:
  metadata_operation(const track_handle_list& handles, std::uint32_t flags, info_hook* hook,
                     metadata_completion* completion, const char* error_id);
  void add_error(const track_handle_ptr& handle, const char* message);
  // Records every failure but the abort for the handles [first, end).
  void add_group_error(std::size_t first, std::size_t end, const char* message, bool written = false);
  // The end of the run of handles whose path equals that of handles_[first].
  std::size_t group_end(std::size_t first) const;
  void set_file_progress(threaded_process_status& status, std::size_t index) const;
  // Calls write_file(first, end, path, batch, turn) once per file, a run
  // [first, end) of handles with one path, while holding that file's writer
  // lock, on up to `writers` threads at once, and on up to `threads` while
  // some wait for the disk; the info a file's write reads
  // goes into `batch`, which reaches the operation's batch in the end, and
  // `turn` orders what must follow the list. A failure becomes the error of
  // each of the file's tracks, in list order (marked written where the
  // write called note_written_before_failure(first)), and the next file
  // follows; an
  // abort takes no further file and ends the operation once the files being
  // written are done.
  using file_write_function = std::function<void(std::size_t, std::size_t, const char*, info_batch&, file_turn&)>;
  void for_each_file_locked(threaded_process_status& status, const abort_signal& abort, std::uint32_t writers,
                            std::uint32_t threads, const file_write_function& write_file);
  // From a file's write, on its thread: its new tags took effect before the
  // failure it is about to throw.
  void note_written_before_failure(std::size_t first) { written_before_failure_[first] = 1; }
  track_handle_list handles_;
  info_batch batch_;

  // The operation's own work, on the worker.
  virtual void run_files(threaded_process_status& status, const abort_signal& abort) = 0;

  // How many of the files an operation went through hold its result.
  enum class files_outcome { not_a_write, none, some, all };
  // The text that says a failure to store what was read, and what that left
  // the files as; `stopped`: the run did not reach every file.
  virtual const char* store_failure_text_id(files_outcome outcome, bool stopped) const;

private:
  void report(std::uint32_t code);
  void show_error_report() const noexcept;
  void show_store_failure(const std::exception& error, const char* text_id) const noexcept;
  files_outcome outcome_of_files() const noexcept;

  service_ptr<info_hook> hook_;
  // Open from the first write until the written files' info has reached
  // their tracks.
  std::optional<tag_write_scope> writing_;
  std::uint32_t flags_;
  std::vector<metadata_error> errors_;
  // Per handle, set at a file's first: each file's write sets only its own.
  std::vector<std::uint8_t> written_before_failure_;
  // The files a write or removal went through, and those that hold its
  // result: written (also where a later step failed), stripped, or needing
  // no change.
  std::size_t files_ = 0;
  std::size_t files_done_ = 0;
  service_ptr<metadata_completion> completion_;
  const char* error_id_;
  // The run ended with a failure of its own, not one file's.
  bool stopped_ = false;
};

class metadata_load_operation : public metadata_operation {
public:
  metadata_load_operation(const track_handle_list& handles, metadata_load_mode mode, std::uint32_t flags,
                          info_hook* hook, metadata_completion* completion);
  void run_files(threaded_process_status& status, const abort_signal& abort) override;

private:
  metadata_load_mode mode_;
};

// Listed as "Updating Files" in the close confirmation while it lives.
class metadata_update_operation : public metadata_operation, private registered_close_guard {
public:
  metadata_update_operation(const track_handle_list& handles, info_update_filter* filter, std::uint32_t flags,
                            info_hook* hook, metadata_completion* completion);
  void run_files(threaded_process_status& status, const abort_signal& abort) override;
  void get_description(qiv::string_object& out) override;
  const char* store_failure_text_id(files_outcome outcome, bool stopped) const override;

  // How long the writer's open waits while another process holds the file.
  static constexpr double sharing_timeout_seconds = 0.5;
  // Files written at once, not counting those being copied or flushed.
  static std::uint32_t writer_count();
  // Files in hand at once, counting those whose new copy is being made and
  // put down on disk before it replaces the file, and those waiting for a
  // flush: that is mostly the system's work, and several copies together
  // cost little more than one. No more than the processors (unless the
  // writers are more), and at most 16: copies that end together put every
  // such thread to work at once.
  static std::uint32_t thread_count();

private:
  service_ptr<info_update_filter> filter_;
};

// Listed as "Removing Tags" in the close confirmation while it lives.
class metadata_remove_operation : public metadata_operation, private registered_close_guard {
public:
  metadata_remove_operation(const track_handle_list& handles, std::uint32_t flags, info_hook* hook,
                            metadata_completion* completion);
  void run_files(threaded_process_status& status, const abort_signal& abort) override;
  void get_description(qiv::string_object& out) override;
  const char* store_failure_text_id(files_outcome outcome, bool stopped) const override;
};
