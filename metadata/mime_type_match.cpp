#include "metadata/mime_type_match.h"

#include <cstring>

#include "foundation/byte_compare.h"

bool mime_type_matches(const char* content_type, const char* mime_type) {
  std::size_t length = std::strlen(content_type);
  if (const char* semicolon = std::strchr(content_type, ';')) {
    length = static_cast<std::size_t>(semicolon - content_type);
    while (length > 0 && content_type[length - 1] == ' ') --length;
  }
  return qiv::stricmp_ascii_n(content_type, length, mime_type, std::strlen(mime_type)) == 0;
}
