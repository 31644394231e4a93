// The status of a long operation that nobody watches: progress and item
// texts go nowhere, and the operation is never paused. For running an
// operation directly, without its progress dialog (the console tool, tests
// and benchmarks).
#pragma once

#include "core/threaded_process.h"

class quiet_process_status final : public threaded_process_status {
public:
  void set_progress(std::uint32_t) override {}
  void set_progress_secondary(std::uint32_t) override {}
  void set_item(const char*, std::size_t) override {}
  void set_item_path(const char*, std::size_t) override {}
  void set_title(const char*, std::size_t) override {}
  void force_update() override {}
  bool is_paused() override { return false; }
  bool check_pause() override { return true; }
};
