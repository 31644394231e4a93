#include "inputs/wma/runtime_worker.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "io/io_exceptions.h"

namespace wma {

// Outlives whichever of the owner and the thread ends last.
struct runtime_worker::shared {
  std::mutex lock;
  std::condition_variable changed;
  std::function<void()> call;
  bool has_call = false;
  bool done = false;
  bool stop = false;
  std::exception_ptr error;
};

namespace {

// Slices of the wait, so that an abort is seen soon.
constexpr auto wait_slice = std::chrono::milliseconds(50);

}  // namespace

void runtime_worker::thread_main(std::shared_ptr<shared> state) noexcept {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::unique_lock<std::mutex> held(state->lock);
  for (;;) {
    state->changed.wait(held, [&] { return state->has_call || state->stop; });
    if (state->stop) break;
    std::function<void()> call = std::move(state->call);
    state->has_call = false;
    held.unlock();
    std::exception_ptr error;
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    // What the call holds goes on this thread, as it came.
    try {
      call = nullptr;
    } catch (...) {
    }
    held.lock();
    state->error = error;
    state->done = true;
    state->changed.notify_all();
  }
  held.unlock();
  if (SUCCEEDED(com)) CoUninitialize();
}

runtime_worker::runtime_worker() : shared_(std::make_shared<shared>()), thread_(thread_main, shared_) {}

runtime_worker::~runtime_worker() {
  {
    std::lock_guard<std::mutex> held(shared_->lock);
    shared_->stop = true;
    shared_->changed.notify_all();
  }
  // A stuck thread is left where it is; the shared state stays with it.
  if (stuck_) thread_.detach();
  else thread_.join();
}

void runtime_worker::run(std::function<void()> call, const abort_signal& abort) {
  if (stuck_)
    throw vantrel_io::exception_io(qiv::copy_message,
                                   "The Windows Media runtime stopped answering for this file earlier");
  std::unique_lock<std::mutex> held(shared_->lock);
  shared_->call = std::move(call);
  shared_->has_call = true;
  shared_->done = false;
  shared_->error = nullptr;
  shared_->changed.notify_all();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer_limit_ms);
  while (!shared_->done) {
    if (abort.is_set()) {
      stuck_ = true;
      throw vantrel_io::exception_aborted();
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      stuck_ = true;
      throw vantrel_io::exception_io(qiv::copy_message,
                                     "The Windows Media runtime stopped answering for this file (it may be damaged)");
    }
    shared_->changed.wait_for(held, wait_slice);
  }
  if (shared_->error) std::rethrow_exception(shared_->error);
}

}  // namespace wma
