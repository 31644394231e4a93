#include "metadata/title/title_variable_functions.h"

#include "foundation/string_buffer.h"

namespace {

// The value is evaluated onto the output itself, so put leaves it there and
// puts cuts it back: one evaluation either way. An empty name (an optional
// block that vanished) names no variable, so nothing is stored under it.
bool store(title_call& call, bool keep_written) {
  if (call.arg_count() != 2) return false;
  qiv::string_buffer name;
  call.eval_arg(0, name);
  qiv::string_object& out = call.output();
  std::size_t start = out.get_length();
  bool truth = call.eval_arg(1, out);
  if (name.get_length() != 0)
    call.context().variables.set(name.get_ptr(), name.get_length(), out.get_ptr() + start,
                                 out.get_length() - start);
  if (!keep_written) out.truncate(start);
  return truth;
}

}  // namespace

bool title_put(title_call& call) { return store(call, true); }

bool title_puts(title_call& call) { return store(call, false); }

bool title_get(title_call& call) {
  if (call.arg_count() != 1) return false;
  qiv::string_object& out = call.output();
  std::size_t start = out.get_length();
  call.eval_arg(0, out);
  const std::size_t name_length = out.get_length() - start;
  const std::string* value =
      name_length == 0 ? nullptr : call.context().variables.get(out.get_ptr() + start, name_length);
  out.truncate(start);
  if (!value || value->empty()) return false;
  out.add_string(value->data(), value->size());
  return true;
}
