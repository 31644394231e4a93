#include "inputs/wma/wma_result.h"

#include "foundation/string_buffer.h"
#include "foundation/win32_error.h"
#include "io/io_exceptions.h"

namespace wma {

std::string error_text(HRESULT result) {
  switch (static_cast<std::uint32_t>(result)) {
    case 0xC00D0006: return "Unable to establish a connection to the server";
    case 0xC00D0026: return "Unrecognized stream type";
    case 0xC00D0BBD: return "Playback of DRM-protected files is not supported";
    default: break;
  }
  qiv::string_buffer text;
  if (qiv::format_win32_error(static_cast<std::uint32_t>(result), text)) return text.get_ptr();
  return "Unknown error code";
}

void check(HRESULT result, const char* operation) {
  if (SUCCEEDED(result)) return;
  std::string message = operation ? std::string(operation) + " failed : " : std::string();
  message += error_text(result);
  throw vantrel_io::exception_io(qiv::copy_message, message.c_str());
}

}  // namespace wma
