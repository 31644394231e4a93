// What a built-in function receives: its unevaluated arguments, the output and
// the run's context. Functions evaluate only the arguments they need, in the
// order they need them, so a condition's side effects happen exactly once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/title/title_node.h"

class title_call {
public:
  title_call(const title_node_list& arguments, qiv::string_object& out, title_context& context)
      : arguments_(arguments), out_(out), context_(context) {}

  std::size_t arg_count() const { return arguments_.size(); }
  qiv::string_object& output() { return out_; }
  title_context& context() { return context_; }

  // Evaluates argument i into target; an index past the end writes nothing
  // and is false.
  bool eval_arg(std::size_t i, qiv::string_object& target);
  // The argument read as a decimal number: leading white space, an optional
  // sign, then digits up to the first other byte; no digits read as 0 and
  // values beyond the 64-bit range saturate. The output is left as it was.
  std::int64_t eval_arg_int(std::size_t i, bool* truth = nullptr);
  // The first character of the argument's text, 0 when it is empty.
  std::uint32_t eval_arg_char(std::size_t i);
  // The argument's length in characters.
  std::size_t eval_arg_length(std::size_t i, bool* truth = nullptr);

private:
  const title_node_list& arguments_;
  qiv::string_object& out_;
  title_context& context_;
};
