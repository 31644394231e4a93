// Small pieces the metadata operations stand on: a close guard that keeps a
// running task listed in the close confirmation, the path order that puts
// the subsongs of one file next to each other, and the text that names a
// failed track in an error report.
#pragma once

#include "core/close_guard_registry.h"
#include "foundation/string_object.h"
#include "metadata/track_handle.h"

// Registered with the close-guard registry for exactly its lifetime; main
// thread only, as the registry requires. The task writes files: a close
// lets the files being written end whole and takes no further file.
class registered_close_guard : public close_guard {
public:
  registered_close_guard();
  virtual ~registered_close_guard();
  registered_close_guard(const registered_close_guard&) = delete;
  registered_close_guard& operator=(const registered_close_guard&) = delete;

  void get_description(qiv::string_object& out) override;
  const char* close_notice_id() override { return "dialog_appclose_notice_writes"; }
};

// Three-way byte-wise order of the handles' paths; subsongs are not compared.
int compare_handles_by_path(const track_handle_ptr& a, const track_handle_ptr& b) noexcept;

// "[invalid location]" without a handle, else the location's display text.
void location_display_text(const track_handle* handle, qiv::string_object& out);
