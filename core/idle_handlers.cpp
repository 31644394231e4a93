#include "core/idle_handlers.h"

#include "foundation/exceptions.h"

namespace {

struct single_item {
  idle_handler* handler;
  std::uint32_t get_count() const noexcept { return 1; }
  void get_item(idle_handler*& out, std::uint32_t) const noexcept { out = handler; }
};

}  // namespace

void idle_handler_list::add(idle_handler* handler) {
  if (handler == nullptr) qiv::throw_invalid_params();
  registered_.insert_from(0, single_item{handler});
}

void idle_handler_list::remove(idle_handler* handler) noexcept {
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < registered_.get_count(); ++i) {
    if (registered_[i] != handler) registered_.set(kept++, registered_[i]);
  }
  registered_.remove_range(kept, registered_.get_count());
  // Every entry, not just the first: a handler registered twice and removed
  // mid-pass must not be called again, its owner may be gone already.
  for (std::uint32_t i = 0; i < running_.get_count(); ++i) {
    if (running_[i] == handler) running_.set(i, nullptr);
  }
}

void idle_handler_list::run_pass() {
  running_.resize_hysteresis(registered_.get_count());
  for (std::uint32_t i = 0; i < registered_.get_count(); ++i) running_.set(i, registered_[i]);
  // The count is read at every step: a handler that runs a nested pass
  // rebuilds the list under this one.
  for (std::uint32_t i = 0; i < running_.get_count(); ++i) {
    if (idle_handler* handler = running_[i]) handler->on_idle();
  }
}
