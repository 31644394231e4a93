#include "core/abort_signal.h"

#include "core/io_exception_base.h"

void abort_signal::check_and_throw() const {
  if (is_set()) throw vantrel_io::exception_aborted();
}

bool abort_signal::wait(double seconds) const { return !win32_event::wait(get_event(), seconds); }

void abort_signal::sleep(double seconds) const {
  if (!wait(seconds)) throw vantrel_io::exception_aborted();
}

raisable_abort_signal::raisable_abort_signal() { event_.create(); }

void raisable_abort_signal::raise() {
  flag_.store(true);
  SetEvent(event_.get());
}

void raisable_abort_signal::reset() {
  flag_.store(false);
  ResetEvent(event_.get());
}

namespace {

class never_raised final : public abort_signal {
public:
  never_raised() { event_.create(); }
  bool is_set() const override { return false; }
  HANDLE get_event() const override { return event_.get(); }

private:
  win32_event event_;
};

} // namespace

const abort_signal& never_raised_abort_signal() {
  static const never_raised signal;
  return signal;
}
