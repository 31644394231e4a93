#include "metadata/metadata_io.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "core/failure_text.h"
#include "core/io_exception_base.h"
#include "core/localized_text.h"
#include "core/popup_message.h"
#include "core/service_registry.h"
#include "core/tag_service.h"
#include "foundation/cpu_count.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/named_lock.h"
#include "io/retag_through_temp_file.h"
#include "io/path_schemes.h"
#include "metadata/info_reader_cache.h"
#include "metadata/input_dispatch.h"
#include "metadata/test_commit_failure.h"
#include "metadata/track_info.h"
#include "metadata/track_info_listener.h"

namespace {

const char* error_fallback(const char* error_id) {
  if (std::strcmp(error_id, "error_info_load") == 0) return "Could not load information ({error}) from:";
  if (std::strcmp(error_id, "error_info_write") == 0) return "Could not write information ({error}) to:";
  return "Could not remove tags ({error}) from:";
}

// The English texts of a failure to store what was read, one for each state
// the operation left the files in.
const char* store_failure_fallback(const char* text_id) {
  struct text {
    const char* id;
    const char* english;
  };
  static const text texts[] = {
      {"error_info_store_written", "Your changes were written to every file."},
      {"error_info_store_partly_written", "Your changes were written to every file except those the other message lists."},
      {"error_info_store_stopped_write",
       "The writing was stopped: your changes were written only to the files it reached before then, except any "
       "another message lists as failed; the other files are unchanged."},
      {"error_info_store_removed", "The tags were removed from every file."},
      {"error_info_store_partly_removed", "The tags were removed from every file except those the other message lists."},
      {"error_info_store_stopped_removal",
       "The removal was stopped: the tags were removed only from the files it reached before then, except any "
       "another message lists as failed; the other files keep theirs."},
  };
  for (const text& each : texts)
    if (std::strcmp(each.id, text_id) == 0) return each.english;
  return "This changed no file.";
}

// The tags some programs put before and after any format's own data (ID3v2
// at the start, APEv2 and ID3v1 at the end); the input that opens the file
// afterwards never sees them. Half-done stripping would lose the file, so it
// does not stop for the abort.
void strip_raw_tags(const char* path) {
  const abort_signal& never = never_raised_abort_signal();
  vantrel_io::file_ptr file;
  vantrel_io::open(file, path, vantrel_io::open_mode::write_existing, never);
  // Through a temporary file: a crash while the rest of the file moves up
  // must not leave it half-moved. The copy leaves the trailing tags out as
  // well, so that no moment shows one kind gone and the other still there;
  // without leading tags they go by one cut.
  retag_through_temp_file rewrite(path);
  std::uint64_t leading_length = 0;
  std::uint64_t trailing_start = ~std::uint64_t(0);
  try {
    track_info_impl trailing;
    service_lookup_unique_t<tag_service>()->read_ex(*file, trailing, trailing_start, never);
  } catch (const vantrel_io::exception_io_data&) {
    // None, or none readable: the cut below deals with them as before.
    trailing_start = ~std::uint64_t(0);
  }
  id3v2_strip_leading_tags(file, rewrite, leading_length, never, trailing_start);
  rewrite.commit(file, never);
  service_lookup_unique_t<tag_service>()->remove(*file, never);
}

// A remote file is never fetched just to refresh its tags. A path that no
// scheme claims is not known to be remote: its open fails and is reported.
bool is_remote_file(const char* path) {
  vantrel_io::scheme_handler_ptr handler;
  return vantrel_io::find_scheme_handler(path, handler) && handler->is_remote(path);
}

// The file has changed: its handles must learn so even if the user aborts
// right now. Its stats are read once the writer has closed it, which
// settles the file's time on every system; asked of the open handle, the
// time would first need the written data flushed to disk, which costs a tag
// update of many files dearly. Unknown stats, should the file be gone
// already, only make the library read it again.
template <class Reader>
void add_written_file(info_batch& batch, const char* path, service_ptr<Reader>& writer) {
  info_batch::subsong_infos infos;
  info_batch::read_subsong_infos(path, *writer, infos, never_raised_abort_signal());
  writer.reset();
  vantrel_io::file_stats stats;
  try {
    bool writable = false;
    vantrel_io::get_stats(path, stats, writable, never_raised_abort_signal());
  } catch (const std::exception&) {
    stats = vantrel_io::file_stats();
  }
  batch.add_subsongs(infos, stats);
}

// The same for a write whose new tags took effect before a later step
// failed: its tracks show what the file now holds, read afresh when the
// writer lost its hold on the file. The later failure is the one reported.
void add_file_written_before_failure(info_batch& batch, const char* path, info_writer_ptr& writer) noexcept {
  try {
    add_written_file(batch, path, writer);
    return;
  } catch (const std::exception&) {
  }
  writer.reset();
  try {
    info_reader_ptr reader;
    input_dispatch::open_info_reader(reader, vantrel_io::file_ptr(), path, never_raised_abort_signal());
    add_written_file(batch, path, reader);
  } catch (const std::exception&) {
  }
}

}  // namespace

std::uint32_t metadata_progress_flags(std::uint32_t operation_flags) noexcept {
  std::uint32_t flags = threaded_process::flag_show_abort | threaded_process::flag_show_progress |
                        threaded_process::flag_show_item;
  if (operation_flags & metadata_flag_delayed) {
    flags |= threaded_process::flag_show_delayed | threaded_process::flag_no_focus;
  } else if (operation_flags & metadata_flag_no_focus) {
    flags |= threaded_process::flag_no_focus;
  }
  return flags;
}

void metadata_error_report(const char* error_id, const std::vector<metadata_error>& errors, qiv::string_object& out) {
  out.set_string("");
  qiv::string_buffer line;
  qiv::string_buffer where;
  for (const metadata_error& error : errors) {
    localized_values values;
    values.find_or_add(qiv::string_small("error"), qiv::string_small(error.message.c_str()));
    if (error.written) {
      // "Could not write" would deny a write that took effect.
      line.set_string(error.message.c_str());
    } else if (!localized_text_format(error_id, values, line)) {
      // The English text, with its placeholder filled in the same way.
      std::string text = error_fallback(error_id);
      text.replace(text.find("{error}"), 7, error.message);
      line.set_string(text.c_str());
    }
    out.add_string(line.get_ptr());
    out.add_string("\r\n");
    location_display_text(error.handle.get(), where);
    out.add_string(where.get_ptr());
    out.add_string("\r\n\r\n");
  }
}

metadata_operation::metadata_operation(const track_handle_list& handles, std::uint32_t flags, info_hook* hook,
                                       metadata_completion* completion, const char* error_id)
    : handles_(handles), batch_(hook), hook_(hook), flags_(flags), completion_(completion), error_id_(error_id) {
  // Subsongs of one file stand together, so each file is opened once.
  std::stable_sort(handles_.begin(), handles_.end(), [](const track_handle_ptr& a, const track_handle_ptr& b) {
    return compare_handles_by_path(a, b) < 0;
  });
}

void metadata_operation::add_error(const track_handle_ptr& handle, const char* message) {
  errors_.push_back(metadata_error{handle, message ? message : ""});
}

void metadata_operation::add_group_error(std::size_t first, std::size_t end, const char* message, bool written) {
  for (std::size_t i = first; i < end; ++i) {
    add_error(handles_[i], message);
    errors_.back().written = written;
  }
}

std::size_t metadata_operation::group_end(std::size_t first) const {
  const char* path = handles_[first]->get_location().get_path();
  std::size_t end = first + 1;
  while (end < handles_.size() && std::strcmp(handles_[end]->get_location().get_path(), path) == 0) ++end;
  return end;
}

void metadata_operation::set_file_progress(threaded_process_status& status, std::size_t index) const {
  status.set_progress(static_cast<std::uint32_t>(
      static_cast<std::uint64_t>(index) * threaded_process_status::progress_max / handles_.size()));
  status.set_item_path(handles_[index]->get_location().get_path(), ~std::size_t(0));
}

void metadata_operation::for_each_file_locked(threaded_process_status& status, const abort_signal& abort,
                                              std::uint32_t writers, std::uint32_t threads,
                                              const file_write_function& write_file) {
  writing_.emplace();
  written_before_failure_.assign(handles_.size(), 0);
  std::vector<std::size_t> firsts;
  for (std::size_t first = 0; first < handles_.size(); first = group_end(first)) firsts.push_back(first);
  const std::size_t files = firsts.size();
  firsts.push_back(handles_.size());
  std::vector<std::uint8_t> done(files, 0);
  std::vector<info_batch> batches;
  for (std::uint32_t i = 0; i < std::max<std::uint32_t>({writers, threads, 1}); ++i) batches.emplace_back(hook_.get());

  parallel_file_writes job;
  job.count = files;
  job.writers = writers;
  job.threads = threads;
  job.path_of = [&](std::size_t file) { return handles_[firsts[file]]->get_location().get_path(); };
  job.starting = [&](std::size_t file) { set_file_progress(status, firsts[file]); };
  job.write = [&](std::size_t file, std::uint32_t writer, file_turn& turn) {
    const char* path = handles_[firsts[file]]->get_location().get_path();
    service_ptr<named_lock> lock;
    named_lock::acquire_exclusive(lock, path, abort);
    write_file(firsts[file], firsts[file + 1], path, batches[writer], turn);
    done[file] = 1;
  };
  std::vector<std::optional<std::string>> errors;
  std::exception_ptr failure;
  try {
    write_files(job, abort, errors);
  } catch (...) {
    failure = std::current_exception();
  }
  // Files written before an abort have changed: their tracks must learn so.
  for (info_batch& batch : batches) batch.move_into(batch_);
  files_ = files;
  for (std::size_t file = 0; file < files; ++file)
    if (done[file] || written_before_failure_[firsts[file]]) ++files_done_;
  for (std::size_t file = 0; file < errors.size(); ++file)
    if (errors[file])
      add_group_error(firsts[file], firsts[file + 1], errors[file]->c_str(), written_before_failure_[firsts[file]] != 0);
  if (failure) std::rethrow_exception(failure);
}

void metadata_operation::run(threaded_process_status& status, const abort_signal& abort) {
  try {
    run_files(status, abort);
  } catch (const vantrel_io::exception_aborted&) {
    throw;
  } catch (...) {
    // Said by the progress dialog; the caller must not hear of a success.
    stopped_ = true;
    throw;
  }
}

void metadata_operation::on_done(HWND, bool was_aborted) {
  // What was read before an abort still reaches the handles. Storing it can
  // run out of memory on a large selection: the files are as the run left
  // them, the user is told so, and the caller still hears how it ended.
  const files_outcome files = outcome_of_files();
  const bool reached_every_file = !was_aborted && !stopped_;
  bool stored = true;
  try {
    fail_storing_info_if_asked();
    batch_.commit();
  } catch (const std::exception& error) {
    stored = false;
    if (!(flags_ & metadata_flag_no_error_popup))
      show_store_failure(error, store_failure_text_id(files, !reached_every_file));
  }
  writing_.reset();
  if (!(flags_ & metadata_flag_no_error_popup) && !errors_.empty()) show_error_report();
  const bool failed = !stored || stopped_ || !errors_.empty();
  std::uint32_t code = metadata_completion::code_success;
  if (files == files_outcome::none && (failed || was_aborted)) code = metadata_completion::code_nothing_changed;
  else if (was_aborted) code = metadata_completion::code_aborted;
  else if (stopped_ || !errors_.empty()) code = metadata_completion::code_failures;
  else if (!stored) code = files == files_outcome::all ? metadata_completion::code_files_done_not_stored
                                                      : metadata_completion::code_failures;
  report(code);
}

metadata_operation::files_outcome metadata_operation::outcome_of_files() const noexcept {
  if (!writing_) return files_outcome::not_a_write;
  if (files_done_ == 0) return files_outcome::none;
  return files_done_ == files_ ? files_outcome::all : files_outcome::some;
}

const char* metadata_operation::store_failure_text_id(files_outcome, bool) const { return "error_info_store"; }

void metadata_operation::show_error_report() const noexcept {
  try {
    qiv::string_buffer text;
    metadata_error_report(error_id_, errors_, text);
    qiv::string_buffer caption;
    localized_text::get_or("dialog_information", "Information", caption);
    popup_message_show(text.get_ptr(), caption.get_ptr());
  } catch (const std::exception&) {
    // No memory even for the list: the debugger output takes none of ours.
    OutputDebugStringA("The metadata operation's error report could not be shown.\n");
  }
}

void metadata_operation::show_store_failure(const std::exception& error, const char* text_id) const noexcept {
  try {
    localized_values values;
    qiv::string_buffer reason;
    failure_text(error, reason);
    values.find_or_add(qiv::string_small("error"), qiv::string_small(reason.get_ptr()));
    qiv::string_buffer text;
    if (!localized_text_format(text_id, values, text)) {
      text.set_string("The information read from the files could not be stored in every track (");
      text.add_c_str(reason.get_ptr());
      text.add_c_str("); lists may still show some tracks as they were. ");
      text.add_c_str(store_failure_fallback(text_id));
    }
    qiv::string_buffer caption;
    localized_text::get_or("dialog_information", "Information", caption);
    popup_message_show(text.get_ptr(), caption.get_ptr());
  } catch (const std::exception&) {
    OutputDebugStringA("The information read could not be stored in every track.\n");
  }
}

void metadata_operation::report(std::uint32_t code) {
  service_ptr<metadata_completion> completion = std::move(completion_);
  if (completion) completion->on_completion(code);
}

metadata_load_operation::metadata_load_operation(const track_handle_list& handles, metadata_load_mode mode,
                                                 std::uint32_t flags, info_hook* hook, metadata_completion* completion)
    : metadata_operation(handles, flags, hook, completion, "error_info_load"), mode_(mode) {}

void metadata_load_operation::run_files(threaded_process_status& status, const abort_signal& abort) {
  qiv::string_buffer out_of_memory;
  not_enough_memory_text(out_of_memory);
  info_reader_cache cache;
  for (std::size_t i = 0; i < handles_.size(); ++i) {
    const track_handle_ptr& handle = handles_[i];
    abort.check_and_throw();
    if (handles_.size() > 1) set_file_progress(status, i);
    else status.set_item_path(handle->get_location().get_path(), ~std::size_t(0));

    const char* path = handle->get_location().get_path();
    bool has_info = false;
    vantrel_io::file_stats cached_stats;
    {
      track_info_lock lock;
      has_info = handle->has_info();
      cached_stats.timestamp = handle->get_info_timestamp();
    }
    const bool wanted = !is_remote_file(path) && (!has_info || mode_ != metadata_load_mode::missing_only);
    abort.check_and_throw();
    if (!wanted) continue;

    try {
      track_info_impl info;
      vantrel_io::file_stats stats = cached_stats;
      if (mode_ == metadata_load_mode::missing_or_changed && has_info) {
        if (!cache.read_info_if_changed(handle->get_location(), info, stats, abort)) continue;
      } else {
        cache.read_info(handle->get_location(), info, stats, abort);
      }
      batch_.add(handle, info, stats, true);
    } catch (const vantrel_io::exception_aborted&) {
      throw;
    } catch (const std::bad_alloc&) {
      // The runtime's text means nothing to a user.
      add_error(handle, out_of_memory.get_ptr());
    } catch (const std::exception& error) {
      add_error(handle, error.what());
    }
  }
  cache.close();
}

metadata_update_operation::metadata_update_operation(const track_handle_list& handles, info_update_filter* filter,
                                                     std::uint32_t flags, info_hook* hook,
                                                     metadata_completion* completion)
    : metadata_operation(handles, flags, hook, completion, "error_info_write"), filter_(filter) {}

void metadata_update_operation::get_description(qiv::string_object& out) {
  localized_text::get_or("dialog_title_update_info", "Updating Files", out);
}

std::uint32_t metadata_update_operation::writer_count() { return std::min<std::uint32_t>(3, qiv::cpu_count()); }

std::uint32_t metadata_update_operation::thread_count() {
  return std::max(writer_count(), std::min<std::uint32_t>(16, qiv::cpu_count()));
}

const char* metadata_update_operation::store_failure_text_id(files_outcome outcome, bool stopped) const {
  if (outcome == files_outcome::none) return "error_info_store";
  if (stopped) return "error_info_store_stopped_write";
  return outcome == files_outcome::all ? "error_info_store_written" : "error_info_store_partly_written";
}

void metadata_update_operation::run_files(threaded_process_status& status, const abort_signal& abort) {
  const abort_signal& never = never_raised_abort_signal();
  for_each_file_locked(status, abort, writer_count(), thread_count(),
                       [&](std::size_t first, std::size_t end, const char* path, info_batch& batch, file_turn& turn) {
    info_writer_ptr writer;
    input_dispatch::open_info_writer_with_retry(writer, vantrel_io::file_ptr(), path, abort, sharing_timeout_seconds);
    const vantrel_io::file_stats stats = writer->get_file_stats(abort);
    bool changed = false;
    for (std::size_t i = first; i < end; ++i) {
      const std::uint32_t subsong = handles_[i]->get_location().get_subsong();
      track_info_impl info;
      writer->get_info(subsong, info, never);
      // The filter sees the tracks in list order, one at a time, and an
      // abort leaves every later file as it was: only what the earlier
      // files have passed the filter for is written.
      if (i == first) {
        turn.wait();
        abort.check_and_throw();
      }
      const bool wanted = filter_ && filter_->update(handles_[i], stats, info);
      if (i + 1 == end) turn.end();
      if (wanted) {
        writer->set_info(subsong, info, never);
        changed = true;
      }
    }
    // A file whose last write stopped after its new tags took effect is
    // written again though no value changed: that finishes the tidying.
    if (!changed && !writer->has_unfinished_write()) {
      batch.read_all_subsongs(path, *writer, never);
      return;
    }
    try {
      writer->commit(never);
    } catch (const vantrel_io::exception_io_after_tags_written&) {
      add_file_written_before_failure(batch, path, writer);
      note_written_before_failure(first);
      throw;
    }
    add_written_file(batch, path, writer);
  });
}

metadata_remove_operation::metadata_remove_operation(const track_handle_list& handles, std::uint32_t flags,
                                                     info_hook* hook, metadata_completion* completion)
    : metadata_operation(handles, flags, hook, completion, "error_info_remove") {}

void metadata_remove_operation::get_description(qiv::string_object& out) {
  localized_text::get_or("dialog_title_remove_tags", "Removing Tags", out);
}

const char* metadata_remove_operation::store_failure_text_id(files_outcome outcome, bool stopped) const {
  if (outcome == files_outcome::none) return "error_info_store";
  if (stopped) return "error_info_store_stopped_removal";
  return outcome == files_outcome::all ? "error_info_store_removed" : "error_info_store_partly_removed";
}

void metadata_remove_operation::run_files(threaded_process_status& status, const abort_signal& abort) {
  const abort_signal& never = never_raised_abort_signal();
  for_each_file_locked(status, abort, 1, 1,
                       [&](std::size_t first, std::size_t end, const char* path, info_batch& batch, file_turn&) {
    // A file of a format no input takes is left exactly as it is: its tags
    // are not stripped only to report then that it cannot be handled.
    claimant_list claimants;
    if (!input_dispatch::collect_by_path(claimants, path, false)) throw vantrel_io::exception_io_unsupported_format();
    strip_raw_tags(path);
    info_writer_ptr writer;
    input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(), path, abort);
    if (service_ptr<info_writer_ext> stripper = service_query<info_writer_ext>(writer.get())) {
      stripper->remove_tags(never);
    } else {
      bool changed = false;
      for (std::size_t i = first; i < end; ++i) {
        const std::uint32_t subsong = handles_[i]->get_location().get_subsong();
        track_info_impl info;
        writer->get_info(subsong, info, never);
        if (info.field_count() > 0 || replaygain_count_present(info.get_replaygain()) > 0) {
          info.clear_replaygain();
          info.remove_all_fields();
          writer->set_info(subsong, info, never);
          changed = true;
        }
      }
      if (changed) writer->commit(never);
    }
    add_written_file(batch, path, writer);
  });
}
