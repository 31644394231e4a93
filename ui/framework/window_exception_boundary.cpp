#include "ui/framework/window_exception_boundary.h"

#include <exception>
#include <string>

#include "core/failure_text.h"
#include "core/localized_text.h"
#include "core/popup_message.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace window_exception_boundary {
namespace {

// A popup that itself fails inside a window procedure (its own window's
// creation, say) must not report again and again into itself.
thread_local bool reporting = false;

std::string message_of_current_exception() {
  try {
    throw;
  } catch (const std::exception& error) {
    qiv::string_buffer text;
    failure_text(error, text);
    return *text.get_ptr() != '\0' ? text.get_ptr() : "std::exception";
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace

void report_current_exception(const char* where) noexcept {
  try {
    const std::string message = message_of_current_exception();
    std::string line = "Unhandled exception in ";
    line += where != nullptr ? where : "window";
    line += ": ";
    line += message;
    line += "\n";
    output_debug_string_utf8(line.c_str());
    if (reporting) return;
    reporting = true;
    try {
      qiv::string_buffer caption;
      localized_text::get_or("ui_unhandled_error_caption", "Internal error", caption);
      popup_message_show(message.c_str(), caption.get_ptr());
    } catch (...) {
    }
    reporting = false;
  } catch (...) {
    reporting = false;
  }
}

}  // namespace window_exception_boundary
