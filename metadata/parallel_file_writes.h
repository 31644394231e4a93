// Writing many files on a few threads at once: under Wine most of a small
// tag write is waiting on the system (opening, reading, closing, asking the
// server), which other files' writes can fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/abort_signal.h"

// A file's place in the list order, for the part of its write that must
// happen in that order (asking the caller, checking for the abort).
class file_turn {
public:
  // Waits until every earlier file has had its turn or has ended.
  virtual void wait() = 0;
  // Lets the next file have its turn; also when the write ends.
  virtual void end() = 0;

protected:
  ~file_turn() = default;
};

struct parallel_file_writes {
  std::size_t count = 0;
  // How many threads write at once, the caller's own among them.
  std::uint32_t writers = 1;
  // How many threads there may be in all (at least `writers`): a thread
  // that waits for the disk (vantrel_io::disk_wait_scope) is not writing,
  // and another, made then, may take the next file meanwhile.
  std::uint32_t threads = 1;
  std::function<const char*(std::size_t file)> path_of;
  // Runs before each file's write, for one file at a time, in the order the
  // files are taken: the order of their indices.
  std::function<void(std::size_t file)> starting;
  // Writes one file; `writer` (below `threads`) names the thread, for what
  // each thread keeps for itself.
  std::function<void(std::size_t file, std::uint32_t writer, file_turn& turn)> write;
};

// Writes every file of `job`, taking them in index order. A file whose path
// names a file being written under another spelling (letter case) waits for
// that write to end. The failure of a file is its entry of `errors` (the
// exception's message; files without one were written or never taken). The
// abort, and any failure that is not a std::exception, stop every thread
// from taking another file and are thrown once the files being written are
// done, `errors` filled for them.
void write_files(const parallel_file_writes& job, const abort_signal& abort,
                 std::vector<std::optional<std::string>>& errors);
