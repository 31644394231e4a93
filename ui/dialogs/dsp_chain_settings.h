// The stored DSP chain and the ways to edit it: a service that owns the
// chain playback applies (telling every dsp_config_listener of a change),
// runs the modal "DSP Settings" dialog, and places the chain editor as a
// child window into any dialog.
#pragma once

#include <windows.h>

#include "core/dsp_chain.h"
#include "core/service_object.h"

class dsp_chain_settings : public service_object {
public:
  static constexpr GUID class_guid = {0xEE65D408, 0x70D6, 0x40F6, {0x94, 0x0D, 0xD9, 0xF5, 0x37, 0xF1, 0xBE, 0xF1}};
  using service_parent = service_object;

  // Main thread only.
  virtual void get_chain(dsp_chain& out) = 0;
  // Main thread only: stores the chain, then tells every listener.
  virtual void set_chain(const dsp_chain& chain) = 0;
  // Edits `chain` in the modal dialog; true, with the edited chain written
  // back, when the user pressed OK. The stored chain is not touched. A title
  // makes the caption "DSP Settings - " + title.
  virtual bool run_dialog(dsp_chain& chain, HWND parent, const char* title) = 0;
  // A visible child editor over a copy of `chain`. It posts WM_COMMAND
  // (control_id, 0) with its window to the parent after every change.
  // Throws exception_win32 when the window cannot be made.
  virtual HWND create_editor(const dsp_chain& chain, HWND parent, UINT control_id, bool in_modal_frame) = 0;
  virtual void editor_get_chain(HWND editor, dsp_chain& out) = 0;
  virtual void editor_set_chain(HWND editor, const dsp_chain& chain) = 0;

  // The process's service.
  static dsp_chain_settings& get();

protected:
  ~dsp_chain_settings() = default;
};
