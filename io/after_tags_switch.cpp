#include "io/after_tags_switch.h"

#include <exception>

#include "io/io_exceptions.h"

namespace vantrel_io {

void rethrow_after_tags_switch() {
  try {
    throw;
  } catch (const exception_io_after_tags_written&) {
    throw;
  } catch (const std::exception& failure) {
    throw exception_io_after_tags_written(failure.what());
  }
}

}  // namespace vantrel_io
