// Everything one evaluation run may change or consult. It belongs to the
// evaluating thread, which is why one compiled script may be evaluated by
// several threads at once.
#pragma once

#include "metadata/title/title_field_provider.h"
#include "metadata/title/title_text_filter.h"
#include "metadata/title/title_variables.h"

struct title_context {
  title_variables variables;
  field_provider& provider;
  title_text_filter& filter;

  // A context for folding constant subtrees at compile time: its provider
  // answers nothing, so a constant node can never reach track data.
  static title_context constant_folding();
};
