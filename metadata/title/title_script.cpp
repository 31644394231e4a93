#include "metadata/title/title_script.h"

#include <cstring>

#include "metadata/title/title_compiler.h"
#include "metadata/title/title_run_text.h"

qiv::ref_ptr<title_script> title_script::compile(const char* text) {
  title_node_ref root = compile_title_text(text, std::strlen(text));
  root = root->simplify();
  return qiv::ref_ptr<title_script>(new title_script(std::move(root)));
}

void title_script::evaluate(field_provider& provider, qiv::string_object& out, title_text_filter* filter) const {
  if (!root_) {
    out.truncate(0);
    return;
  }
  // The variables live in the context, so they are gone when the run ends.
  title_context context{{}, provider, filter ? *filter : default_title_text_filter::instance};
  title_run_text text;
  root_->evaluate(context, text);
  out.set_string(text.get_ptr(), text.get_length());
}
