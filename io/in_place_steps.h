// A change of a file in place that takes several steps, ordered so that
// after any of them every reader finds the old content or the new: bytes
// staged where no reader looks yet (past the file's end), then the changes
// that make readers see them, each of which must be one write within one
// page (in_place_overwrite). Whatever was written is flushed before every
// change readers see: the disk may put unflushed writes down in any order,
// and a power cut must not leave readers pointed at bytes it never received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "io/file_object.h"

namespace vantrel_io {

// How the steps reach the file: a file readers may open meanwhile takes
// every change through the guarded overwrite, flushed before; a temporary
// copy or a file in memory, which no reader sees half written, takes plain
// writes.
enum class step_writes { guarded, plain };

class in_place_steps {
public:
  // Cuts the file at `size`: no reader reads what lay past it.
  void cut(std::uint64_t size);
  // Writes `bytes` at `offset`, at or past the end the earlier steps leave.
  void stage(std::uint64_t offset, std::vector<std::uint8_t> bytes);
  // Writes `bytes` at `offset`, inside an element no reader reads (a Void's
  // content) until a later change makes them part of one.
  void fill_unread(std::uint64_t offset, std::vector<std::uint8_t> bytes);
  // A change readers see: the bytes at `offset`, `old_bytes` when the step
  // comes, become `bytes` (of the same size). Equal bytes are no step.
  void change(std::uint64_t offset, std::vector<std::uint8_t> old_bytes, std::vector<std::uint8_t> bytes);

  // The steps added so far put the new tags in force for every reader: the
  // later ones only tidy what the old tags left. Unmarked, the last step is
  // the switch.
  void mark_switch() { switch_end_ = steps_.size(); }

  // Whether each change readers see is one write within one page, which the
  // system puts down whole.
  bool each_change_one_write() const;

  // Runs the steps in order. The abort is honoured before the first one
  // only: a layout switched half way is worse than a late stop. On a file
  // readers see (guarded writes), a failure after the switch is
  // exception_io_after_tags_written; on a copy or in memory no reader saw
  // the switch, and the failure passes as it is.
  void run(file_object& file, step_writes how, const abort_signal& abort) const;

private:
  struct step {
    enum { cut, stage, fill, change } kind;
    std::uint64_t offset;
    std::vector<std::uint8_t> old_bytes, bytes;
  };
  // Writes one step; `unflushed` says whether a write waits for the disk.
  static void run_step(file_object& file, const step& s, step_writes how, bool& unflushed);

  std::vector<step> steps_;
  std::size_t switch_end_ = ~std::size_t{0};
};

}  // namespace vantrel_io
