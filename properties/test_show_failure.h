// A failure of the properties dialog's showing of its tracks, for tests of
// what the user is told then: a selection whose fields exhaust the memory of
// a 32-bit process takes minutes and gigabytes to make. Set
// ZORV_TEST_PROPERTIES_SHOW_FAILS to n, and the n-th time a dialog of the
// process shows its tracks (opening, after an Apply, taking the changes a
// sub-dialog accepted, ...) it runs out of memory; unset, nothing fails.
#pragma once

// Throws std::bad_alloc at the showing the variable names.
void fail_showing_tracks_if_asked();
