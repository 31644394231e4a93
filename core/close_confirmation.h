// The question asked before the program quits (an exit or restart request,
// or the end of the Windows session) while background tasks are active.
#pragma once

#include "foundation/string_object.h"

// True when the application may close: no task is active, or the user
// confirmed. False while a modal window of the program is open (that window
// is brought forward instead) or when the user declined. Main thread only.
// A guard whose description throws leaves with that exception.
bool app_close_confirm();

// The confirmation's text for the tasks active now: the header, each distinct
// description once (with its count when several tasks share it), then each
// distinct notice of what a close does to them.
void close_confirmation_text(qiv::string_object& out);
