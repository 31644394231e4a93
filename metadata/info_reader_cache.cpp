#include "metadata/info_reader_cache.h"

#include "metadata/input_dispatch.h"

void info_reader_cache::ensure_open(const char* path, const abort_signal& abort) {
  if (reader_.get() != nullptr && path_ == path) return;
  reader_.reset();
  path_.clear();
  lock_.reset();
  named_lock::acquire(lock_, path, abort);
  // A failed open keeps the new lock and no reader; the next call for the
  // same path tries again.
  input_dispatch::open_info_reader(reader_, vantrel_io::file_ptr(), path, abort);
  path_ = path;
}

void info_reader_cache::read_info(const track_location& location, track_info& out, vantrel_io::file_stats& stats,
                                  const abort_signal& abort) {
  ensure_open(location.get_path(), abort);
  stats = reader_->get_file_stats(abort);
  reader_->get_info(location.get_subsong(), out, abort);
}

bool info_reader_cache::read_info_if_changed(const track_location& location, track_info& out,
                                             vantrel_io::file_stats& stats, const abort_signal& abort) {
  ensure_open(location.get_path(), abort);
  const vantrel_io::file_stats current = reader_->get_file_stats(abort);
  if (current.timestamp != 0 && current.timestamp == stats.timestamp) return false;
  stats = current;
  reader_->get_info(location.get_subsong(), out, abort);
  return true;
}

void info_reader_cache::close() noexcept {
  reader_.reset();
  path_.clear();
  lock_.reset();
}
