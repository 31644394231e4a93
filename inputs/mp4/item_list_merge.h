// One item list made of several. Files whose movie box holds a second
// user-data box, a user-data box a second "meta", or a "meta" a second item
// list are met; every list is read, and an edit writes them as one list.
#pragma once

#include "inputs/mp4/item_list.h"

namespace tarnex {

// Adds a list read after `into` to it. A field `into` already holds keeps
// its value, and the later list's items that gave that field go; every
// other field comes over with the items that gave it, after those of
// `into`. Items no field stands for and covers come over where `into` holds
// none of their kind, and are taken once where it holds the same bytes;
// different ones of one kind could not share one list without hiding one
// from other readers, so `into` is then marked unmergeable.
void merge_item_list(ilst_metadata& into, ilst_metadata&& later);

}  // namespace tarnex
