#include "metadata/parallel_file_writes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io/disk_wait.h"

namespace {

// What the writes did at once: how many wrote (outside a disk wait) at the
// same moment, and which files had started.
struct write_log {
  std::mutex lock;
  std::condition_variable changed;
  int writing = 0;
  int most_writing = 0;
  std::vector<bool> started;

  void begin(std::size_t file) {
    std::lock_guard<std::mutex> hold(lock);
    started[file] = true;
    most_writing = std::max(most_writing, ++writing);
    changed.notify_all();
  }
  void end() {
    std::lock_guard<std::mutex> hold(lock);
    --writing;
  }
  // Far beyond what a thread start takes; only a missing thread runs out.
  bool wait_for_start(std::size_t file) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, std::chrono::seconds(30), [&] { return started[file]; });
  }
};

parallel_file_writes job_over(write_log& log, std::size_t count, std::uint32_t writers, std::uint32_t threads) {
  log.started.assign(count, false);
  parallel_file_writes job;
  job.count = count;
  job.writers = writers;
  job.threads = threads;
  job.path_of = [](std::size_t file) {
    static const char* const names[] = {"file://a", "file://b", "file://c", "file://d"};
    return names[file % 4];
  };
  job.starting = [](std::size_t) {};
  return job;
}

}  // namespace

TEST(ParallelFileWrites, AnotherFileIsTakenWhileOneWaitsForTheDisk) {
  write_log log;
  parallel_file_writes job = job_over(log, 2, 1, 2);
  bool second_started_during_wait = false;
  job.write = [&](std::size_t file, std::uint32_t, file_turn& turn) {
    turn.end();
    log.begin(file);
    log.end();
    if (file != 0) return;
    vantrel_io::disk_wait_scope waiting;
    second_started_during_wait = log.wait_for_start(1);
  };
  std::vector<std::optional<std::string>> errors;
  write_files(job, never_raised_abort_signal(), errors);
  EXPECT_TRUE(second_started_during_wait);
  EXPECT_EQ(errors, std::vector<std::optional<std::string>>(2));
}

TEST(ParallelFileWrites, ThreadsBeyondTheWritersWriteOnlyWhileOthersWaitForTheDisk) {
  write_log log;
  parallel_file_writes job = job_over(log, 4, 1, 3);
  job.write = [&](std::size_t file, std::uint32_t writer, file_turn& turn) {
    EXPECT_LT(writer, 3u);
    turn.end();
    log.begin(file);
    // Long enough for the other threads to try their turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log.end();
  };
  std::vector<std::optional<std::string>> errors;
  write_files(job, never_raised_abort_signal(), errors);
  EXPECT_EQ(log.most_writing, 1);
  EXPECT_TRUE(std::all_of(log.started.begin(), log.started.end(), [](bool started) { return started; }));
}

// Threads made during disk waits queue up to take files; when the files run
// out every one of them must learn so, and a file whose path another file
// in flight has must wait for it and then be written.
TEST(ParallelFileWrites, EveryThreadEndsWhenTheFilesRunOut) {
  for (const std::size_t count : {5u, 9u}) {
    write_log log;
    parallel_file_writes job = job_over(log, count, 2, 6);
    std::mutex in_flight_lock;
    std::vector<int> in_flight(4, 0);
    bool aliases_overlapped = false;
    job.write = [&](std::size_t file, std::uint32_t, file_turn& turn) {
      {
        std::lock_guard<std::mutex> hold(in_flight_lock);
        aliases_overlapped = aliases_overlapped || in_flight[file % 4]++ > 0;
      }
      turn.wait();
      turn.end();
      log.begin(file);
      log.end();
      {
        vantrel_io::disk_wait_scope waiting;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      std::lock_guard<std::mutex> hold(in_flight_lock);
      --in_flight[file % 4];
    };
    std::vector<std::optional<std::string>> errors;
    write_files(job, never_raised_abort_signal(), errors);
    EXPECT_FALSE(aliases_overlapped) << count;
    EXPECT_TRUE(std::all_of(log.started.begin(), log.started.end(), [](bool started) { return started; })) << count;
    EXPECT_EQ(errors, std::vector<std::optional<std::string>>(count)) << count;
  }
}
