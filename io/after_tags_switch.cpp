#include "io/after_tags_switch.h"

#include <exception>
#include <new>

#include "io/io_exceptions.h"

namespace vantrel_io {

void rethrow_after_tags_switch() {
  try {
    throw;
  } catch (const exception_io_after_tags_written&) {
    throw;
  } catch (const std::bad_alloc&) {
    // The runtime's text means nothing to a user.
    throw exception_io_after_tags_written(io_message("error_not_enough_memory", "not enough memory").c_str());
  } catch (const std::exception& failure) {
    throw exception_io_after_tags_written(failure.what());
  }
}

}  // namespace vantrel_io
