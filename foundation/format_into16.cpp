#include "foundation/format_into16.h"

#include <cstdarg>
#include <cstdio>

namespace qiv {

void format_into16(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, 16, format, arguments);
  va_end(arguments);
}

} // namespace qiv
