// The compiled form of a title-formatting script: a tree of counted nodes,
// built once by the compiler and then evaluated per track without change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/refcounted.h"
#include "foundation/string_object.h"
#include "metadata/title/title_context.h"

class title_call;
class title_node;

using title_node_ref = qiv::ref_ptr<title_node>;
using title_node_list = std::vector<title_node_ref>;

// A built-in function: evaluates the arguments it needs through the call and
// returns the truth of what it wrote.
using title_function = bool (*)(title_call& call);

class title_node : public qiv::refcounted_object {
public:
  // Appends the node's text to out and returns its truth: whether the text
  // came from a field or value that was found.
  virtual bool evaluate(title_context& context, qiv::string_object& out) const = 0;
  // True when the output can never depend on the track, the provider or the
  // variables; such subtrees are folded to literals after compiling.
  virtual bool is_constant() const = 0;
  virtual void simplify_children() {}
  // The node that replaces this one once compiled.
  virtual title_node_ref simplify();
};

class literal_node final : public title_node {
public:
  // The text is cut at its first NUL.
  literal_node(const char* text, std::size_t length, bool truth);
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override { return true; }
  const std::string& text() const { return text_; }
  bool truth() const { return truth_; }

private:
  std::string text_;
  bool truth_;
};

class field_node final : public title_node {
public:
  field_node(const char* name, std::size_t length, track_field_slot slot) : name_(name, length), slot_(slot) {}
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override { return false; }
  const std::string& name() const { return name_; }

private:
  std::string name_;
  track_field_slot slot_;
};

class optional_node final : public title_node {
public:
  explicit optional_node(title_node_ref child) : child_(std::move(child)) {}
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override { return child_->is_constant(); }
  void simplify_children() override;
  const title_node_ref& child() const { return child_; }

private:
  title_node_ref child_;
};

class function_node final : public title_node {
public:
  function_node(title_function implementation, bool foldable, title_node_list arguments)
      : implementation_(implementation), foldable_(foldable), arguments_(std::move(arguments)) {}
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override;
  void simplify_children() override;
  title_function implementation() const { return implementation_; }
  const title_node_list& arguments() const { return arguments_; }

private:
  title_function implementation_;
  bool foldable_;
  title_node_list arguments_;
};

class unknown_function_node final : public title_node {
public:
  unknown_function_node(const char* name, std::size_t length, title_node_list arguments)
      : name_(name, length), arguments_(std::move(arguments)) {}
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override { return false; }
  void simplify_children() override;
  const std::string& name() const { return name_; }
  const title_node_list& arguments() const { return arguments_; }

private:
  std::string name_;
  title_node_list arguments_;
};

class sequence_node final : public title_node {
public:
  explicit sequence_node(title_node_list children) : children_(std::move(children)) {}
  bool evaluate(title_context& context, qiv::string_object& out) const override;
  bool is_constant() const override;
  void simplify_children() override;
  title_node_ref simplify() override;
  const title_node_list& children() const { return children_; }

private:
  title_node_list children_;
};

class empty_node final : public title_node {
public:
  bool evaluate(title_context&, qiv::string_object&) const override { return false; }
  bool is_constant() const override { return true; }
};
