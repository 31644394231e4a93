// A growable array of texts, for example the command-line tokens.
#pragma once

#include <cstdint>

#include "foundation/array.h"
#include "foundation/string_small.h"

namespace qiv {

class string_array : public array<string_small> {
public:
  // Exactly n strings: new slots hold empty strings, strings beyond n are
  // destroyed, then the storage is resized (in place when it can be).
  void set_count(std::uint32_t n) { set_size(n); }
};

inline void string_array_resize(string_array& strings, std::uint32_t n) { strings.set_count(n); }

} // namespace qiv
