// Start-up, message loop and shutdown of the player, in their fixed order.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include "core/app_exceptions.h"
#include "core/app_state.h"
#include "core/command_line.h"
#include "core/dialog_registry.h"
#include "core/failure_text.h"
#include "core/hidden_main_window.h"
#include "core/localized_text.h"
#include "core/main_thread_queue.h"
#include "core/message_loop.h"
#include "core/modal_scope.h"
#include "core/popup_message.h"
#include "core/profile_folder.h"
#include "core/progress_dialog.h"
#include "core/single_instance.h"
#include "core/separator_control.h"
#include "core/startup_services.h"
#include "core/ui_control.h"
#include "core/user_interface.h"
#include "foundation/crash.h"
#include "foundation/exceptions.h"
#include "foundation/main_thread.h"
#include "foundation/number_readers.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

// What start-up has brought up so far; shutdown, and the clean-up after a
// failed start-up, undo exactly these steps.
struct startup_progress {
  bool ole = false;
  bool single_instance = false;
  bool registry = false;
  bool hidden_window = false;
  bool playback = false;
  bool library = false;
  bool lifecycle = false;
  bool loop_ended_normally = false;
  bool restart_armed = false;
};

std::uint32_t language_from_command_line(const command_line::token_list& tokens) {
  const int index = command_line::find_option(tokens, "lang");
  if (index < 0 || static_cast<std::uint32_t>(index) + 1 >= tokens.get_count()) return 0;
  const qiv::string_small& value = tokens[index + 1];
  const char* text = value.get_ptr();
  const std::size_t length = value.get_length();
  try {
    if (length >= 2 && text[0] == '0' && text[1] == 'x') return qiv::parse_hex_u32(text + 2, length - 2);
    return qiv::parse_dec_u32(text, length);
  } catch (const qiv::exception_bug_check&) {
    return 0;  // not a number: choose by the user's UI language
  } catch (const qiv::exception_overflow&) {
    return 0;
  }
}

void find_program_path(app::process_state& s) {
  qiv::string_small path;
  if (get_module_file_name_utf8(path) == 0) qiv::crash();
  qiv::string_small full;
  if (get_long_path_name_utf8(path.get_ptr(), full) == 0 && get_full_path_name_utf8(path.get_ptr(), full) == 0)
    full.set_string(path.get_ptr());
  s.program_path.set_string(full.get_ptr());
  s.program_folder.set_string(full.get_ptr(), program_folder_length(full.get_ptr()));
}

bool plain_file_exists(const char* path) {
  const DWORD attributes = get_file_attributes_utf8(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Said for a failure a window or callback kept and no one nearer handled:
// it ended one command, not the player, which goes on with its unsaved
// session. Never throws: with no memory left the debugger output may be all
// there is.
void report_loop_failure(const std::exception& error) noexcept {
  try {
    qiv::string_buffer text;
    failure_text(error, text);
    qiv::string_buffer line("Unhandled exception in main loop: ");
    line.add_c_str(error.what());
    line.add_c_str("\n");
    output_debug_string_utf8(line.get_ptr());
    qiv::string_buffer caption;
    localized_text::get_or("ui_unhandled_error_caption", "Internal error", caption);
    popup_message_show(text.get_ptr(), caption.get_ptr());
  } catch (...) {
    OutputDebugStringA("Unhandled exception in main loop\n");
  }
}

void start_again(const app::process_state& s) {
  modal_scope scope;
  scope.enter(nullptr);
  shell_execute_utf8(nullptr, nullptr, s.program_path.get_ptr());
  scope.leave();
}

// Shutdown after the loop, and clean-up after a failed start-up: the steps
// that ran are undone in reverse order.
void tear_down(app::process_state& s, startup_progress& done) {
  s.quitting = true;
  // The files an operation is writing must end whole, but no further one
  // may be taken while the stores are saved and the windows close.
  progress_dialog::abort_all();
  if (s.playback_control) s.playback_control->stop_for_shutdown();
  if (done.loop_ended_normally && done.registry) service_registry::save_stores(s.reset_config_on_restart);
  if (done.lifecycle) {
    lifecycle_callbacks::on_quit();
    done.lifecycle = false;
  }
  if (s.ui_main_window != nullptr) {
    if (auto module = current_user_interface()) module->shutdown();
    release_current_user_interface();
    s.ui_main_window = nullptr;
  }
  dialog_registry_destroy_all();
  if (done.hidden_window) main_thread_queue::drain(true);
  if (done.library) {
    library_startup::shutdown();
    done.library = false;
  }
  if (done.playback) {
    service_ptr<playback_front_api> control = std::move(s.playback_control);
    if (control) control->on_quit();
    control.reset();
    playback_order::shutdown();
    done.playback = false;
  }
  if (done.hidden_window) {
    main_thread_queue::drain(true);
    main_thread_queue::drain(true);
    hidden_main_window::destroy();
    done.hidden_window = false;
  }
  s.registry_ready = false;
  if (done.registry) {
    service_registry::free();
    done.registry = false;
  }
  if (done.single_instance) {
    single_instance::destroy();
    done.single_instance = false;
  }
  if (done.ole) {
    OleUninitialize();
    done.ole = false;
  }
  if (done.restart_armed) {
    done.restart_armed = false;
    start_again(s);
  }
}

int run_startup_and_loop(app::process_state& s, startup_progress& done) {
  qiv::string_small command_line_text;
  get_command_line_utf8(command_line_text);
  const command_line::token_list tokens = command_line::tokenize(command_line_text.get_ptr());

  if (FAILED(OleInitialize(nullptr))) throw qiv::exception_with_message("OleInitialize() failure");
  done.ole = true;

  s.quiet = command_line::find_option(tokens, "quiet") >= 0;
  find_program_path(s);
  qiv::string_small marker(s.program_path.get_ptr());
  marker.add_c_str(".localconfig.opt");
  s.portable_config = plain_file_exists(marker.get_ptr());
  marker.set_string(s.program_path.get_ptr());
  marker.add_c_str(".locallibrary.opt");
  s.portable_library = plain_file_exists(marker.get_ptr());

  choose_profile_folder(s);
  create_profile_folder(s);
  s.profile_read_only = profile_folder_is_read_only(s);

  crash_handler::install();
  localisation::load(language_from_command_line(tokens));

  switch (single_instance::check()) {
  case single_instance::start_result::first_instance:
    break;
  case single_instance::start_result::handed_over:
    throw exception_shutdownrequest("Another instance is already running");
  case single_instance::start_result::not_handed_over:
    // Its command line would be lost without a word: say so, and fail.
    throw exception_messagebox("Another instance is already running, but it did not respond.");
  }
  done.single_instance = true;

  take_profile_lock(s);

  InitCommonControls();
  separator_control::register_class();

  service_registry::build();
  done.registry = true;
  s.registry_ready = true;
  // The library's folder list needs only the configuration; made here, its
  // file is read while the windows and playback come up.
  library_startup::startup_folders();
  done.library = true;

  hidden_main_window::create();
  done.hidden_window = true;

  service_ptr<playback_front_api> control = playback_front_get_control();
  control->on_init();
  s.playback_control = std::move(control);
  done.playback = true;

  const bool hide = command_line::find_option(tokens, "hide") >= 0;
  if (!s.exit_requested && !s.quiet) {
    s.ui_main_window = user_interface_start();
    if (hide)
      for (auto& control : service_list_t<ui_control>()) control->hide();
  }
  single_instance::process_own_command_line();
  lifecycle_callbacks::on_init();
  done.lifecycle = true;
  set_current_directory_utf8(s.program_folder.get_ptr());

  if (s.quiet) return 0;  // no loop, and nothing is saved
  const int exit_code = main_message_loop_past_failures(report_loop_failure);
  preferences_dialog::destroy_if_open();
  done.loop_ended_normally = true;
  if (s.restart_requested) done.restart_armed = true;
  return exit_code;
}

}  // namespace

int app_startup(HINSTANCE instance) {
  app::process_state& s = app::state();
  s.instance_handle = instance;
  qiv::set_main_thread_id(GetCurrentThreadId());
  startup_progress done;
  int exit_code;
  try {
    exit_code = run_startup_and_loop(s, done);
  } catch (...) {
    try {
      tear_down(s, done);
    } catch (...) {
      // The failure that stopped start-up is the one to report.
    }
    throw;
  }
  tear_down(s, done);
  return exit_code;
}
