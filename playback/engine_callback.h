// How the engine's reports reach the main thread: every report that matters
// becomes a callback posted to the main-thread queue, which runs the front
// end's state handler or shows an error in the playback error popup.
#pragma once

#include "playback/playback_engine.h"

// The one callback object the front end hands to its engine.
playback_engine_callback& playback_front_engine_callback();
