// Two field providers asked in turn: the first, and the second only for the
// names the first does not answer. Lets a caller lay its own fields over a
// track's (or the playback fields under them). Either may be absent.
#pragma once

#include "metadata/title/title_field_provider.h"

class title_hook_chain final : public field_provider {
public:
  title_hook_chain(field_provider* first, field_provider* second) noexcept : first_(first), second_(second) {}

  bool process_field(title_field_output& out, const char* name, std::size_t name_length, bool& found) override;
  bool process_function(title_field_output& out, const char* name, std::size_t name_length,
                        const title_function_args& args, bool& found) override;

private:
  field_provider* first_;
  field_provider* second_;
};
