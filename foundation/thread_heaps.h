// Every thread allocates (operator new) from a heap of its own. Under Wine a
// heap's lock, taken by threads that allocate at once, makes them queue and
// spin: three tag writers at once took longer than one. A block freed by
// another thread goes back to the heap it came from; a heap outlives its
// thread (its blocks may), and the next thread made takes it over.
// The replaced operator new and delete are in thread_heaps.cpp; blocks of
// malloc and of the aligned forms of new are the runtime's as before.
#pragma once

#include <windows.h>

namespace qiv {

// The heap the calling thread's operator new takes blocks from.
HANDLE current_thread_heap();

}  // namespace qiv
