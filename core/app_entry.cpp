// The process entry body: prepares the process, runs start-up under the
// handlers that turn its failures into exit codes and messages.
#include <windows.h>

#include <float.h>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/fatal_error.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "foundation/win32_text.h"

namespace {

void debug_line(const char* prefix, const char* message) {
  qiv::string_buffer text(prefix);
  text.add_c_str(message);
  text.add_c_str("\n");
  output_debug_string_utf8(text.get_ptr());
}

}  // namespace

int app_entry(HINSTANCE instance, HINSTANCE, const wchar_t*, int) {
  install_terminate_handler();
  SetErrorMode(SEM_FAILCRITICALERRORS);
  unsigned int control_word = 0;
  // Denormals cost hundreds of cycles each in the DSP code; flush them to zero.
  if (_controlfp_s(&control_word, _DN_FLUSH | _RC_NEAR, _MCW_DN | _MCW_RC) != 0)
    throw qiv::exception_with_message("controlfp failed");

  int exit_code = 0;
  try {
    try {
      exit_code = app_startup(instance);
    } catch (const exception_installdamaged&) {
      // The system closes and deletes the lock file when the process ends.
      app::state().lock_file = INVALID_HANDLE_VALUE;
      throw;
    } catch (const exception_win32& e) {
      if (e.code() == ERROR_NOT_ENOUGH_MEMORY || e.code() == ERROR_OUTOFMEMORY) throw exception_out_of_resources();
      throw;
    }
  } catch (const exception_shutdownrequest& e) {
    qiv::string_buffer text("Exiting (");
    text.add_c_str(e.what());
    text.add_c_str(")");
    debug_line("", text.get_ptr());
    exit_code = 0;
  } catch (const exception_messagebox& e) {
    debug_line("Initialization failure : ", e.what());
    if (!app::state().quiet) message_box_utf8(nullptr, e.what(), "Zorv encountered an error", MB_OK | MB_ICONERROR);
    exit_code = -1;
  }
  output_debug_string_utf8("Terminated normally.\n");
  return exit_code;
}
