#include "metadata/title/title_hook_chain.h"

bool title_hook_chain::process_field(title_field_output& out, const char* name, std::size_t name_length,
                                     bool& found) {
  if (first_ && first_->process_field(out, name, name_length, found)) return true;
  return second_ && second_->process_field(out, name, name_length, found);
}

bool title_hook_chain::process_function(title_field_output& out, const char* name, std::size_t name_length,
                                        const title_function_args& args, bool& found) {
  if (first_ && first_->process_function(out, name, name_length, args, found)) return true;
  return second_ && second_->process_function(out, name, name_length, args, found);
}
