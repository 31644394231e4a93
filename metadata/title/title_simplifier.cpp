// Compile-time folding: the work that cannot depend on the track is done once,
// so that library views evaluating a script per item do only the rest.
#include "foundation/string_buffer.h"
#include "metadata/title/title_node.h"

namespace {

title_node_ref fold_to_literal(const title_node& node) {
  qiv::string_buffer scratch;
  title_context context = title_context::constant_folding();
  bool truth = node.evaluate(context, scratch);
  return title_node_ref(new literal_node(scratch.get_ptr(), scratch.get_length(), truth));
}

void simplify_each(title_node_list& nodes) {
  for (title_node_ref& node : nodes) node = node->simplify();
}

bool all_constant(const title_node_list& nodes) {
  for (const title_node_ref& node : nodes)
    if (!node->is_constant()) return false;
  return true;
}

}  // namespace

title_node_ref title_node::simplify() {
  if (is_constant()) return fold_to_literal(*this);
  simplify_children();
  return title_node_ref(this);
}

void optional_node::simplify_children() { child_ = child_->simplify(); }

// Functions that touch the variables must run on every evaluation, whatever
// their arguments.
bool function_node::is_constant() const { return foldable_ && all_constant(arguments_); }

void function_node::simplify_children() { simplify_each(arguments_); }

void unknown_function_node::simplify_children() { simplify_each(arguments_); }

bool sequence_node::is_constant() const { return all_constant(children_); }

void sequence_node::simplify_children() { simplify_each(children_); }

// Runs of constant children merge into one literal, so evaluation appends one
// text where the script had several pieces.
title_node_ref sequence_node::simplify() {
  if (is_constant()) return fold_to_literal(*this);
  title_node_list merged;
  qiv::string_buffer run;
  bool run_truth = false;
  title_context context = title_context::constant_folding();
  auto close_run = [&] {
    if (run.get_length() != 0 || run_truth)
      merged.emplace_back(new literal_node(run.get_ptr(), run.get_length(), run_truth));
    run.truncate(0);
    run_truth = false;
  };
  for (const title_node_ref& child : children_) {
    if (child->is_constant()) {
      run_truth |= child->evaluate(context, run);
    } else {
      close_run();
      merged.push_back(child->simplify());
    }
  }
  close_run();
  children_ = std::move(merged);
  if (children_.size() == 1) return children_[0];
  return title_node_ref(this);
}
