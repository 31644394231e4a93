#include "io/disk_wait.h"

namespace vantrel_io {

namespace {
// A plain pointer: nothing to destroy when a thread ends.
thread_local disk_wait_listener* thread_listener = nullptr;
}  // namespace

disk_wait_listener* listen_to_disk_waits(disk_wait_listener* listener) noexcept {
  disk_wait_listener* const previous = thread_listener;
  thread_listener = listener;
  return previous;
}

disk_wait_scope::disk_wait_scope() noexcept : listener_(thread_listener) {
  if (listener_ != nullptr) listener_->disk_wait_begins();
}

disk_wait_scope::~disk_wait_scope() {
  if (listener_ != nullptr) listener_->disk_wait_ends();
}

}  // namespace vantrel_io
