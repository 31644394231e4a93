// The ReplayGain settings panel: a child dialog with the on/off switch, the
// track or album choice and the two preamp sliders. The settings service
// makes it (ui/dialogs/replaygain_settings.h); it deletes itself with its
// window.
#pragma once

#include <windows.h>

#include "core/config_item_kinds.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/window_utilities.h"

class replaygain_panel final : public dialog_object {
public:
  // Messages the settings service sends with a playback_gain_settings* as
  // lparam: fill the record from the controls, or the controls from it.
  static constexpr UINT message_read = WM_APP;
  static constexpr UINT message_write = WM_APP + 1;

  static HWND create(const playback_gain_settings& record, HWND parent, int control_id);

private:
  explicit replaygain_panel(const playback_gain_settings& record);

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override { delete this; }
  void on_initialise();
  void fill(const playback_gain_settings& record);
  void read(playback_gain_settings& out) const;
  void update_label(int slider_id, int label_id);
  void notify_parent();
  void open_help_link();

  playback_gain_settings initial_;
  // The processing mode the controls were filled with: a stored mode with
  // clipping prevention stays when the switch is left on.
  std::uint32_t filled_processing_ = 1;
  gdi_object_holder separator_font_;
  dialog_resizer resizer_;
};
