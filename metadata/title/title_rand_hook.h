// The $rand() function of sort scripts: $rand(n) is a random number below n
// (0 when n is 0 or not a number), $rand() one below 4294967295, so that
// "sort by $rand()" shuffles. It answers no fields.
#pragma once

#include "core/random_source.h"
#include "metadata/title/title_field_provider.h"

class title_rand_hook final : public field_provider {
public:
  explicit title_rand_hook(random_source& source) noexcept : source_(source) {}

  bool process_field(title_field_output&, const char*, std::size_t, bool&) override { return false; }
  bool process_function(title_field_output& out, const char* name, std::size_t name_length,
                        const title_function_args& args, bool& found) override;

private:
  random_source& source_;
};

// A signed number as decimal text, written as a number-kind field.
void title_write_int(title_field_output& out, std::int64_t value);
