// The remembered entries of the properties dialog's text boxes: field names
// typed in the field edit dialog, and patterns of automatic filling.
#pragma once

#include "ui/framework/value_history.h"

// Field names (up to 64 kept), stored in a text other threads read for
// "config.dat" while the dialog changes it.
value_history& field_name_history();
// Automatic-filling patterns (up to 10 kept).
value_history& autofill_pattern_history();
