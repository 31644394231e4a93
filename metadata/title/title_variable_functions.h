// put, puts and get: the functions that store and read the run's variables.
#pragma once

#include "metadata/title/title_call.h"

// $put(name,value): stores value and writes it; truth of value.
bool title_put(title_call& call);
// $puts(name,value): stores value and writes nothing; truth of value.
bool title_puts(title_call& call);
// $get(name): writes the stored value; true when it is non-empty.
bool title_get(title_call& call);
