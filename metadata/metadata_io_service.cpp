#include "metadata/metadata_io_service.h"

#include <algorithm>

#include "core/localized_text.h"
#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "core/service_registry.h"
#include "core/threaded_process.h"
#include "foundation/crash.h"
#include "foundation/main_thread.h"
#include "foundation/string_buffer.h"
#include "foundation/system_time.h"
#include "metadata/path_expansion.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"

namespace {

// Tells a completion object how an operation that never ran ended, on a
// later turn of the main loop, as it would hear of a real operation.
class completion_call : public main_thread_callback {
public:
  completion_call(metadata_completion* completion, std::uint32_t code) : completion_(completion), code_(code) {}
  void run() override { completion_->on_completion(code_); }

private:
  service_ptr<metadata_completion> completion_;
  std::uint32_t code_;
};

void post_completion(metadata_completion* completion, std::uint32_t code) {
  if (completion) main_thread_queue::post(new service_counted<completion_call>(completion, code));
}

void start(metadata_operation* operation, metadata_completion* completion, const char* title_id,
           const char* title_fallback, HWND parent, std::uint32_t flags) {
  service_ptr<threaded_process_callback> hold(operation);
  qiv::string_buffer title;
  localized_text::get_or(title_id, title_fallback, title);
  try {
    threaded_process::get().run_modeless(operation, metadata_progress_flags(flags), parent, title.get_ptr());
  } catch (...) {
    // No dialog, no run: the caller still hears of its operation once.
    post_completion(completion, metadata_completion::code_failures);
    throw;
  }
}

// Receives the walk of resolve_path: every handle goes to the caller's list,
// and a handle whose file was read takes the info unless its own is newer.
class resolving_sink final : public location_sink {
public:
  resolving_sink(track_handle_list& out, track_handle_list& changed) : out_(out), changed_(changed) {}

  std::int32_t release() noexcept override { return 1; }
  std::int32_t add_ref() noexcept override { return 1; }
  bool query(service_handle&, const GUID&) noexcept override { return false; }

  void on_path(const char*) override {}
  bool wants_file(const char*, bool) override { return true; }
  void make_handle(track_handle_ptr& out, const track_location& location) override {
    track_handle_registry::get_handle(out, location);
  }
  // Cached info is current when it was read from the file as it is now.
  bool wants_info(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, bool) override {
    track_info_lock lock;
    return !handle->has_info() || stats.timestamp == vantrel_io::filetime_unknown ||
           handle->get_info_timestamp() != stats.timestamp;
  }
  void add(const track_handle_ptr& handle, const vantrel_io::file_stats&, bool) override { out_.push_back(handle); }
  void add_with_info(const track_handle_ptr& handle, const vantrel_io::file_stats& stats, const track_info& info,
                     bool fresh) override {
    track_display_info record;
    record.fill_from(info);
    if (handle->set_info(record, stats.timestamp, fresh ? qiv::system_time_now() : 0, false)) changed_.push_back(handle);
    out_.push_back(handle);
  }

private:
  track_handle_list& out_;
  track_handle_list& changed_;
};

class metadata_io_service_impl : public metadata_io_service {
public:
  static bool answers_extension(const GUID& guid) noexcept { return guid == playback_guid || guid == extended_guid; }

  void resolve_path(const char* path, track_handle_list& out) override {
    require_main_thread();
    track_handle_list changed;
    resolving_sink sink(out, changed);
    bool found = false;
    try {
      path_expansion::expand(path, sink, never_raised_abort_signal(), found);
    } catch (const std::exception&) {
      // What the walk found before it failed still counts; the caller sees
      // the failure as tracks missing from the list.
    }
    track_info_publish(changed, 0);
  }

  void announce_info_change(const track_handle_list& handles) override {
    require_main_thread();
    track_info_publish(handles, 1);
  }

  void load_info_async(const track_handle_list& handles, metadata_load_mode mode, HWND parent, std::uint32_t flags,
                       info_hook* hook, metadata_completion* completion) override {
    require_main_thread();
    if (!handles.empty() && static_cast<std::uint32_t>(mode) > 3) qiv::crash();
    bool needed = !handles.empty();
    if (needed && mode == metadata_load_mode::missing_only) {
      track_info_lock lock;
      needed = std::any_of(handles.begin(), handles.end(), [](const track_handle_ptr& h) { return !h->has_info(); });
    }
    if (!needed) {
      post_completion(completion, metadata_completion::code_success);
      return;
    }
    start(new service_counted<metadata_load_operation>(handles, mode, flags, hook, completion), completion,
          "dialog_title_load_info", "Loading Information", parent, flags);
  }

  void update_info_async(const track_handle_list& handles, info_update_filter* filter, HWND parent,
                         std::uint32_t flags, info_hook* hook, metadata_completion* completion) override {
    require_main_thread();
    start(new service_counted<metadata_update_operation>(handles, filter, flags, hook, completion), completion,
          "dialog_title_update_info", "Updating Files", parent, flags);
  }

  void remove_info_async(const track_handle_list& handles, HWND parent, std::uint32_t flags, info_hook* hook,
                         metadata_completion* completion) override {
    require_main_thread();
    start(new service_counted<metadata_remove_operation>(handles, flags, hook, completion), completion,
          "dialog_title_remove_tags", "Removing Tags", parent, flags);
  }

  service_ptr<shared_info_batch>& create_info_batch(service_ptr<shared_info_batch>& out) override {
    out = new service_counted<shared_info_batch>();
    return out;
  }

  service_ptr<cached_info_refresher>& create_cached_info_refresher(service_ptr<cached_info_refresher>& out) override {
    out = new service_counted<cached_info_refresher>();
    return out;
  }

  void track_info_changed_register(track_info_change_callback& callback) override {
    ::track_info_changed_register(callback);
  }
  void track_info_changed_unregister(track_info_change_callback& callback) override {
    ::track_info_changed_unregister(callback);
  }
};

service_factory_single_t<metadata_io_service_impl> metadata_io_service_registration;

}  // namespace

service_ptr<metadata_io_service> metadata_io_service::get() {
  return service_lookup_unique_t<metadata_io_service>();
}
