// Process-wide reader/writer locks identified by a text, in practice a file's
// path: the library scanner, background tasks and the playback engine read a
// file under a shared lock while the tag writers rewrite it under an
// exclusive one. A lock is held while any reference to its object exists.
//
// Ordering: readers share; a writer excludes everybody; a waiting writer stops
// new readers (they queue behind it even while other readers hold the name);
// writers are granted one at a time in the order they asked. Locks are not
// re-entrant and know no owner thread.
#pragma once

#include <cstdint>

#include "core/abort_signal.h"
#include "core/service_object.h"

// One granted lock on one name.
class named_lock : public service_object {
public:
  static constexpr GUID class_guid = {0xB2F0B2F8, 0x1CCF, 0x438E, {0xB9, 0x75, 0x9F, 0x5B, 0x75, 0x5A, 0xA3, 0x2E}};
  using service_parent = service_object;

  // For an exclusive holder: somebody waits for the same name. For a shared
  // holder: a writer waits for it. A holder that answers true gives the file
  // up and asks again later, so the waiter gets its turn.
  virtual bool has_waiters() = 0;

  // Blocks until the lock is granted. A raised abort signal ends the wait
  // with vantrel_io::exception_aborted and leaves no trace of the request.
  static void acquire(service_ptr<named_lock>& out, const char* name, const abort_signal& abort);
  static void acquire_exclusive(service_ptr<named_lock>& out, const char* name, const abort_signal& abort);
};

class named_lock_registry : public service_object {
public:
  static constexpr GUID class_guid = {0xA808FE53, 0x0D36, 0x42FB, {0xAC, 0x02, 0x6A, 0xC8, 0x9C, 0xCB, 0x24, 0xBE}};
  using service_parent = service_object;

  // Mode 1 is exclusive (a writer); any other value is shared (a reader).
  virtual void acquire(service_ptr<named_lock>& out, const char* name, int mode, const abort_signal& abort) = 0;
};

// A snapshot of what the registry knows of one name, for tests and
// diagnostics; all zero for a name that is neither held nor awaited.
struct named_lock_state {
  std::uint32_t exclusive_holders = 0;
  std::uint32_t shared_holders = 0;
  std::uint32_t exclusive_waiting = 0;
  std::uint32_t shared_waiting = 0;
};

named_lock_state named_lock_query_state(const char* name);
// How many names are held or awaited right now.
std::uint32_t named_lock_tracked_name_count();
