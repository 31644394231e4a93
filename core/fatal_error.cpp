#include "core/fatal_error.h"

#include <exception>

#include "foundation/crash.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace {

[[noreturn]] void on_terminate() noexcept {
  if (std::exception_ptr error = std::current_exception()) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      qiv::string_buffer text("Unhandled exception: ");
      text.add_c_str(e.what());
      text.add_c_str("\n");
      output_debug_string_utf8(text.get_ptr());
    } catch (...) {
      output_debug_string_utf8("Unhandled exception\n");
    }
  }
  qiv::crash();
}

}  // namespace

void install_terminate_handler() { std::set_terminate(on_terminate); }
