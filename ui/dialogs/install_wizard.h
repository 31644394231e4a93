// The four-page wizard that installs the running program into a folder (a
// USB stick among music files) for portable use. Modeless; it owns itself
// and ends when its window is destroyed. The copy runs on a background
// worker while the third page shows; cancelling then aborts it and waits.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/dialogs/background_worker.h"
#include "ui/framework/dialog_object.h"
#include "ui/framework/modeless_dialog_registration.h"

class install_wizard final : public dialog_object {
public:
  // Creates and shows the wizard; answers its window. Throws exception_win32
  // when the window cannot be made.
  static HWND open(HWND owner);

  // The page shown: 1 intro, 2 destination, 3 working, 4 done.
  int page_number() const noexcept { return page_; }
  HWND page_window(int number) const noexcept;
  // The wizard of a window made by open, or null.
  static install_wizard* from_window(HWND window) noexcept;

  bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                       DWORD map_id) override;
  void on_final_message(HWND) override { delete this; }

private:
  class page;
  class copy_job final : public background_worker {
  public:
    explicit copy_job(install_wizard& owner) noexcept : owner_(owner) {}
    ~copy_job() override { stop_and_wait(); }
    std::string destination;
    std::string error_message;

  protected:
    std::int32_t run(const abort_signal& abort) override;
    void on_done(std::int32_t result) override;

  private:
    install_wizard& owner_;
  };

  install_wizard();
  ~install_wizard() override;

  void on_init();
  void advance();
  void on_next();
  void on_copy_done(std::int32_t result);

  modeless_dialog_registration registration_;
  std::unique_ptr<page> pages_[4];
  int page_ = 0;
  copy_job job_{*this};
};
