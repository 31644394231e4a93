// A compiled title-formatting script: immutable once compiled, evaluated
// against any number of tracks, by any number of threads at once.
#pragma once

#include "foundation/refcounted.h"
#include "foundation/string_object.h"
#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_node.h"
#include "metadata/title/title_text_filter.h"

class title_script final : public qiv::refcounted_object {
public:
  // Every text yields a script: malformed text compiles up to its first error.
  static qiv::ref_ptr<title_script> compile(const char* text);

  // Replaces out by the script's text for the provider's track. Text the
  // provider writes passes through filter (unchanged when there is none).
  void evaluate(field_provider& provider, qiv::string_object& out, title_text_filter* filter = nullptr) const;

  // The simplified tree, for inspection; null for a script without a root.
  const title_node_ref& root() const { return root_; }

private:
  explicit title_script(title_node_ref root) : root_(std::move(root)) {}
  title_node_ref root_;
};
