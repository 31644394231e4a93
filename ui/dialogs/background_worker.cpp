#include "ui/dialogs/background_worker.h"

#include "core/main_thread_queue.h"
#include "core/service_factory.h"
#include "foundation/win32_text.h"

void completion_handle::call(std::int32_t result) {
  if (target_ != nullptr) target_->complete(result);
}

background_worker::background_worker() = default;

background_worker::~background_worker() {
  stop_and_wait();
  current_ = nullptr;
}

void background_worker::stop_and_wait() noexcept {
  abort_.raise();
  join_thread();
  disconnect_all();
}

void background_worker::join_thread() noexcept {
  if (thread_ == nullptr) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

void background_worker::disconnect_all() noexcept {
  for (auto& entry : pending_) entry.second->disconnect();
  pending_.clear();
}

void background_worker::start() {
  stop_and_wait();
  abort_.reset();
  qiv::ref_ptr<completion_handle> handle(new completion_handle(this, 0));
  auto& slot = pending_[0];
  if (slot) slot->disconnect();
  slot = handle;
  current_ = handle;
  thread_ = CreateThread(nullptr, 0, &thread_entry, this, 0, nullptr);
  if (thread_ == nullptr) {
    const DWORD error = GetLastError();
    disconnect_all();
    current_ = nullptr;
    SetLastError(error);
    throw_last_win32_error();
  }
}

std::int32_t background_worker::run(const abort_signal&) { return 0; }

DWORD WINAPI background_worker::thread_entry(void* self) noexcept {
  auto* worker = static_cast<background_worker*>(self);
  std::int32_t result = -1;
  try {
    result = worker->run(worker->abort_);
  } catch (...) {
    result = -1;
  }
  if (!worker->abort_.is_set()) {
    // The handle travels by reference count: the worker may have moved on
    // (and disconnected it) by the time the main thread runs the call.
    qiv::ref_ptr<completion_handle> handle = worker->current_;
    try {
      main_thread_queue::post(new service_counted<main_thread_call>([handle, result] { handle->call(result); }));
    } catch (...) {
      // Nothing can be reported from here; the owner sees no completion, as
      // after an abort.
    }
  }
  return 0;
}

void background_worker::complete(std::int32_t result) {
  if (thread_ == nullptr) return;
  join_thread();
  disconnect_all();
  current_ = nullptr;
  on_done(result);
}
