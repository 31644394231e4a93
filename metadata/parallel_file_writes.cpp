#include "metadata/parallel_file_writes.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include "foundation/code_point_text.h"
#include "foundation/thread.h"
#include "io/disk_wait.h"
#include "io/io_exceptions.h"

namespace {

class file_writes {
public:
  file_writes(const parallel_file_writes& job, const abort_signal& abort)
      : job_(job), abort_(abort), errors_(job.count), in_flight_(job.threads, nullptr), turn_over_(job.count, false) {}

  // The loop of one writer thread.
  void run(std::uint32_t writer) noexcept {
    disk_waits waits(*this);
    for (;;) {
      std::size_t file = 0;
      try {
        if (!take(file, writer)) return;
      } catch (...) {
        stop(std::current_exception());
        return;
      }
      turn_of_file turn(*this, file);
      try {
        job_.write(file, writer, turn);
      } catch (const vantrel_io::exception_aborted&) {
        stop(std::current_exception());
      } catch (const std::exception& error) {
        errors_[file] = error.what();
      } catch (...) {
        stop(std::current_exception());
      }
      turn.end();
      done(writer);
    }
  }

  void finish(std::vector<std::optional<std::string>>& errors) {
    errors = std::move(errors_);
    if (failure_) std::rethrow_exception(failure_);
  }

private:
  // While the thread waits for the disk it does not count among the
  // writers; back from the wait it finishes its file at once, so that no
  // file waits for a thread that itself waits to write.
  class disk_waits final : public vantrel_io::disk_wait_listener {
  public:
    explicit disk_waits(file_writes& writes) noexcept
        : writes_(writes), previous_(vantrel_io::listen_to_disk_waits(this)) {}
    ~disk_waits() { vantrel_io::listen_to_disk_waits(previous_); }
    disk_waits(const disk_waits&) = delete;
    disk_waits& operator=(const disk_waits&) = delete;
    void disk_wait_begins() noexcept override { writes_.count_writing(-1); }
    void disk_wait_ends() noexcept override { writes_.count_writing(+1); }

  private:
    file_writes& writes_;
    vantrel_io::disk_wait_listener* const previous_;
  };

  void count_writing(int change) {
    std::lock_guard<std::mutex> hold(lock_);
    writing_ += change;
    changed_.notify_all();
  }

  class turn_of_file : public file_turn {
  public:
    turn_of_file(file_writes& writes, std::size_t file) : writes_(writes), file_(file) {}
    void wait() override {
      std::unique_lock<std::mutex> hold(writes_.lock_);
      writes_.changed_.wait(hold, [&] { return writes_.first_open_turn_ >= file_; });
    }
    void end() override { writes_.end_turn(file_); }

  private:
    file_writes& writes_;
    const std::size_t file_;
  };

  void end_turn(std::size_t file) {
    std::lock_guard<std::mutex> hold(lock_);
    end_turn_locked(file);
  }

  void end_turn_locked(std::size_t file) {
    if (turn_over_[file]) return;
    turn_over_[file] = true;
    while (first_open_turn_ < turn_over_.size() && turn_over_[first_open_turn_]) ++first_open_turn_;
    changed_.notify_all();
  }

  bool take(std::size_t& file, std::uint32_t writer) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return stopped_ || next_ == job_.count || writing_ < int(job_.writers); });
    if (stopped_ || next_ == job_.count) return false;
    abort_.check_and_throw();
    file = next_++;
    ++writing_;
    try {
      job_.starting(file);
      const char* path = job_.path_of(file);
      changed_.wait(hold, [&] { return stopped_ || !aliases_file_in_flight(path); });
      if (!stopped_) {
        in_flight_[writer] = path;
        return true;
      }
    } catch (...) {
      --writing_;
      end_turn_locked(file);
      throw;
    }
    // Taken but never written: later files must not wait for its turn.
    --writing_;
    end_turn_locked(file);
    return false;
  }

  // The same file under another spelling would meet its own sharing lock,
  // which the writer's open waits out only briefly.
  bool aliases_file_in_flight(const char* path) const {
    for (const char* other : in_flight_)
      if (other != nullptr && qiv::stricmp_utf8(other, path) == 0) return true;
    return false;
  }

  void done(std::uint32_t writer) {
    std::lock_guard<std::mutex> hold(lock_);
    in_flight_[writer] = nullptr;
    --writing_;
    changed_.notify_all();
  }

  void stop(std::exception_ptr failure) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!failure_) failure_ = failure;
    stopped_ = true;
    changed_.notify_all();
  }

  const parallel_file_writes& job_;
  const abort_signal& abort_;
  std::vector<std::optional<std::string>> errors_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::size_t next_ = 0;
  // Threads between taking a file and ending it, less those waiting for
  // the disk.
  int writing_ = 0;
  std::vector<const char*> in_flight_;
  // Files whose turn is over, and the first whose turn is not.
  std::vector<bool> turn_over_;
  std::size_t first_open_turn_ = 0;
  bool stopped_ = false;
  std::exception_ptr failure_;
};

class writer_thread : public qiv::thread {
public:
  writer_thread(file_writes& writes, std::uint32_t writer) : writes_(writes), writer_(writer) {}
  ~writer_thread() override { wait_till_done(); }

private:
  void run() override { writes_.run(writer_); }
  file_writes& writes_;
  const std::uint32_t writer_;
};

}  // namespace

void write_files(const parallel_file_writes& job, const abort_signal& abort,
                 std::vector<std::optional<std::string>>& errors) {
  parallel_file_writes sized = job;
  if (sized.writers < 1 || sized.count < 2) sized.writers = 1;
  if (sized.writers > sized.count) sized.writers = static_cast<std::uint32_t>(sized.count);
  sized.threads = std::max(sized.threads, sized.writers);
  if (sized.threads > sized.count) sized.threads = static_cast<std::uint32_t>(sized.count);
  file_writes writes(sized, abort);
  {
    std::vector<std::unique_ptr<writer_thread>> helpers;
    for (std::uint32_t writer = 1; writer < sized.threads; ++writer) {
      helpers.push_back(std::make_unique<writer_thread>(writes, writer));
      try {
        helpers.back()->start();
      } catch (const qiv::thread::exception_creation&) {
        // Fewer threads write the same files.
        helpers.pop_back();
        break;
      }
    }
    writes.run(0);
  }  // joins the helpers
  writes.finish(errors);
}
