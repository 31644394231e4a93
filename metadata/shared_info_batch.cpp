#include "metadata/shared_info_batch.h"

#include "foundation/main_thread.h"

void shared_info_batch::add_info(const track_handle_ptr& handle, const track_info& info, std::uint64_t timestamp,
                                 bool fresh) {
  vantrel_io::file_stats stats;
  stats.timestamp = timestamp;
  std::lock_guard<std::mutex> hold(lock_);
  batch_.add(handle, info, stats, fresh);
}

void shared_info_batch::add_from_reader(const char* path, info_reader& reader, const abort_signal& abort) {
  // Read into a batch of its own first: the file may be slow, and the
  // shared batch must not stay locked meanwhile.
  info_batch read;
  read.read_all_subsongs(path, reader, abort);
  std::lock_guard<std::mutex> hold(lock_);
  read.move_into(batch_);
}

void shared_info_batch::commit() {
  if (!running_on_main_thread()) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (batch_.pending_count() == 0) return;
    }
    post_callback_from_worker(0);
    return;
  }
  info_batch ready;
  {
    std::lock_guard<std::mutex> hold(lock_);
    batch_.move_into(ready);
  }
  ready.commit();
}
