#include "io/disk_wait.h"

namespace vantrel_io {

namespace {
// Plain values: nothing to destroy when a thread ends.
thread_local disk_wait_listener* thread_listener = nullptr;
thread_local int waits_open = 0;
}  // namespace

disk_wait_listener* listen_to_disk_waits(disk_wait_listener* listener) noexcept {
  disk_wait_listener* const previous = thread_listener;
  thread_listener = listener;
  return previous;
}

disk_wait_scope::disk_wait_scope() noexcept : listener_(waits_open++ == 0 ? thread_listener : nullptr) {
  if (listener_ != nullptr) listener_->disk_wait_begins();
}

disk_wait_scope::~disk_wait_scope() {
  --waits_open;
  if (listener_ != nullptr) listener_->disk_wait_ends();
}

}  // namespace vantrel_io
