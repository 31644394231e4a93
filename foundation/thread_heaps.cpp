#include "foundation/thread_heaps.h"

#include <cstddef>
#include <iterator>

namespace qiv {

namespace {

// Heaps whose threads have ended, for the next threads made. Past this many
// at once a heap is simply not reused.
SRWLOCK spare_lock = SRWLOCK_INIT;
HANDLE spare_heaps[1024];
std::size_t spare_count = 0;

// A plain value: nothing to destroy when a thread ends.
thread_local HANDLE thread_heap = nullptr;

// At the end of a thread. Its blocks stay where they are; a late block of
// the ending thread and the next owner's may share the heap, which is as
// safe as any heap shared between threads.
void CALLBACK give_back(void* heap) {
  if (heap == nullptr) return;
  AcquireSRWLockExclusive(&spare_lock);
  if (spare_count < std::size(spare_heaps)) spare_heaps[spare_count++] = static_cast<HANDLE>(heap);
  ReleaseSRWLockExclusive(&spare_lock);
}

HANDLE take_heap() {
  HANDLE heap = nullptr;
  AcquireSRWLockExclusive(&spare_lock);
  if (spare_count > 0) heap = spare_heaps[--spare_count];
  ReleaseSRWLockExclusive(&spare_lock);
  if (heap == nullptr) heap = HeapCreate(0, 0, 0);
  if (heap == nullptr) return GetProcessHeap();
  // Fiber-local storage's callback is what runs at every thread's end.
  static const DWORD slot = FlsAlloc(give_back);
  if (slot != FLS_OUT_OF_INDEXES) FlsSetValue(slot, heap);
  return heap;
}

}  // namespace

HANDLE current_thread_heap() {
  if (thread_heap == nullptr) thread_heap = take_heap();
  return thread_heap;
}

}  // namespace qiv
