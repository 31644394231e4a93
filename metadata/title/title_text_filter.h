// The filter that text written by a field provider passes through on its way
// into a script's output: callers use it to escape or drop characters that
// would break what they build from the text (a sort key, a file name).
#pragma once

#include <guiddef.h>

#include <cstddef>

#include "foundation/string_object.h"

class title_text_filter {
public:
  // Appends text (length bytes, or up to its NUL for qiv::until_nul) to out.
  virtual void write(const GUID& type, qiv::string_object& out, const char* text, std::size_t length) = 0;

protected:
  ~title_text_filter() = default;
};

// Appends the text unchanged, whatever its type; used when the caller gives
// no filter.
class default_title_text_filter final : public title_text_filter {
public:
  void write(const GUID& type, qiv::string_object& out, const char* text, std::size_t length) override;
  static default_title_text_filter instance;
};
