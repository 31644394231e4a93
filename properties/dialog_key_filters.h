// Keys the properties dialog and its tabbed field editor take before the
// focused control sees them: F1 for context help, and Ctrl+Tab, Ctrl+Page
// Down (next tab) and Ctrl+Shift+Tab, Ctrl+Page Up (previous tab) from the
// accelerator table of the resources. Each acts only while its window is
// the active one. Main thread only.
#pragma once

#include <windows.h>

#include "core/message_filters.h"

enum : UINT {
  command_next_tab = 40067,
  command_previous_tab = 40068,
};
inline constexpr UINT properties_accelerator_table = 234;

// F1 becomes the window's context-help command. Registers itself with the
// message loop for its lifetime.
class context_help_filter final : public message_filter {
public:
  explicit context_help_filter(HWND window);
  ~context_help_filter();
  context_help_filter(const context_help_filter&) = delete;
  context_help_filter& operator=(const context_help_filter&) = delete;

  bool filter(MSG& message) override;

private:
  HWND window_;
};

// Registers itself with the message loop for its lifetime; the window is
// attached once it exists. exception_win32 when the table cannot be loaded.
class tab_key_filter final : public message_filter {
public:
  tab_key_filter();
  ~tab_key_filter();
  tab_key_filter(const tab_key_filter&) = delete;
  tab_key_filter& operator=(const tab_key_filter&) = delete;

  void attach(HWND window) noexcept { window_ = window; }
  bool filter(MSG& message) override;

private:
  HACCEL table_;
  HWND window_ = nullptr;
};
