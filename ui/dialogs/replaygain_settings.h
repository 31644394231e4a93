// The user's ReplayGain settings: kept in their configuration item, handed to
// the playback engine when they change, and edited in a panel that the
// playback preferences page embeds and a small modal dialog can host.
#pragma once

#include <windows.h>

#include "core/config_item_kinds.h"
#include "core/service_object.h"

class replaygain_settings : public service_object {
public:
  static constexpr GUID class_guid = {0xA00CB77D, 0xED72, 0x4031, {0x80, 0x6B, 0x4E, 0x45, 0xAF, 0x99, 0x52, 0x41}};
  using service_parent = service_object;

  // Any thread: the playback thread reads them too.
  virtual playback_gain_settings get() = 0;
  // A child dialog of `parent` filled from `record`, with `control_id`. It
  // tells its parent of every change with WM_COMMAND (the id, notification
  // 0, the panel's window).
  virtual HWND create_panel(const playback_gain_settings& record, HWND parent, int control_id) = 0;
  virtual void read_panel(HWND panel, playback_gain_settings& out) = 0;
  // True when closed with OK; `record` then holds the edited values.
  virtual bool edit_modal(playback_gain_settings& record, HWND parent, const char* title_suffix) = 0;
  // Main thread only: stores the settings and hands them to the playback
  // engine when there is one.
  virtual void set(const playback_gain_settings& record) = 0;
  virtual void write_panel(HWND panel, const playback_gain_settings& record) = 0;
  virtual playback_gain_settings get_defaults() = 0;

protected:
  ~replaygain_settings() = default;
};

// The process's instance.
replaygain_settings& replaygain_settings_service();
