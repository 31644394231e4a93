#include "core/threaded_process.h"

#include <memory>

#include "core/callback_guard.h"
#include "core/main_thread_guard.h"
#include "core/progress_dialog.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"

namespace {

class threaded_process_impl : public threaded_process {
public:
  bool run_modal(threaded_process_callback* callback, std::uint32_t flags, HWND parent, const char* title,
                 std::size_t title_length) override {
    main_thread_guard::check();
    // A modal loop re-enters the caller's message handling; say so where
    // developers look, since a non-blocking call is nearly always better.
    output_debug_string_utf8(
        "threaded_process::run_modal() called - this is bad for multiple reasons, consider using non-blocking "
        "version of whatever API you've called instead.\n");
    qiv::dynamic_assert(callback != nullptr);
    progress_dialog dialog(callback, normalize_flags(flags), title, title_length, true);
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog.template_id()), parent,
                                           &progress_dialog::dialog_proc, reinterpret_cast<LPARAM>(&dialog));
    // What the dialog's procedure kept from on_init or on_done reaches the
    // caller here, not at some later turn of the main loop.
    callback_guard::rethrow_pending();
    return result == 1;
  }

  bool run_modeless(threaded_process_callback* callback, std::uint32_t flags, HWND parent, const char* title,
                    std::size_t title_length) override {
    main_thread_guard::check();
    qiv::dynamic_assert(callback != nullptr);
    auto dialog = std::make_unique<progress_dialog>(callback, normalize_flags(flags), title, title_length, false);
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog->template_id()), parent,
                                     &progress_dialog::dialog_proc, reinterpret_cast<LPARAM>(dialog.get()));
    const DWORD error = GetLastError();
    // Once the window holds the dialog it frees it after its last message;
    // a window that never came up (or is already gone) leaves it to us.
    if (window != nullptr && dialog->hand_over_to_window()) dialog.release();
    if (window == nullptr) throw exception_win32(error);
    return true;
  }
};

service_factory_single_t<threaded_process_impl> threaded_process_registration;

}  // namespace

std::uint32_t threaded_process::normalize_flags(std::uint32_t flags) noexcept {
  if (flags & flag_show_progress_dual) flags |= flag_show_progress;
  if (flags & flag_show_delayed) flags |= flag_no_focus;
  return flags;
}

threaded_process& threaded_process::get() noexcept { return threaded_process_registration.get_static_instance(); }
