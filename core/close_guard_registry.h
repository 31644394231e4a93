// Background tasks whose results would be lost if the program quit now
// announce themselves here; the close confirmation lists them and asks the
// user before quitting.
#pragma once

#include "core/service_object.h"
#include "foundation/array.h"
#include "foundation/string_object.h"

// One active task, as the close confirmation shows it.
class close_guard {
public:
  // A one-line description of the task in the user's language.
  virtual void get_description(qiv::string_object& out) = 0;
  // The id of the localised text that says what a close does to the task.
  virtual const char* close_notice_id() { return "dialog_appclose_notice"; }

protected:
  ~close_guard() = default;
};

// The one static registry. Main thread only: a call from another thread is a
// fatal internal error, since the set is read by the close confirmation
// without a lock.
class close_guard_registry : public service_object {
public:
  static constexpr GUID class_guid = {0x213F1454, 0x8A62, 0x44B6, {0xB0, 0xCB, 0xC1, 0xE1, 0x5D, 0xA7, 0x3B, 0xC8}};
  using service_parent = service_object;

  // Adding a guard already registered changes nothing.
  virtual void add(close_guard* guard) = 0;
  // Removing a guard not registered changes nothing.
  virtual void remove(close_guard* guard) = 0;
};

// The registry's instance, reachable before the service registry is built.
close_guard_registry& close_guards();

// The registered guards in the set's order (main thread only).
qiv::array<close_guard*> active_close_guards();
