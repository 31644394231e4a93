// The DSP chain editor: the active chain and the available effects side by
// side, Add/Remove/Up/Down, "Configure selected", and the named presets
// (Load, Save, Delete) kept in their configuration item. A modeless child
// dialog inside whatever hosts it; it works on its own copy of the chain.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/dsp_chain.h"
#include "core/dsp_preset_list.h"
#include "playback/dsp_chain_instance.h"
#include "ui/framework/button_icon.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/dialog_resizer.h"
#include "ui/framework/list_view_ctrl.h"
#include "ui/framework/modeless_dialog_registration.h"
#include "ui/framework/window_utilities.h"

class dsp_chain_editor final : public dialog_object, private dsp_preset_change_callback {
public:
  // Private messages of the editor window: lParam is a dsp_chain*.
  static constexpr UINT message_get_chain = 0x8000;
  static constexpr UINT message_set_chain = 0x8001;

  // The questions the editor asks (message_box_utf8 by default; tests answer
  // them). Answers IDYES or another button id.
  using question = std::function<int(HWND owner, const char* text, const char* caption, UINT flags)>;

  // The editor owns itself and ends with its window.
  static HWND create(const dsp_chain& chain, HWND parent, UINT control_id, bool in_modal_frame,
                     dsp_preset_list& presets, question ask);
  static dsp_chain_editor* from_window(HWND window) noexcept;

  const dsp_chain& chain() const noexcept { return chain_; }

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override { delete this; }

private:
  struct guid_less {
    bool operator()(const GUID& a, const GUID& b) const noexcept;
  };

  dsp_chain_editor(const dsp_chain& chain, UINT control_id, bool in_modal_frame, dsp_preset_list& presets,
                   question ask);

  void on_init();
  void on_command(WORD id, WORD code);
  void on_notify(const NMHDR& header);
  void refill_lists();
  void fill_preset_names();
  void update_states();
  void notify_parent();
  int selected_active() const;
  int selected_available() const;
  bool blocked_by_other_modal_window() const;

  void add();
  void remove();
  void move(int from, int to);
  void configure();
  void on_preset_changed(const dsp_preset& preset) override;
  void load_preset();
  void save_preset();
  void delete_preset();

  std::string combo_text() const;
  int find_preset(const std::string& name) const;
  std::string effect_name(const GUID& guid) const;

  dsp_chain chain_;
  UINT control_id_;
  bool in_modal_frame_;
  dsp_preset_list& presets_;
  question ask_;
  modeless_dialog_registration registration_;
  dialog_resizer resizer_;
  list_view_ctrl chain_view_;
  list_view_ctrl available_view_;
  std::vector<dsp_preset> parked_;
  int configuring_index_ = -1;
  bool configure_stale_ = false;
  std::set<GUID, guid_less> available_guids_;
  gdi_object_holder label_font_;
  icon_slot add_icon_;
  icon_slot remove_icon_;
};
