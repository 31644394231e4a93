/* A host library whose finaliser takes two seconds. Preloaded into a Wine
   process it makes the host's teardown after a normal exit slow, as the
   finalisers of the many libraries behind the system's AAC decoder are on a
   busy machine. Built without a C library; the 64-bit build, for the shell
   and tools on the way to Wine, is empty. */
#if defined(__i386__)
static void slow_teardown(void) {
  static const struct {
    long seconds, nanoseconds;
  } pause = {2, 0};
  long result;
  /* nanosleep */
  __asm__ volatile("int $0x80" : "=a"(result) : "a"(162), "b"(&pause), "c"(0) : "memory");
}

__attribute__((section(".fini_array"), used)) static void (*const finaliser)(void) = slow_teardown;
#endif
