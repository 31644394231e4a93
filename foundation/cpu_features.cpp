#include "foundation/cpu_features.h"

#include <cpuid.h>

namespace {

constexpr unsigned known_features = 0xFF;

// A processor without CPUID cannot toggle the ID bit (21) of EFLAGS. Testing
// it first replaces a fault guard around CPUID, which MinGW cannot express.
bool cpuid_supported() {
#if defined(__i386__)
  unsigned before, after;
  __asm__ volatile(
      "pushfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %0\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "popfl"
      : "=&r"(after), "=&r"(before)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
#else
  return true;  // every x86-64 processor has CPUID
#endif
}

unsigned present_features() {
  if (!cpuid_supported()) return 0;
  unsigned present = 0;
  unsigned eax, ebx, ecx, edx;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    if (edx & (1u << 25)) present |= cpu_feature_sse;
    if (edx & (1u << 26)) present |= cpu_feature_sse2;
    if (ecx & (1u << 0)) present |= cpu_feature_sse3;
    if (ecx & (1u << 9)) present |= cpu_feature_ssse3;
    if (ecx & (1u << 19)) present |= cpu_feature_sse41;
    if (ecx & (1u << 20)) present |= cpu_feature_sse42;
  }
  // Leaf 0x80000001 exists only when the highest extended leaf lies above
  // 0x80000000; __get_cpuid checks that before executing it.
  if (__get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx)) {
    if (edx & (1u << 31)) present |= cpu_feature_3dnow;
    if (edx & (1u << 30)) present |= cpu_feature_3dnow_ext;
  }
  return present;
}

} // namespace

bool cpu_has_features(unsigned mask) {
  if (mask & ~known_features) return false;
  return (present_features() & mask) == mask;
}
