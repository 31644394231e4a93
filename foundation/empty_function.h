// Do-nothing functions for callback and virtual slots that need no action.
#pragma once

namespace qiv {

inline void empty_function() {}

// For a slot called with an object: `empty_method<T>` ignores it.
template <class T>
void empty_method(T*) {}

} // namespace qiv
