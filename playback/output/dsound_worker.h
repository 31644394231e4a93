// The feeding thread of the DirectSound output: one for the whole process,
// at time-critical priority, waking every 10 ms to update every open stream
// under the one global stream lock. It ends by itself when the last stream
// is gone and starts again with the next; the playback front end's shutdown
// and process exit stop it and wait.
#pragma once

#include "foundation/win32_handles.h"

class output_dsound_stream;

namespace dsound_worker {

// The global stream lock: every stream operation and every pass take it.
critical_section& lock() noexcept;
// Under the lock: appends the stream and starts the thread when none runs.
void add(output_dsound_stream* stream);
// Whether a feeding thread exists: one that has let its last stream go
// counts until it has returned.
bool is_running() noexcept;
// Stops the thread, waits for it and destroys the streams left, releasing
// the device; a stream added afterwards starts a new thread.
void shutdown() noexcept;

} // namespace dsound_worker

// The worker's way into the stream's private pass and destructor.
class dsound_worker_access {
public:
  static bool update(output_dsound_stream& stream);
  static void destroy(output_dsound_stream* stream) noexcept;
};
