#include "io/test_write_faults.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "io/io_exceptions.h"

namespace vantrel_io {

namespace {

std::uint32_t fault_from_environment() noexcept {
  const char* text = std::getenv("ZORV_TEST_WRITE_FAULT_AT");
  return text == nullptr ? 0 : static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

struct fault_state {
  std::atomic<std::uint32_t> armed_at{fault_from_environment()};
  std::atomic<std::uint32_t> counted{0};
};

fault_state& write_fault_state() noexcept {
  static fault_state the_state;
  return the_state;
}

}  // namespace

void fail_if_test_write_fault() {
  fault_state& s = write_fault_state();
  const std::uint32_t armed_at = s.armed_at.load(std::memory_order_relaxed);
  if (armed_at == 0) return;
  if (s.counted.fetch_add(1) + 1 == armed_at) throw_exception_io_from_win32(ERROR_IO_DEVICE);
}

void arm_test_write_fault(std::uint32_t nth) noexcept {
  fault_state& s = write_fault_state();
  if (nth != 0) s.counted = 0;
  s.armed_at = nth;
}

std::uint32_t test_write_changes_counted() noexcept { return write_fault_state().counted.load(); }

}  // namespace vantrel_io
