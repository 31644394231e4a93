// The built-in functions a script may call by name. The compiler resolves a
// name to its row once, so evaluation never looks a name up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "metadata/title/title_node.h"

struct title_function_row {
  title_function implementation;  // null: not built yet, evaluates as unknown
  const char* name;               // ASCII, lower case
  // False only for the functions that touch the variables: they must run on
  // every evaluation and are never folded at compile time.
  bool foldable;
};

// The CRC-32 of the name lower-cased and encoded as UTF-8.
std::uint32_t title_function_hash(const char* name, std::size_t length);

// The first row whose name equals the given one without regard to case, or
// null. The hash only narrows the search: the name is compared too, so a name
// that merely collides with a built-in one never calls it.
const title_function_row* find_title_function(const char* name, std::size_t length);

// The node a call compiles to: a function node for a row with an
// implementation, otherwise a node that asks the field provider.
title_node_ref make_function_node(const char* name, std::size_t length, title_node_list arguments);
