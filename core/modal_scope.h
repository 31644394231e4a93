// A record taken around every modal loop of the program (a modal dialog, a
// message box, a shell launch), so that nothing opens a second modal window
// on top of it: the close confirmation, menus and commands ask whether a
// scope is active and bring its window forward instead.
//
// The process-wide current scope is one pair {owner window, active}. Entering
// a record swaps the record's pair with the current one and leaving swaps it
// back, so scopes nest like a stack. Main thread only: elsewhere the calls
// only write the main-thread warning to the debugger output.
#pragma once

#include <windows.h>

class modal_scope {
public:
  modal_scope() noexcept = default;
  // Leaves the scope if it is still entered, so that a modal loop ended by an
  // exception does not leave the program believing a modal window is open.
  ~modal_scope();
  modal_scope(const modal_scope&) = delete;
  modal_scope& operator=(const modal_scope&) = delete;

  // Makes `owner` (may be null) the current modal window. A record already
  // entered ignores the call.
  void enter(HWND owner);
  // Restores the scope that was current when this one was entered. A record
  // not entered ignores the call.
  void leave();

  // True on the main thread while no scope is active; false elsewhere.
  static bool none_active();

private:
  HWND owner_ = nullptr;
  bool active_ = false;
  bool entered_ = false;
  // Whether the pair was swapped into the current scope, which happens only
  // on the main thread: only such a record may swap it back.
  bool swapped_ = false;
};
