// The words a user reads for a failure. Memory running out carries the
// runtime's own text ("std::bad_alloc"), which means nothing to a user: it
// reads "not enough memory" in the user's language instead.
#pragma once

#include <exception>

#include "foundation/string_object.h"

// The localised "not enough memory".
void not_enough_memory_text(qiv::string_object& out);

// The message of `error`, or not_enough_memory_text for memory running out.
void failure_text(const std::exception& error, qiv::string_object& out);
