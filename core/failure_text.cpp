#include "core/failure_text.h"

#include <new>

#include "core/localized_text.h"

void not_enough_memory_text(qiv::string_object& out) {
  localized_text::get_or("error_not_enough_memory", "not enough memory", out);
}

void failure_text(const std::exception& error, qiv::string_object& out) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) not_enough_memory_text(out);
  else out.set_string(error.what());
}
