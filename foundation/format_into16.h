// Short labels ("index %02u", "%.5u BPM") formatted into a 16-byte buffer.
#pragma once

namespace qiv {

// printf rules; writes at most 16 bytes, the NUL included, so a longer result
// is cut.
void format_into16(char* buffer, const char* format, ...);

} // namespace qiv
