// The modeless error popup of the user interface. Lower layers report
// problems that need no answer through it (an unknown command-line option, a
// failed background operation); the user interface registers the one
// implementation.
#pragma once

#include <cstddef>

#include "core/service_object.h"

class popup_message : public service_object {
public:
  static constexpr GUID class_guid = {0xD5CAC75A, 0x3023, 0x4DCE, {0x8B, 0x0D, 0xB5, 0x02, 0xBD, 0x05, 0x6A, 0x7C}};
  using service_parent = service_object;

  // Each "\n" of `text` starts a new line; "\r" is ignored. A length of ~0
  // means up to the NUL. `flag` is not used by the popup.
  virtual void show(const char* text, std::size_t text_length, const char* caption, std::size_t caption_length,
                    int flag) = 0;
};

// The same popup with an owner window (null: the main window).
class popup_message_ex : public service_object {
public:
  static constexpr GUID class_guid = {0x18B74F55, 0x10E1, 0x4645, {0x91, 0xF6, 0xB0, 0xE0, 0x4C, 0x28, 0x21, 0xE9}};
  using service_parent = service_object;

  virtual void show(HWND owner, const char* text, std::size_t text_length, const char* caption,
                    std::size_t caption_length) = 0;
};

// Shows `text` under `caption` through the popup service. While no popup
// service is registered (no user interface, as with "/quiet"), the caption
// and text go to the debugger output instead, so the report is never lost.
void popup_message_show(const char* text, const char* caption);
