// A thread that waits for the disk (a flush that must put a new file down
// before it replaces the old one), or whose work is mostly the system's
// (copying a whole file), leaves the processor to others meanwhile. Whoever
// runs the thread may listen for such waits: a batch writing many files lets
// another of its threads take a file, so that the copies and flushes of
// many files overlap instead of following one another.
#pragma once

namespace vantrel_io {

class disk_wait_listener {
public:
  // On the waiting thread, right before and right after the wait.
  virtual void disk_wait_begins() noexcept = 0;
  virtual void disk_wait_ends() noexcept = 0;

protected:
  ~disk_wait_listener() = default;
};

// Makes `listener` (null: none) hear the calling thread's waits; answers the
// one it replaces.
disk_wait_listener* listen_to_disk_waits(disk_wait_listener* listener) noexcept;

// One wait of the calling thread, told to its listener; a wait within a
// wait is not told again.
class disk_wait_scope {
public:
  disk_wait_scope() noexcept;
  ~disk_wait_scope();
  disk_wait_scope(const disk_wait_scope&) = delete;
  disk_wait_scope& operator=(const disk_wait_scope&) = delete;

private:
  disk_wait_listener* const listener_;
};

}  // namespace vantrel_io
