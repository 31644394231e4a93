// The "tagtype" technical value of a track: the kinds of tag its file holds,
// as the readers name them.
#pragma once

#include <string>

#include "metadata/track_info.h"

// "" when the track names none.
inline std::string tagtype_of(const track_info& info) { return info.tech_value_by_name("tagtype").value_or(""); }
