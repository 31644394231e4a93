#include "io/in_place_steps.h"

#include <algorithm>

#include "io/after_tags_switch.h"
#include "io/in_place_overwrite.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

void in_place_steps::cut(std::uint64_t size) { steps_.push_back({step::cut, size, {}, {}}); }

void in_place_steps::stage(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
  steps_.push_back({step::stage, offset, {}, std::move(bytes)});
}

void in_place_steps::fill_unread(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
  steps_.push_back({step::fill, offset, {}, std::move(bytes)});
}

void in_place_steps::change(std::uint64_t offset, std::vector<std::uint8_t> old_bytes,
                            std::vector<std::uint8_t> bytes) {
  if (old_bytes.size() != bytes.size()) throw_io_data();
  // Nothing to write, and no flush owed before it.
  if (old_bytes == bytes) return;
  steps_.push_back({step::change, offset, std::move(old_bytes), std::move(bytes)});
}

bool in_place_steps::each_change_one_write() const {
  for (const step& s : steps_)
    if (s.kind == step::change && !change_fits_one_write(s.offset, s.old_bytes.data(), s.bytes.data(), s.bytes.size()))
      return false;
  return true;
}

void in_place_steps::run(file_object& file, step_writes how, const abort_signal& abort) const {
  abort.check_and_throw();
  bool unflushed = false;
  const std::size_t switch_end = how == step_writes::guarded ? std::min(switch_end_, steps_.size()) : steps_.size();
  for (std::size_t i = 0; i < switch_end; ++i) run_step(file, steps_[i], how, unflushed);
  after_tags_switch([&] {
    for (std::size_t i = switch_end; i < steps_.size(); ++i) run_step(file, steps_[i], how, unflushed);
  });
}

void in_place_steps::run_step(file_object& file, const step& s, step_writes how, bool& unflushed) {
  const abort_signal& no_abort = never_raised_abort_signal();
  switch (s.kind) {
    case step::cut:
      file.resize(s.offset, no_abort);
      break;
    case step::fill:
      // The change that made the room unread must be down first: bytes put
      // down without it would lie where readers still look.
      if (how == step_writes::guarded && unflushed) file.flush(no_abort);
      [[fallthrough]];
    case step::stage:
      file.seek(s.offset, no_abort);
      file.write(s.bytes.data(), std::uint32_t(s.bytes.size()), no_abort);
      break;
    case step::change:
      if (how == step_writes::plain) {
        file.seek(s.offset, no_abort);
        file.write(s.bytes.data(), std::uint32_t(s.bytes.size()), no_abort);
        break;
      }
      if (unflushed) file.flush(no_abort);
      overwrite_changed_bytes(file, s.offset, s.old_bytes.data(), s.bytes.data(), s.bytes.size(), no_abort);
      break;
  }
  unflushed = true;
}

}  // namespace vantrel_io
