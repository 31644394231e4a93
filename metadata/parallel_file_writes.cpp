#include "metadata/parallel_file_writes.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "foundation/code_point_text.h"
#include "foundation/slim_lock.h"
#include "foundation/thread.h"
#include "io/disk_wait.h"
#include "io/io_exceptions.h"

namespace {

class file_writes {
public:
  file_writes(const parallel_file_writes& job, const abort_signal& abort)
      : job_(job), abort_(abort), errors_(job.count), threads_(job.writers), in_flight_(job.threads, nullptr),
        turn_over_(job.count, false) {}

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

  // Called with the next writer's number to start a thread for it; false
  // when no thread could be made. Set before the first run.
  std::function<bool(std::uint32_t writer)> start_thread;

  // After a thread could not be made: the writes go on with those there are.
  void start_no_more_threads() {
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    threads_ = job_.threads;
  }

  // Once the caller's own thread has left run(): no thread is being started
  // any more, and no further one will be.
  void wait_for_starts() {
    std::unique_lock<qiv::slim_mutex> hold(lock_);
    started_.wait(hold, [&] { return starting_ == 0; });
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
    void disk_wait_begins() noexcept override { writes_.begin_disk_wait(); }
    void disk_wait_ends() noexcept override { writes_.end_disk_wait(); }

  private:
    file_writes& writes_;
    vantrel_io::disk_wait_listener* const previous_;
  };

  // One more writer lets no waiting thread go on: nobody is woken (under
  // Wine every thread woken costs server round trips, and an Apply that
  // copies its files waits for the disk once per file).
  void end_disk_wait() {
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    ++writing_;
  }

  // A thread stops writing for a while: one that waits for its turn to
  // write takes the place, else a new thread does (threads are made only
  // for such waits, so a batch that never waits runs on `writers` alone).
  void begin_disk_wait() noexcept {
    std::uint32_t writer = 0;
    {
      std::lock_guard<qiv::slim_mutex> hold(lock_);
      --writing_;
      // Only a thread waiting to take a file waits for fewer writers.
      if (waiting_to_write_ > 0) may_take_.notify_one();
      if (stopped_ || next_ == job_.count || waiting_to_write_ > 0 || threads_ == job_.threads) return;
      writer = threads_++;
      ++starting_;
    }
    bool started = false;
    try {
      started = start_thread(writer);
    } catch (...) {
      // Fewer threads write the same files.
    }
    if (!started) start_no_more_threads();
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    --starting_;
    started_.notify_all();
  }

  class turn_of_file : public file_turn {
  public:
    turn_of_file(file_writes& writes, std::size_t file) : writes_(writes), file_(file) {}
    void wait() override {
      std::unique_lock<qiv::slim_mutex> hold(writes_.lock_);
      ++writes_.waiting_for_turn_;
      writes_.turn_over_changed_.wait(hold, [&] { return writes_.first_open_turn_ >= file_; });
      --writes_.waiting_for_turn_;
    }
    void end() override { writes_.end_turn(file_); }

  private:
    file_writes& writes_;
    const std::size_t file_;
  };

  void end_turn(std::size_t file) {
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    end_turn_locked(file);
  }

  void end_turn_locked(std::size_t file) {
    if (turn_over_[file]) return;
    turn_over_[file] = true;
    while (first_open_turn_ < turn_over_.size() && turn_over_[first_open_turn_]) ++first_open_turn_;
    // Each waits for its own file's turn, so all are told.
    if (waiting_for_turn_ > 0) turn_over_changed_.notify_all();
  }

  bool take(std::size_t& file, std::uint32_t writer) {
    std::unique_lock<qiv::slim_mutex> hold(lock_);
    ++waiting_to_write_;
    may_take_.wait(hold, [&] { return stopped_ || next_ == job_.count || writing_ < int(job_.writers); });
    --waiting_to_write_;
    if (stopped_ || next_ == job_.count) return false;
    abort_.check_and_throw();
    file = next_++;
    ++writing_;
    // The others waiting to take a file take none now.
    if (next_ == job_.count && waiting_to_write_ > 0) may_take_.notify_all();
    try {
      job_.starting(file);
      const char* path = job_.path_of(file);
      ++waiting_for_alias_;
      alias_ended_.wait(hold, [&] { return stopped_ || !aliases_file_in_flight(path); });
      --waiting_for_alias_;
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
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    in_flight_[writer] = nullptr;
    --writing_;
    if (waiting_to_write_ > 0) may_take_.notify_one();
    if (waiting_for_alias_ > 0) alias_ended_.notify_all();
  }

  void stop(std::exception_ptr failure) {
    std::lock_guard<qiv::slim_mutex> hold(lock_);
    if (!failure_) failure_ = failure;
    stopped_ = true;
    may_take_.notify_all();
    alias_ended_.notify_all();
    turn_over_changed_.notify_all();
  }

  const parallel_file_writes& job_;
  const abort_signal& abort_;
  std::vector<std::optional<std::string>> errors_;
  // Each wait has a condition of its own, and a change wakes only those it
  // may let go on: under Wine every thread woken costs.
  qiv::slim_mutex lock_;
  qiv::slim_condition may_take_;
  qiv::slim_condition alias_ended_;
  qiv::slim_condition turn_over_changed_;
  qiv::slim_condition started_;
  std::size_t next_ = 0;
  // Threads between taking a file and ending it, less those waiting for
  // the disk; threads waiting until fewer write; threads made or being
  // made, the caller's own among them; threads being made.
  int writing_ = 0;
  std::uint32_t waiting_to_write_ = 0;
  std::uint32_t threads_;
  std::uint32_t starting_ = 0;
  std::vector<const char*> in_flight_;
  // Files whose turn is over, and the first whose turn is not.
  std::vector<bool> turn_over_;
  std::size_t first_open_turn_ = 0;
  std::uint32_t waiting_for_turn_ = 0;
  std::uint32_t waiting_for_alias_ = 0;
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
  qiv::slim_mutex helpers_lock;
  std::vector<std::unique_ptr<writer_thread>> helpers;
  writes.start_thread = [&](std::uint32_t writer) {
    std::lock_guard<qiv::slim_mutex> hold(helpers_lock);
    helpers.push_back(std::make_unique<writer_thread>(writes, writer));
    try {
      helpers.back()->start();
      return true;
    } catch (const qiv::thread::exception_creation&) {
      helpers.pop_back();
      return false;
    }
  };
  // The writers from the start; further threads come when some wait.
  for (std::uint32_t writer = 1; writer < sized.writers; ++writer) {
    if (!writes.start_thread(writer)) {
      writes.start_no_more_threads();
      break;
    }
  }
  writes.run(0);
  writes.wait_for_starts();
  helpers.clear();  // joins them
  writes.finish(errors);
}
