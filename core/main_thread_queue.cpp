#include "core/main_thread_queue.h"

#include "core/hidden_main_window.h"
#include "core/service_factory.h"

void callback_queue::append(main_thread_callback* callback) {
  if (callback == nullptr) qiv::throw_invalid_params();
  critical_section_lock hold(lock_);
  entries_.push_back(service_ptr<main_thread_callback>(callback));
}

void callback_queue::drain(bool all) {
  std::uint32_t remaining = get_count();
  if (remaining == 0) return;
  for (;;) {
    service_ptr<main_thread_callback> callback;
    {
      critical_section_lock hold(lock_);
      if (!entries_.pop_front(callback)) return;
    }
    callback->run();
    if (!all && --remaining == 0) return;
  }
}

std::uint32_t callback_queue::get_count() const {
  critical_section_lock hold(lock_);
  return entries_.get_count();
}

namespace {

class main_thread_queue_impl : public main_thread_queue {
public:
  void add(main_thread_callback* callback) override {
    queue_.append(callback);
    // Without the window the entry waits for the next drain. Posting to a
    // null window would leave the message in the posting thread's own queue.
    if (const HWND window = hidden_main_window::get())
      PostMessageW(window, wake_up_message, wake_up_wparam, wake_up_lparam);
  }

  callback_queue& queue() noexcept { return queue_; }

private:
  callback_queue queue_;
};

service_factory_single_t<main_thread_queue_impl> main_thread_queue_registration;

}  // namespace

void main_thread_queue::post(main_thread_callback* callback) {
  main_thread_queue_registration.get_static_instance().add(callback);
}

void main_thread_queue::drain(bool all) { main_thread_queue_registration.get_static_instance().queue().drain(all); }

std::uint32_t main_thread_queue::get_count() {
  return main_thread_queue_registration.get_static_instance().queue().get_count();
}
