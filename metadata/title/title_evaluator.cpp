// How each node kind writes its text and reports its truth.
#include <cstdint>
#include <limits>

#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "metadata/title/title_call.h"
#include "metadata/title/title_output_limit.h"
#include "metadata/title/title_node.h"

default_title_text_filter default_title_text_filter::instance;

void default_title_text_filter::write(const GUID&, qiv::string_object& out, const char* text,
                                      std::size_t length) {
  out.add_string(text, length);
}

namespace {

// Answers nothing: constant subtrees never ask for fields, and should one
// ever do so by mistake it gets the unknown-field text rather than a crash.
class no_fields final : public field_provider {
public:
  bool process_field(title_field_output&, const char*, std::size_t, bool& found) override {
    found = false;
    return false;
  }
  bool process_function(title_field_output&, const char*, std::size_t, const title_function_args&,
                        bool& found) override {
    found = false;
    return false;
  }
};

no_fields no_fields_instance;

// Routes what a provider writes through the caller's filter into the output.
class filtered_output final : public title_field_output {
public:
  filtered_output(title_context& context, qiv::string_object& out) : context_(context), out_(out) {}
  void write(const GUID& type, const char* text, std::size_t length) override {
    context_.filter.write(type, out_, text, length);
  }

private:
  title_context& context_;
  qiv::string_object& out_;
};

class evaluated_args final : public title_function_args {
public:
  explicit evaluated_args(std::size_t count) : texts_(count) {}
  std::uint32_t count() const override { return static_cast<std::uint32_t>(texts_.size()); }
  const char* get_text(std::uint32_t index) const override { return texts_[index].get_ptr(); }
  std::size_t get_length(std::uint32_t index) const override { return texts_[index].get_length(); }
  qiv::string_buffer& text(std::size_t index) { return texts_[index]; }

private:
  std::vector<qiv::string_buffer> texts_;
};

std::int64_t parse_decimal(const char* text, std::size_t length) {
  std::size_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                        text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < length && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Accumulated as a negative number, whose range holds the minimum too.
  constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (saturated) continue;
    if (value < (min + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? min : max;
  if (negative) return value;
  return value == min ? max : -value;
}

}  // namespace

title_context title_context::constant_folding() {
  return title_context{{}, no_fields_instance, default_title_text_filter::instance};
}

literal_node::literal_node(const char* text, std::size_t length, bool truth) : truth_(truth) {
  std::size_t n = 0;
  while (n < length && text[n] != '\0') ++n;
  text_.assign(text, n);
}

bool literal_node::evaluate(title_context&, qiv::string_object& out) const {
  out.add_string(text_.data(), text_.size());
  return truth_;
}

bool field_node::evaluate(title_context& context, qiv::string_object& out) const {
  filtered_output output(context, out);
  bool found = false;
  if (!context.provider.process_bound_field(output, slot_, name_.data(), name_.size(), found)) {
    out.add_string("?");
    return false;
  }
  return found;
}

bool optional_node::evaluate(title_context& context, qiv::string_object& out) const {
  std::size_t start = out.get_length();
  bool truth = child_->evaluate(context, out);
  if (!truth) out.truncate(start);
  return truth;
}

bool sequence_node::evaluate(title_context& context, qiv::string_object& out) const {
  title_output_limit limited(out);
  bool any = false;
  for (const title_node_ref& child : children_) any |= child->evaluate(context, limited);
  return any;
}

bool function_node::evaluate(title_context& context, qiv::string_object& out) const {
  title_output_limit limited(out);
  title_call call(arguments_, limited, context);
  return implementation_(call);
}

bool unknown_function_node::evaluate(title_context& context, qiv::string_object& out) const {
  // Every argument is evaluated even when no provider answers, so that a put
  // inside one still takes effect.
  evaluated_args args(arguments_.size());
  for (std::size_t i = 0; i < arguments_.size(); ++i) arguments_[i]->evaluate(context, args.text(i));
  filtered_output output(context, out);
  bool found = false;
  if (!context.provider.process_function(output, name_.data(), name_.size(), args, found)) {
    out.add_string("[UNKNOWN FUNCTION]");
    return false;
  }
  return found;
}

bool title_call::eval_arg(std::size_t i, qiv::string_object& target) {
  if (i >= arguments_.size()) return false;
  return arguments_[i]->evaluate(context_, target);
}

std::int64_t title_call::eval_arg_int(std::size_t i, bool* truth) {
  std::size_t start = out_.get_length();
  bool found = eval_arg(i, out_);
  std::int64_t value = parse_decimal(out_.get_ptr() + start, out_.get_length() - start);
  out_.truncate(start);
  if (truth) *truth = found;
  return value;
}

std::uint32_t title_call::eval_arg_char(std::size_t i) {
  std::size_t start = out_.get_length();
  eval_arg(i, out_);
  std::uint32_t code_point = 0;
  if (out_.get_length() > start &&
      qiv::utf8_decode_char_n(out_.get_ptr() + start, out_.get_length() - start, code_point) == 0)
    code_point = 0;
  out_.truncate(start);
  return code_point;
}

std::size_t title_call::eval_arg_length(std::size_t i, bool* truth) {
  std::size_t start = out_.get_length();
  bool found = eval_arg(i, out_);
  std::size_t length = qiv::utf8_strlen(out_.get_ptr() + start, out_.get_length() - start);
  out_.truncate(start);
  if (truth) *truth = found;
  return length;
}
