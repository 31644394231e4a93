#include "foundation/main_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

bool is_main_thread_on_another_thread() {
  bool answer = true;
  std::thread([&] { answer = is_main_thread(); }).join();
  return answer;
}

TEST(MainThread, EveryThreadPassesUntilStartUpRecordsOne) {
  qiv::set_main_thread_id(0);
  EXPECT_TRUE(is_main_thread());
  EXPECT_TRUE(is_main_thread_on_another_thread());
}

TEST(MainThread, OnlyTheRecordedThreadPasses) {
  qiv::set_main_thread_id(GetCurrentThreadId());
  EXPECT_EQ(qiv::main_thread_id(), GetCurrentThreadId());
  EXPECT_TRUE(is_main_thread());
  EXPECT_FALSE(is_main_thread_on_another_thread());
  qiv::set_main_thread_id(0);
}

} // namespace
