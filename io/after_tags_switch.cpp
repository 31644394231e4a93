#include "io/after_tags_switch.h"

#include <exception>

#include "core/failure_text.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"

namespace vantrel_io {

void rethrow_after_tags_switch() {
  try {
    throw;
  } catch (const exception_io_after_tags_written&) {
    throw;
  } catch (const std::exception& failure) {
    qiv::string_buffer text;
    failure_text(failure, text);
    throw exception_io_after_tags_written(text.get_ptr());
  }
}

}  // namespace vantrel_io
