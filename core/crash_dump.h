// Crash dumps: a minidump of the failing process in the profile folder,
// "failure-1.dmp", "failure-2.dmp" and so on, for the developers to read.
#pragma once

#include <windows.h>

#include <cstdint>

// Remembers where dumps go and loads the dump writer of the system, so that
// writing one later needs neither the heap nor the loader of a process that
// is failing. A read-only profile gets no dumps. Start-up calls it once the
// profile folder is known; calling it again replaces the folder.
void crash_dump_prepare(const char* profile_path, bool read_only);

// Writes a minidump of this process with the failing thread's exception into
// the first free "failure-<n>.dmp" (n from 1, a gap filled first) and answers
// n; 0 when nothing was written (read-only profile, no system dump writer,
// a file that cannot be created). Failures of the writer are ignored.
std::uint32_t crash_dump_write(EXCEPTION_POINTERS* pointers) noexcept;
