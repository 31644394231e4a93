// The conditionals and the functions that only combine truths.
#include <cstdint>

#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "metadata/title/title_functions.h"

namespace {

// A condition is evaluated onto the output and cut back: its text never
// stays, but a put inside it must still take effect.
bool test_condition(title_call& call, std::size_t index) {
  qiv::string_object& out = call.output();
  std::size_t start = out.get_length();
  bool truth = call.eval_arg(index, out);
  out.truncate(start);
  return truth;
}

bool invalid(title_call& call, const char* message) {
  call.output().add_string(message);
  return false;
}

}  // namespace

bool title_if(title_call& call) {
  std::size_t count = call.arg_count();
  if (count != 2 && count != 3) return invalid(call, "[INVALID $IF SYNTAX]");
  if (test_condition(call, 0)) return call.eval_arg(1, call.output());
  if (count == 3) return call.eval_arg(2, call.output());
  return false;
}

bool title_if2(title_call& call) {
  if (call.arg_count() != 2) return invalid(call, "[INVALID $IF2 SYNTAX]");
  qiv::string_object& out = call.output();
  std::size_t start = out.get_length();
  if (call.eval_arg(0, out)) return true;
  out.truncate(start);
  return call.eval_arg(1, out);
}

bool title_if3(title_call& call) {
  std::size_t count = call.arg_count();
  if (count < 2) return false;
  qiv::string_object& out = call.output();
  for (std::size_t i = 0; i + 1 < count; ++i) {
    std::size_t start = out.get_length();
    if (call.eval_arg(i, out)) return true;
    out.truncate(start);
  }
  return call.eval_arg(count - 1, out);
}

bool title_iflonger(title_call& call) {
  if (call.arg_count() != 4) return invalid(call, "[INVALID $IFLONGER SYNTAX]");
  auto length = static_cast<std::int32_t>(call.eval_arg_length(0));
  auto limit = static_cast<std::int32_t>(call.eval_arg_int(1));
  return call.eval_arg(length > limit ? 2 : 3, call.output());
}

bool title_ifgreater(title_call& call) {
  if (call.arg_count() != 4) return invalid(call, "[INVALID $IFGREATER SYNTAX]");
  std::int64_t a = call.eval_arg_int(0);
  std::int64_t b = call.eval_arg_int(1);
  return call.eval_arg(a > b ? 2 : 3, call.output());
}

bool title_ifequal(title_call& call) {
  if (call.arg_count() != 4) return invalid(call, "[INVALID $IFEQUAL SYNTAX]");
  std::int64_t a = call.eval_arg_int(0);
  std::int64_t b = call.eval_arg_int(1);
  return call.eval_arg(a == b ? 2 : 3, call.output());
}

// The logic functions evaluate every argument, without a short cut, so that
// the side effects of all of them happen.
bool title_and(title_call& call) {
  bool all = true;
  for (std::size_t i = 0; i < call.arg_count(); ++i) all &= test_condition(call, i);
  return all;
}

bool title_or(title_call& call) {
  bool any = false;
  for (std::size_t i = 0; i < call.arg_count(); ++i) any |= test_condition(call, i);
  return any;
}

bool title_xor(title_call& call) {
  bool odd = false;
  for (std::size_t i = 0; i < call.arg_count(); ++i) odd ^= test_condition(call, i);
  return odd;
}

bool title_not(title_call& call) {
  if (call.arg_count() != 1) return false;
  return !test_condition(call, 0);
}

bool title_greater(title_call& call) {
  if (call.arg_count() != 2) return false;
  std::int64_t a = call.eval_arg_int(0);
  std::int64_t b = call.eval_arg_int(1);
  return a > b;
}

bool title_longer(title_call& call) {
  if (call.arg_count() != 2) return false;
  std::size_t a = call.eval_arg_length(0);
  std::size_t b = call.eval_arg_length(1);
  return a > b;
}

bool title_select(title_call& call) {
  std::size_t count = call.arg_count();
  if (count < 2) return false;
  auto n = static_cast<std::int32_t>(call.eval_arg_int(0));
  if (n < 1 || static_cast<std::size_t>(n) >= count) return false;
  return call.eval_arg(static_cast<std::size_t>(n), call.output());
}

// Its arguments are never evaluated: $null(...) comments a part out.
bool title_null(title_call&) { return false; }
