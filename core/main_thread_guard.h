// The check that guards operations which pump messages or drain the
// main-thread queue: the message loop, the hidden window's drain and modal
// background operations.
#pragma once

namespace main_thread_guard {

// Returns on the main thread while no playback listener call is in progress;
// anywhere else the process stops with the fatal internal error. A listener
// that pumped messages could re-enter the playback front end in the middle
// of its own dispatch.
void check();

} // namespace main_thread_guard

// Raised by the playback front end around each call of one of its listeners.
namespace playback_event_dispatch_flag {

// Sets the flag and answers its previous value, so that nested dispatches
// restore what they found.
bool set(bool active) noexcept;
bool get() noexcept;

} // namespace playback_event_dispatch_flag
