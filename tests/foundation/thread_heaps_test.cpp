#include "foundation/thread_heaps.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace {

// The heap a new thread allocates from, and a block it made there.
struct thread_result {
  HANDLE heap = nullptr;
  std::string* text = nullptr;
};

thread_result allocate_on_a_new_thread() {
  thread_result result;
  std::thread([&] {
    result.text = new std::string(200, 'x');
    result.heap = qiv::current_thread_heap();
  }).join();
  return result;
}

}  // namespace

TEST(ThreadHeaps, EachThreadHasItsHeapAndAnEndedThreadsHeapServesTheNext) {
  const thread_result first = allocate_on_a_new_thread();
  EXPECT_NE(first.heap, qiv::current_thread_heap());
  EXPECT_NE(first.heap, GetProcessHeap());
  const thread_result second = allocate_on_a_new_thread();
  EXPECT_EQ(second.heap, first.heap);

  // Blocks outlive their thread, and any thread frees them.
  EXPECT_EQ(*first.text, std::string(200, 'x'));
  EXPECT_EQ(*second.text, std::string(200, 'x'));
  delete first.text;
  delete second.text;
  EXPECT_TRUE(HeapValidate(first.heap, 0, nullptr));

  // The runtime's other forms of new come to the thread's heap too (the
  // heap's block starts 8 bytes before what new hands out).
  const std::unique_ptr<int[]> numbers(new int[1000]());
  EXPECT_TRUE(HeapValidate(qiv::current_thread_heap(), 0, reinterpret_cast<char*>(numbers.get()) - 8));
}
